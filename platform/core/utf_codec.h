// The stand-in's one UTF-8 / UTF-16 codec. Every conversion of the platform goes through it, each
// caller naming its policy:
//   - what an ill-formed part becomes: U+FFFD (replace) or a failure of the whole text (strict);
//   - whether lone surrogates pass: encoded in the generalized three-byte form (ED A0..BF xx) and
//     decoded back to the surrogate (keep), or treated as ill-formed (the Unicode rule).
// Ill-formed UTF-8 is replaced by maximal parts, one U+FFFD per maximal ill-formed subpart, as
// Windows' MultiByteToWideChar(CP_UTF8) does: overlong forms, code points above U+10FFFF and
// truncated sequences are ill-formed.
//
//   auto wide = utf::Utf8ToUtf16(bytes, utf::kReplace);      // never fails
//   auto file = utf::Utf8ToUtf16(bytes, utf::kStrictKeep);   // nullopt at the first fault
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hl::platform::utf {

struct Policy {
  bool strict;                // an ill-formed part fails the conversion instead of becoming U+FFFD
  bool keepLoneSurrogates;    // lone surrogates round-trip through the generalized UTF-8 form
};

inline constexpr Policy kReplace{false, false};      // the Windows code-page conversions
inline constexpr Policy kStrict{true, false};
inline constexpr Policy kReplaceKeep{false, true};   // registry names and data from the narrow API
inline constexpr Policy kStrictKeep{true, true};     // registry file contents: nothing may be lost

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends one code point (a surrogate is appended as itself).
void AppendUtf16(std::u16string& out, char32_t codePoint);
void AppendUtf8(std::string& out, char32_t codePoint);

// UTF-8 to UTF-16. nullopt only under a strict policy. `replaced` (optional) tells whether
// anything was replaced.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text, Policy policy, bool* replaced = nullptr);
// UTF-16 to UTF-8. nullopt only under a strict policy, for a lone surrogate not kept.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text, Policy policy, bool* replaced = nullptr);

// True when text holds no lone surrogate.
bool IsWellFormedUtf16(std::u16string_view text);

// UTF-16 code units as little-endian bytes, and back (an odd last byte is dropped).
std::vector<uint8_t> PackUtf16Le(std::u16string_view units);
std::u16string UnpackUtf16Le(const uint8_t* bytes, size_t size);

}  // namespace hl::platform::utf
