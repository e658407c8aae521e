// Exporting loaded tables as XML: one element per row, named after its table, with one attribute
// per column in the definition's column order, below a root element of the caller's name.
//
// Every writer puts "<?xml version="1.0" encoding="UTF-8"?>" first. Values are escaped so the
// document is well-formed and an import reads back the same values; NULL values, rows flagged
// deleted and columns of unsupported types are left out. A value that an XML document cannot
// carry (a control character other than tab, line feed and carriage return, or text that is not
// UTF-8) makes the export fail with an ERROR line and nothing written.
#pragma once

#include <optional>
#include <string>

#include "platform/win32.h"

namespace tessera {

// Writes "<directory><rootName>.xml" ("<rootName>.xml" without a directory) with the rows of the
// tables named in the null-terminated list, skipping names with no loaded table or no columns.
// An unopenable file logs "Error in opening %s\n" at ERROR; false then and on any failure, with
// no file left behind.
bool ConvertDOtoXML(const char* const* tableNames, const char* rootName, const char* directory);

// The same file for every table of the dictionary (dictionary order) that is loaded. With
// referenceMode 1, generated and foreign-key columns are written as reference tokens so that an
// import into another store regenerates consistent identifiers.
bool ConvertTablesToXML(const char* rootName, const char* directory, BYTE referenceMode);

// The document of ConvertDOtoXML as a string, also leaving out every value equal to its
// column's dictionary default (the import fills the default back in). Logged at DEBUG as
// "\n%s\n". Nullopt on failure ("Memory allocation failed while copying TEXT value.\n" when
// memory runs out).
std::optional<std::string> ConvertDOtoXMLBuffer(const char* const* tableNames, const char* rootName);

}  // namespace tessera
