// Reading the store's small text files: whitespace-separated tokens and the rest of a line.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace tessera {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Opens `path`; when that fails, "<root>/data/<fileName>" after LogDebug "Opening %s\n". Null
// when neither opens (or there is no root).
FilePtr OpenDataFile(const char* path, const char* fileName);

// The next whitespace-separated token, whole however long; false at the end of the file.
bool ReadToken(FILE* file, std::string& token);
// The rest of the current line without its line break (and a carriage return before it);
// false when the file is already at its end.
bool ReadRestOfLine(FILE* file, std::string& rest);

}  // namespace tessera
