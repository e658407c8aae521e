// Importing table data from XML: every element below the root is a row of the table its tag
// names, every attribute a column value; nested elements are rows of related tables whose
// missing foreign-key values come from the elements around them, and reference tokens
// (Table:Column:Key) become identifiers that are consistent across the document.
#pragma once

#include <cstdint>
#include <memory>

#include <libxml/tree.h>

#include "tessera/xml/reference_token.h"

namespace tessera {

// Parses the file and imports its rows. An unparsable file logs "error: could not parse file
// file.xml\n", a failed row walk "Cannot construct table data from XML file.\n" (both at ERROR).
// Rows imported before a failure stay in their tables.
bool LoadTableDataFromXMLFile(const char* path);
// The same over a document of `length` bytes in memory; a failed walk logs "Cannot construct
// table data from XML buffer.\n".
bool LoadTableDataFromXMLBuffer(const char* text, int32_t length);
// Imports the rows below `node` (its children, parents before children) and hands the map of
// reference tokens to the caller; null, with "Cannot construct table data from buffer node.\n",
// when a row fails. The document stays the caller's.
std::unique_ptr<AutoIdMap> LoadTableDataFromXMLNode(xmlDoc* document, xmlNode* node);

}  // namespace tessera
