// Substring, trimming, splitting and character-class helpers on C texts.
// Functions taking texts accept null and then give null / false / -1 as stated.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessera {

// ASCII letters compared without regard to case (the store's name rule); no trace, no lock.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Pointer to the first occurrence of `pattern` in `text`, or null; FindSubString as a bool.
const char* SubString(const char* text, const char* pattern);
bool FindSubString(const char* text, const char* pattern);
// Index of `c` within the first `count` characters, -1 when absent.
int32_t GetIndex(const char* text, int32_t count, char c);
// Whether `item` (itemLength bytes) equals one of the comma-separated entries of `list`
// (`length` bytes).
bool IsStringMatched(const char* list, int32_t length, const char* item, int32_t itemLength);

// Occurrences found by a left-to-right scan that restarts the pattern after each full match and,
// on a mismatch, restarts it at the next character without re-testing the current one (so "aab"
// holds no "ab" for it). -1 for a null argument.
int32_t CountOccurrences(const char* text, const char* pattern);
// Start index of the first occurrence by the same scan; 0 when none; -1 for a null argument.
int32_t IndexOfSubstring(const char* text, const char* pattern);
// Start index of the last occurrence, -1 when none (or for a null argument).
int32_t LastIndexOfSubstring(const char* text, const char* pattern);

std::optional<std::string> LettersOnly(const char* text);
std::optional<std::string> LettersAndDigitsOnly(const char* text);
std::optional<std::string> NoLettersOrDigits(const char* text);

// Copies without the occurrences (non-overlapping, left to right); the First/Last forms give
// nullopt when there is no occurrence.
std::optional<std::string> RemoveAllOccurrences(const char* text, const char* pattern);
std::optional<std::string> RemoveFirstOccurrence(const char* text, const char* pattern);
std::optional<std::string> RemoveLastOccurrence(const char* text, const char* pattern);

// The text before / after the first occurrence; nullopt when there is none.
std::optional<std::string> SubstringBefore(const char* text, const char* pattern);
std::optional<std::string> SubstringAfter(const char* text, const char* pattern);
// Pointer into `text` just after the last occurrence; null when there is none.
const char* SubstringAfterLast(const char* text, const char* pattern);

// Copies without the repeated character `c` at both ends / the start / the end.
std::optional<std::string> TrimChar(const char* text, char c);
std::optional<std::string> TrimLeadingChar(const char* text, char c);
std::optional<std::string> TrimTrailingChar(const char* text, char c);

// n occurrences of `delimiter` give n + 1 parts; an empty delimiter gives the whole text.
std::vector<std::string> SplitString(const char* text, const char* delimiter);

// Re-entrant tokenizer: with a non-null `text` starts there, else continues at `cursor`; skips
// leading delimiter characters and returns the next token (nullopt when none is left).
std::optional<std::string> Tokenize(const char* text, const char* delimiters, const char*& cursor);

}  // namespace tessera
