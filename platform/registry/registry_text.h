// Text helpers of the registry stand-in: its policy over the platform codec and Windows-style
// name folding.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/core/utf_codec.h"

namespace hl::platform::reg {

// The registry's text policy over the platform codec: names and data keep lone surrogates, so a
// file round trip loses nothing; ill-formed UTF-8 from the narrow API becomes U+FFFD.
inline std::u16string Utf8ToUtf16(std::string_view text) { return *utf::Utf8ToUtf16(text, utf::kReplaceKeep); }
// Strict form for file contents: nullopt at the first ill-formed sequence.
inline std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view text) {
  return utf::Utf8ToUtf16(text, utf::kStrictKeep);
}
// Lone surrogates become U+FFFD unless keepLoneSurrogates (the generalized three-byte form).
inline std::string Utf16ToUtf8(std::u16string_view text, bool keepLoneSurrogates = false) {
  return *utf::Utf16ToUtf8(text, keepLoneSurrogates ? utf::kReplaceKeep : utf::kReplace);
}
inline bool IsValidUtf16(std::u16string_view text) { return utf::IsWellFormedUtf16(text); }

// Upper-case folding used for comparing key and value names (ASCII, Latin-1, Greek, Cyrillic).
char16_t FoldChar(char16_t c);
std::u16string Fold(std::u16string_view text);
bool NamesEqual(std::u16string_view a, std::u16string_view b);

}  // namespace hl::platform::reg
