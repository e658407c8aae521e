// Loading the data dictionary: the list file "datadictionary.txt" names the XML documents.
#pragma once

#include <cstdint>

namespace tessera {

// Longest accepted file name in a list file, and longest path formed from it; longer names are
// refused with an ERROR line (never cut into another name).
inline constexpr int32_t kMaxDictFileNameLength = 255;
inline constexpr int32_t kMaxDictPathLength = 259;

// Opens "..\data\datadictionary.txt", else "<root>/data/datadictionary.txt" (the store root of
// SetTesseraRoot), and loads every document it names from the same directory. False only when
// neither list can be opened ("Cannot open DataDictionary File.\n").
bool LoadAllDataDictFiles();
// The same from "<directory>\datadictionary.txt", documents "<directory>\<name>"; false,
// silently, when the list cannot be opened.
bool LoadDataDictFiles(const char* directory);
// False for a null path; otherwise reads the document into the dictionary and is true.
bool LoadDataDictFromXMLFile(const char* path);
// Reads the document (always true).
bool XmlDataParser(const char* path);

}  // namespace tessera
