// Pieces of CREATE TABLE column definitions shared by the dialects' type hooks.
#pragma once

#include <string>

#include "tessera/db/dialect/dialect_facts.h"

namespace tessera::dialect {

// "DEFAULT <n>" for an integer default, else " ".
std::string DefaultInteger(const ColumnDefn& column);
// "DEFAULT <text>" for a number default, else " ".
std::string DefaultNumber(const ColumnDefn& column);
// "DEFAULT '<escaped text>'" for a default, else " ".
std::string DefaultText(const ColumnDefn& column, const DialectFacts& facts);
// "DEFAULT <yes>" / "DEFAULT <no>" for a boolean default, else " ".
std::string DefaultBoolean(const ColumnDefn& column, const char* yes, const char* no);
// "\t<name> <type> <default>"
std::string Definition(const ColumnDefn& column, const std::string& type, const std::string& defaultPart);

}  // namespace tessera::dialect
