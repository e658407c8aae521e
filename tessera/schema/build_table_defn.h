// Turning a table tree of the dictionary reader into a TableDefn.
#pragma once

#include <memory>

#include "tessera/schema/table_defn.h"
#include "tessera/schema/xml_tag_info.h"

namespace tessera {

// Builds the definition of one `table` tree and appends it to the DataDictionary. False when
// the definition is dropped (no table name, or `from` without `to` in allowed values).
bool BuildTableDefn(const XmlTagInfo& table);

// A column definition: the TEXT promotion (code 14 or 15 with maxSize above 255 becomes 22) is
// applied and `defaultText` (may be null) converted with ConvertStringToValue for the final type.
// unique, nullable and allowed values are left at their defaults (0, 1, none).
std::unique_ptr<ColumnDefn> CreateColumnDefn(const char* name, BYTE type, int32_t maxSize, const char* defaultText,
                                             const char* description, const char* generatorName);

// A table definition owning its columns and constraints (an empty ConstraintDefn when null).
std::unique_ptr<TableDefn> CreateTableDefn(const char* name, const char* description,
                                           std::unique_ptr<ColumnVector> columns,
                                           std::unique_ptr<ConstraintDefn> constraints);

}  // namespace tessera
