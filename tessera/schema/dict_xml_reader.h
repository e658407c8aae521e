// Reads data-dictionary documents with libxml2's text reader and hands each table to
// BuildTableDefn.
#pragma once

#include <memory>

#include "tessera/schema/xml_tag_info.h"

namespace tessera {

// Reads one document. An unopenable file logs "Unable to open %s\n"; a reader error logs
// "%s : failed to parse\n". A malformed table logs its structural error and is skipped; the
// tables around it are still read.
void ParseDataDictFile(const char* path);

// Reads a whole document into one tree per complete table, without building definitions
// (for tests and tools). Same messages as ParseDataDictFile.
std::vector<std::unique_ptr<XmlTagInfo>> ReadDataDictTables(const char* path);

}  // namespace tessera
