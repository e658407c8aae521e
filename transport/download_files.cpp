// Files of the downloads: destination folders, last name parts of URLs and paths, reading a
// data answer back, the clock texts and the access logs written at the end of each
// resumable download.
#include <cstdio>
#include <string>

#include "agent/log/error_text.h"
#include "agent/log/log.h"
#include "transport/download_internal.h"
#include "transport/request_internal.h"

namespace hl::transport {

std::string NarrowText(const WCHAR* text) {
  std::string out;
  if (text) ChangeWideToUtf8Str(text, out);
  return out;
}

WString WideText(const std::string& text) {
  WString out;
  ChangeUtf8ToWideStr(text.c_str(), out);
  return out;
}

WString RangeHeader(DWORD from, DWORD to) {
  char line[64];
  std::snprintf(line, sizeof line, "Range: bytes=%u-%u", static_cast<unsigned>(from), static_cast<unsigned>(to));
  return WideText(line);
}

bool QueryContentLength(HINTERNET request, DWORD& length, DWORD& error) {
  length = 0;
  error = 0;
  DWORD size = sizeof(length);
  if (WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &length, &size, WINHTTP_NO_HEADER_INDEX))
    return true;
  error = GetLastError();
  if (error == ERROR_WINHTTP_HEADER_NOT_FOUND) length = 0;
  return error == ERROR_INSUFFICIENT_BUFFER || error == ERROR_WINHTTP_HEADER_NOT_FOUND;
}

std::optional<ULONGLONG> FileSizeOf(const WString& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  LARGE_INTEGER size{};
  BOOL ok = GetFileSizeEx(file, &size);
  CloseHandle(file);
  if (!ok) return std::nullopt;
  return static_cast<ULONGLONG>(size.QuadPart);
}

std::optional<std::string> LoadDatafromFile(const WString& path) {
  LogDebug("LoadDatafromFile: tmpDataFilePath, %s\n", NarrowText(path.c_str()));
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string data;
  char chunk[65536];
  bool ok = true;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, chunk, sizeof chunk, &read, nullptr)) {
      ok = false;
      break;
    }
    if (read == 0) break;
    data.append(chunk, read);
  }
  CloseHandle(file);
  if (!ok) return std::nullopt;
  return data;
}

bool HasParentSegment(const std::string& path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("\\/", start);
    if (end == std::string::npos) end = path.size();
    if (path.compare(start, end - start, "..") == 0) return true;
    start = end + 1;
  }
  return false;
}

bool IsContainedFolder(const std::string& folder) {
  if (folder.empty()) return true;
  if (folder[0] == '\\' || folder[0] == '/') return false;
  if (folder.find(':') != std::string::npos) return false;
  return !HasParentSegment(folder);
}

std::string LocalDateText() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char text[16];
  std::snprintf(text, sizeof text, "%02u%02u%02u", t.wYear % 100u, static_cast<unsigned>(t.wMonth),
                static_cast<unsigned>(t.wDay));
  return text;
}

std::string LocalTimeText() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char text[16];
  std::snprintf(text, sizeof text, "%02u%02u%02u", static_cast<unsigned>(t.wHour), static_cast<unsigned>(t.wMinute),
                static_cast<unsigned>(t.wSecond));
  return text;
}

ULONGLONG NowMilliseconds() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return ticks / 10000 - 11644473600000ULL;
}

long long GetTimeInSeconds() {
  long long seconds = static_cast<long long>(NowMilliseconds() / 1000);
  LogDebug("GetTimeInSeconds : retDate :: %s\n", LocalDateText() + LocalTimeText());
  LogInfo("GetTimeInSeconds : Time in Second : %d\n", seconds);
  return seconds;
}

std::string AccessLogStartText() {
  char text[64];
  std::snprintf(text, sizeof text, "\n %s\t\t%10s\t", LocalDateText().c_str(), LocalTimeText().c_str());
  return text;
}

namespace {

constexpr char kAccessLogHeader[] =
    "DATE\t\t\tSTART_TIME\t                         FILE_NAME\tMODE\t\t\t\tT_BYTES\tSTATUS\tRECEVD_BYTES\tEND_TIME\t"
    "SERVER_NAME\t\tPORT\tURL\n";

bool AppendText(HANDLE file, const std::string& text) {
  DWORD written = 0;
  return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

}  // namespace

void PrintHTTPAccessLog(const std::string& agentInstallDir, const AccessLogRow& row) {
  std::string path = agentInstallDir + (row.result == 0 ? "logs\\downloadSuccessAccess.log"
                                                        : "logs\\downloadFailureAccess.log");
  WString widePath = WideText(path);
  CreateFolder(widePath.c_str());
  HANDLE file = CreateFileW(widePath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    LogError("Error caught in PrintHTTPAccessLog");
    return;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size) || size.QuadPart == 0)
    AppendText(file, std::string(kAccessLogHeader) + std::string(142, '-'));
  std::string name = GetLastUrlFileName(row.url.c_str());
  if (name.empty()) name = "--";
  std::string text;
  auto add = [&text](const char* format, auto... args) {
    int needed = std::snprintf(nullptr, 0, format, args...);
    if (needed <= 0) return;
    std::string piece(static_cast<size_t>(needed) + 1, '\0');
    std::snprintf(piece.data(), piece.size(), format, args...);
    piece.resize(static_cast<size_t>(needed));
    text += piece;
  };
  add("\n %20s\t", row.startText.c_str());
  add("\t%30s", name.c_str());
  add("\t%12s", row.requestType == DOWNLOAD_FILE ? "DownloadFile" : "GetData");
  add("\t%10u\t%5ld\t%10u", static_cast<unsigned>(row.contentLength), row.result,
      static_cast<unsigned>(row.bytesReceived));
  add("\t%10s\t", LocalTimeText().c_str());
  add("\t%15s\t%6d\t%s", row.serverName.c_str(), row.port, row.url.c_str());
  AppendText(file, text);
  CloseHandle(file);
  LogDebug("downloadaccesslog : %s \n", path);
}

}  // namespace hl::transport

std::string GetLastUrlFileName(const char* url) {
  if (url == nullptr) return {};
  std::string text(url);
  size_t slash = text.rfind('/');
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

std::string GetLastFileName(const char* path) {
  if (path == nullptr) return {};
  std::string text(path);
  size_t slash = text.rfind('\\');
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

namespace {

// Creates every missing folder of `folder` (backslash separated); 0 or the system error.
int CreateFolderChain(const std::string& folder) {
  for (size_t pos = folder.find('\\', 3); ; pos = folder.find('\\', pos + 1)) {
    std::string part = folder.substr(0, pos);
    if (!part.empty() && part.back() != ':') {
      hl::WString wide = hl::transport::WideText(part);
      if (!CreateDirectoryW(wide.c_str(), nullptr)) {
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) return static_cast<int>(error);
      }
    }
    if (pos == std::string::npos) return 0;
  }
}

}  // namespace

int CreateFolder(const WCHAR* path) {
  LogDebug("CreateFolder : CreateFolder function called with %S\n", path);
  int result = 0;
  if (path == nullptr) {
    LogError("CreateFolder : The directory to create is NULL . \n");
    result = 13;
  } else {
    std::string text = hl::transport::NarrowText(path);
    std::string folder;
    if (text.size() >= 1 && text.size() <= 3) {
      result = 183;
    } else {
      std::string last = GetLastFileName(text.c_str());
      folder = text.substr(0, text.size() - last.size());
      while (!folder.empty() && folder.back() == '\\') folder.pop_back();
      if (!folder.empty() && folder.size() <= 3) result = 183;
    }
    if (result == 183) {
      LogInfo("CreateFolder : The Drive letter Given.hence it cannot be created \n");
    } else if (!folder.empty()) {
      LogInfo("CreateFolder : The Directory to create is %s \n", folder);
      result = CreateFolderChain(folder);
    }
  }
  LogDebug("CreateFolder function returns Error code %d \n", result);
  if (result != 0) LogErrorMessage(static_cast<DWORD>(result));
  return result;
}
