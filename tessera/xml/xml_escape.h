// Attribute text for the XML writers: every character XML reserves is written as a reference so
// that the document stays well-formed and a parser reads back the original text.
#pragma once

#include <string>
#include <string_view>

namespace tessera {

// Appends `text` as the content of a double-quoted attribute: "&", "<", ">" and '"' become
// entity references, tab, line feed and carriage return become character references (a parser
// would otherwise turn them into blanks). False, with `out` as it was, when the text holds what
// an XML 1.0 document cannot carry: other control characters, bytes that are not UTF-8,
// surrogates, U+FFFE and U+FFFF.
bool AppendAttributeText(std::string& out, std::string_view text);

// Whether `name` can be used as an element name and file name by the writers: an ASCII letter
// or "_" first, then letters, digits, "_", "-" and ".".
bool IsPlainXmlName(std::string_view name);

}  // namespace tessera
