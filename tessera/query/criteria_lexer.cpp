#include "tessera/query/criteria_lexer.h"

#include "tessera/query/criteria.h"

namespace tessera {
namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

CriteriaLexeme CriteriaLexer::Next() {
  while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  if (pos_ >= text_.size()) return {};
  const size_t start = pos_;
  const char c = text_[pos_];
  auto make = [&](CriteriaToken token, size_t length, BYTE op = 0) {
    pos_ = start + length;
    return CriteriaLexeme{token, text_.substr(start, length), op};
  };
  auto peek = [&](size_t offset) { return start + offset < text_.size() ? text_[start + offset] : '\0'; };

  if (IsLetter(c)) {
    size_t n = 1;
    while (start + n < text_.size() && (IsLetter(text_[start + n]) || IsDigit(text_[start + n]) || text_[start + n] == '_')) ++n;
    std::string_view word = text_.substr(start, n);
    if (word == "and") return make(CriteriaToken::And, n);
    if (word == "or") return make(CriteriaToken::Or, n);
    return make(CriteriaToken::Column, n);
  }
  if (IsDigit(c)) {
    size_t n = 1;
    while (IsDigit(peek(n))) ++n;
    if (peek(n) == '.' && IsDigit(peek(n + 1))) {
      n += 2;
      while (IsDigit(peek(n))) ++n;
    }
    return make(CriteriaToken::Value, n);
  }
  if (c == '\'') {
    size_t n = 1;
    while (start + n < text_.size() && text_[start + n] != '\'' && text_[start + n] != '\n') ++n;
    if (start + n < text_.size() && text_[start + n] == '\'') return make(CriteriaToken::Value, n + 1);
    return make(CriteriaToken::Invalid, 1);  // an unclosed quote is a character outside the language
  }
  switch (c) {
    case '(': return make(CriteriaToken::LeftParen, 1);
    case ')': return make(CriteriaToken::RightParen, 1);
    case '\n': return make(CriteriaToken::Newline, 1);
    case '=': return make(CriteriaToken::Comparison, 1, CRITERIA_OP_EQUAL);
    case '<':
      return peek(1) == '=' ? make(CriteriaToken::Comparison, 2, CRITERIA_OP_LESS_EQUAL)
                            : make(CriteriaToken::Comparison, 1, CRITERIA_OP_LESS);
    case '>':
      return peek(1) == '=' ? make(CriteriaToken::Comparison, 2, CRITERIA_OP_GREATER_EQUAL)
                            : make(CriteriaToken::Comparison, 1, CRITERIA_OP_GREATER);
    case '!':
      if (peek(1) == '=') return make(CriteriaToken::Comparison, 2, CRITERIA_OP_NOT_EQUAL);
      break;
    default: break;
  }
  return make(CriteriaToken::Invalid, 1);
}

}  // namespace tessera
