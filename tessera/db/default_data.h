// The data a fresh database starts with: XML files named in "defaultdata.txt", imported into
// the store and saved.
#pragma once

namespace tessera {

// Imports and saves each XML file "defaultdata.txt" names (white-space separated, in list
// order, from the data directory). True when there is no list; otherwise the result of the
// last file (true for an empty list).
bool SaveDefaultData();
// Imports the file into the store, then saves the tables of the root element's direct children
// (distinct tags without regard to case, in order of first appearance), 50 at a time.
bool SaveDataInXML(const char* path);

}  // namespace tessera
