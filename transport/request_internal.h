// Pieces of the request core shared with the upload code (not for other callers).
#pragma once

#include <vector>

#include "transport/transport.h"

namespace hl::transport {

// Length of a NUL-terminated UTF-16 text.
size_t WideLength(const WCHAR* text);
// The raw response headers (CRLF form) into a zero-filled buffer of size x 4 + 8 bytes; 0 or the error.
int QueryRawHeaders(HINTERNET request, std::vector<WCHAR>& headers);
// The response status as a number; false with the last error set.
bool QueryStatusCode(HINTERNET request, DWORD& status);
// True for "https" in any case.
bool IsHttps(const char* protocol);

}  // namespace hl::transport
