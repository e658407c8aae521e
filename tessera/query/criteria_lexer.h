// Tokens of the criteria language.
//
// Blanks and tabs separate tokens. "and" and "or" (lower case only) are the connectives; digits
// with an optional "." and fraction digits, and single-quoted texts (quotes kept, no quote or
// newline inside) are values; a letter followed by letters, digits and underscores is a column
// name; "(" ")" "<" ">" "<=" ">=" "=" "!=" stand for themselves; a newline ends the expression;
// any other character is invalid. The longest match wins, so "andy" is a column name.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/win32.h"

namespace tessera {

enum class CriteriaToken : BYTE { And, Or, Value, Column, LeftParen, RightParen, Comparison, Newline, End, Invalid };

struct CriteriaLexeme {
  CriteriaToken token = CriteriaToken::End;
  std::string_view text;  // the characters of the token (into the lexed text)
  BYTE op = 0;            // comparisons: the CriteriaOperator code
};

class CriteriaLexer {
 public:
  explicit CriteriaLexer(std::string_view text) : text_(text) {}
  // The next token; End once the text is used up. An invalid character is consumed.
  CriteriaLexeme Next();
  // The text not yet read.
  std::string_view Rest() const { return text_.substr(pos_); }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace tessera
