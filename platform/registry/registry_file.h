// Reading and writing "Windows Registry Editor Version 5.00" files (the machine folder's registry.reg).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/registry/registry_tree.h"

namespace hl::platform::reg {

// The encoding a file was read in, so it is written back the same way.
enum class FileEncoding { Utf8, Utf8Bom, Utf16LeBom };

struct ParsedFile {
  Tree tree;
  FileEncoding encoding = FileEncoding::Utf8;
};

struct ParseError {
  size_t line = 0;  // 1-based
  std::string message;
};

// Parses a registry file. Accepted: UTF-16LE with BOM, UTF-8 with or without BOM; the 5.00 header or
// REGEDIT4 (whose string bytes are UTF-8, the stand-in's ANSI code page). An empty file is an empty
// registry. Lines Windows would silently drop are refused, so a rewrite never loses what the author meant.
bool ParseRegFile(std::string_view bytes, ParsedFile& out, ParseError& error);

// Decides whether a key line is left out (the store leaves out empty keys that always exist).
using OmitKey = std::function<bool(Hive hive, const Path& path, const Key& key)>;

// Formats the whole tree as regedit exports it: every key on its own line, subkeys sorted, values in
// creation order, CRLF line ends. Strings are quoted text when they are plain (one terminator, valid
// UTF-16); everything else is hex(N) bytes, so every value survives byte for byte.
std::string FormatRegFile(const Tree& tree, FileEncoding encoding, const OmitKey& omit = nullptr);

// One value line (without line end), e.g. "\"name\"=dword:00000001"; exposed for tests.
std::u16string FormatValueLine(const Value& value);

}  // namespace hl::platform::reg
