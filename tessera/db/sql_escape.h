// Text put between single quotes in statements built outside the dialect generators.
#pragma once

#include <string>
#include <string_view>

namespace tessera {

// `text` with every single quote doubled and, for the dialect "MYSQL" (any case), every
// backslash doubled too; a null dialect escapes as the standard does (quotes only).
std::string EscapeSqlLiteral(std::string_view text, const char* dbType);

// The dialect name of the connection that holds `tableName`: its mapped connection's type in
// DSN-map mode, else the configured dialect. Null when neither is known.
const char* DialectOfTable(const char* tableName);

}  // namespace tessera
