// WinHttpQueryHeaders: the response's status line and headers as text or number, with the
// insufficient-buffer answers Windows gives (size in bytes including the UTF-16 terminator).
#include <cstring>

#include "platform/core/core_internal.h"
#include "platform/core/machine.h"
#include "platform/winhttp/winhttp_internal.h"

namespace hl::platform::winhttp {
namespace {

const char* HeaderName(DWORD level) {
  switch (level) {
    case WINHTTP_QUERY_MIME_VERSION: return "MIME-Version";
    case WINHTTP_QUERY_CONTENT_TYPE: return "Content-Type";
    case WINHTTP_QUERY_CONTENT_LENGTH: return "Content-Length";
    case WINHTTP_QUERY_DATE: return "Date";
    case WINHTTP_QUERY_LAST_MODIFIED: return "Last-Modified";
    case WINHTTP_QUERY_CONNECTION: return "Connection";
    case WINHTTP_QUERY_LOCATION: return "Location";
    case WINHTTP_QUERY_ETAG: return "ETag";
    case WINHTTP_QUERY_TRANSFER_ENCODING: return "Transfer-Encoding";
    default: return nullptr;
  }
}

// The text a level stands for; nullopt with the error when it has none.
std::optional<std::string> HeaderText(const ResponseHead& head, DWORD level, const std::string& custom, DWORD index,
                                      DWORD& error) {
  switch (level) {
    case WINHTTP_QUERY_STATUS_CODE: return std::to_string(head.status);
    case WINHTTP_QUERY_STATUS_TEXT: return head.reason;
    case WINHTTP_QUERY_VERSION: return head.version;
    case WINHTTP_QUERY_RAW_HEADERS_CRLF: {
      std::string text = head.statusLine + "\r\n";
      for (const std::string& line : head.rawLines) text += line + "\r\n";
      return text + "\r\n";
    }
    case WINHTTP_QUERY_RAW_HEADERS: {
      std::string text = head.statusLine;
      text.push_back('\0');
      for (const std::string& line : head.rawLines) {
        text += line;
        text.push_back('\0');
      }
      return text;  // the final terminator is added with the string's own
    }
    default: break;
  }
  std::string name = level == WINHTTP_QUERY_CUSTOM ? custom : std::string(HeaderName(level) ? HeaderName(level) : "");
  if (name.empty()) {
    error = level == WINHTTP_QUERY_CUSTOM ? ERROR_INVALID_PARAMETER : ERROR_WINHTTP_INVALID_QUERY_REQUEST;
    return std::nullopt;
  }
  DWORD seen = 0;
  for (const auto& [headerName, value] : head.headers) {
    if (!EqualsNoCase(headerName, name)) continue;
    if (seen++ == index) return value;
  }
  error = ERROR_WINHTTP_HEADER_NOT_FOUND;
  return std::nullopt;
}

}  // namespace
}  // namespace hl::platform::winhttp

using namespace hl::platform;
using namespace hl::platform::winhttp;

BOOL WinHttpQueryHeaders(HINTERNET hRequest, DWORD dwInfoLevel, LPCWSTR pwszName, LPVOID lpBuffer,
                         LPDWORD lpdwBufferLength, LPDWORD lpdwIndex) {
  auto request = Lookup<Request>(hRequest);
  if (!request) return FALSE;
  if (lpdwBufferLength == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  DWORD modifiers = dwInfoLevel & WINHTTP_QUERY_MODIFIER_FLAGS_MASK;
  DWORD level = dwInfoLevel & WINHTTP_QUERY_HEADER_MASK;
  if (modifiers & (WINHTTP_QUERY_FLAG_REQUEST_HEADERS | WINHTTP_QUERY_FLAG_SYSTEMTIME))
    return Fail(ERROR_WINHTTP_INVALID_QUERY_REQUEST, FALSE);
  if (request->state != RequestState::Received) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE, FALSE);
  if (auto fault = InjectedWinHttpFault("WinHttpQueryHeaders", request->Url())) return Fail(*fault, FALSE);

  DWORD error = 0;
  DWORD index = lpdwIndex ? *lpdwIndex : 0;
  std::optional<std::string> text =
      HeaderText(request->transfer->Head(), level, Narrow(pwszName), index, error);
  if (!text) return Fail(error, FALSE);

  if (modifiers & (WINHTTP_QUERY_FLAG_NUMBER | WINHTTP_QUERY_FLAG_NUMBER64)) {
    size_t size = (modifiers & WINHTTP_QUERY_FLAG_NUMBER64) ? sizeof(ULONGLONG) : sizeof(DWORD);
    if (lpBuffer == nullptr || *lpdwBufferLength < size) {
      *lpdwBufferLength = static_cast<DWORD>(size);
      return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    ULONGLONG value = std::strtoull(text->c_str(), nullptr, 10);
    if (size == sizeof(DWORD)) {
      DWORD small = static_cast<DWORD>(value);
      std::memcpy(lpBuffer, &small, size);
    } else {
      std::memcpy(lpBuffer, &value, size);
    }
    *lpdwBufferLength = static_cast<DWORD>(size);
  } else {
    std::u16string wide = Utf8ToUtf16(*text);
    DWORD needed = static_cast<DWORD>((wide.size() + 1) * sizeof(WCHAR));
    if (lpBuffer == nullptr || *lpdwBufferLength < needed) {
      *lpdwBufferLength = needed;
      return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    std::memcpy(lpBuffer, wide.c_str(), needed);
    *lpdwBufferLength = needed - sizeof(WCHAR);
  }
  if (lpdwIndex) ++*lpdwIndex;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
