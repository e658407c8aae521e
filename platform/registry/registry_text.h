// Text helpers of the registry stand-in: UTF-8 <-> UTF-16 and Windows-style name folding.
// Kept local to the registry so it does not depend on the code-page functions of the stand-in.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hl::platform::reg {

// UTF-8 to UTF-16. Invalid sequences become U+FFFD, as MultiByteToWideChar(CP_UTF8) does.
// Encoded surrogates (the generalized form written for lone surrogates) decode to the surrogate.
std::u16string Utf8ToUtf16(std::string_view text);
// Strict form for file contents: nullopt at the first invalid sequence.
std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view text);
// UTF-16 to UTF-8. Lone surrogates become U+FFFD unless keepLoneSurrogates, which encodes them
// in the generalized three-byte form so a file round trip loses nothing.
std::string Utf16ToUtf8(std::u16string_view text, bool keepLoneSurrogates = false);
// True when text has no lone surrogate.
bool IsValidUtf16(std::u16string_view text);

// Upper-case folding used for comparing key and value names (ASCII, Latin-1, Greek, Cyrillic).
char16_t FoldChar(char16_t c);
std::u16string Fold(std::u16string_view text);
bool NamesEqual(std::u16string_view a, std::u16string_view b);

}  // namespace hl::platform::reg
