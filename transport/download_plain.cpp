// This module is responsible for the plain GET: InternetGetRequestEx reads the whole answer
// in one exchange into a temporary file, then copies it to the destination (DOWNLOAD_FILE) or
// loads it into memory (GET_DATA). File downloads other than XML or JSON documents go to the
// resumable download instead when the agent's DownloadMode is 1.
//
// How: a time-out while reading is recovered once by a ranged request from the bytes read so
// far; the file must end with exactly Content-Length bytes (a missing header counts as 0),
// else the result is 707 and nothing is handed back.
#include <string>

#include "agent/config/agent_config.h"
#include "agent/log/error_text.h"
#include "agent/log/log.h"
#include "agent/registry/registry.h"
#include "transport/download_internal.h"
#include "transport/request_internal.h"

namespace hl::transport {

// DownloadMode from the agent's settings key; 0 when missing.
DWORD ReadDownloadMode() {
  DWORD mode = 0;
  if (ReadDwordRegistryData(HKEY_LOCAL_MACHINE, kAgentSettingsKey, "DownloadMode", &mode) != ERROR_SUCCESS) mode = 0;
  return mode;
}

bool IsDocumentUrl(const WCHAR* urlPath) {
  std::string url = NarrowText(urlPath);
  return url.find(".xml") != std::string::npos || url.find(".json") != std::string::npos;
}

WString TemporaryPath(const DownloadSettings& settings, const DownloadTarget& t) {
  std::string thread = std::to_string(GetCurrentThreadId());
  if (t.requestType == GET_DATA) return WideText(settings.tempDir + "\\hl" + thread + ".tmp");
  return WString(t.destFilePath ? t.destFilePath : WSTR("")) + WideText(thread + ".tmp");
}

namespace {

int Request(DownloadSettings& settings, const DownloadTarget& t, HttpRequestHandles& h) {
  return GetInternetRequestHandle(settings.transport, t.proxyFlag, t.protocol, t.serverName, t.port,
                                  t.proxyServerName, t.proxyBypass, t.proxyUserName, t.proxyPassword, t.urlPath,
                                  t.destFilePath, t.requestType, t.keepAlive, h);
}

void CloseLogged(HttpRequestHandles& h) {
  struct Item { HINTERNET* handle; const char* line; };
  Item items[] = {{&h.hRequest, "InternetGetRequestEx :  Error in WinHttpCloseHandle hRequest --> %d \n"},
                  {&h.hConnect, "InternetGetRequestEx :  Error in WinHttpCloseHandle hConnect --> %d \n"},
                  {&h.hSession, "InternetGetRequestEx :  Error in WinHttpCloseHandle hSession --> %d \n"}};
  for (Item& item : items) {
    if (*item.handle == kNoHandle) continue;
    if (!WinHttpCloseHandle(*item.handle)) LogError(item.line, static_cast<int>(GetLastError()));
    *item.handle = kNoHandle;
  }
}

// Takes the answer's Last-Modified into the If-Modified-Since state when that is on.
void NoteLastModified(DownloadSettings& settings, HINTERNET request) {
  if (!settings.transport.ifModifiedSinceEnabled) return;
  WString lastModified;
  if (GetFilelastmodifiedTime(request, lastModified) == 0) {
    settings.transport.ifModifiedSinceTime = lastModified;
    gv_ifModifiedSinceTime = lastModified;
  }
}

}  // namespace

int InternetGetRequestEx(DownloadSettings& settings, const DownloadTarget& t, std::optional<std::string>* data) {
  if (!IsDocumentUrl(t.urlPath)) {
    LogInfo("InternetGetDownloader : Harborline Server & Port -> %S : %d \n", t.serverName, t.port);
    DWORD mode = ReadDownloadMode();
    if (mode == 1 && t.requestType == DOWNLOAD_FILE) return ResumeGetRequestEx(settings, t, data);
    LogInfo("InternetGetDownloader : Download Mode %d\n", static_cast<int>(mode));
  }
  LogDebug("@@@@@@@@ Inside InternetGetRequestEx Method @@@@@@@@ \n");
  LogInfo("InternetGetRequestEx : Harborline Server & Port -> %S : %d \n", t.serverName, t.port);
  LogDebug("InternetGetRequestEx : URL to Get -> %S \n", t.urlPath);
  if (t.requestType == DOWNLOAD_FILE && (t.destFilePath == nullptr || HasParentSegment(NarrowText(t.destFilePath)))) {
    LogError("InternetGetRequestEx : The destination path is not acceptable, %S \n", t.destFilePath);
    return 13;
  }
  HttpRequestHandles h;
  int result = Request(settings, t, h);
  if (result != 0) {
    CloseLogged(h);
    return result;
  }
  if (h.statusCode == 304) {
    LogInfo("InternetGetRequestEx :File not modified since the time: %S\n", settings.transport.ifModifiedSinceTime);
    CloseLogged(h);
    return kNotModified;
  }
  if (h.statusCode != 200) {
    LogError("InternetGetRequestEx : Failed with the http status code, %d \n", h.statusCode);
    CloseLogged(h);
    return h.statusCode;
  }
  NoteLastModified(settings, h.hRequest);
  DWORD contentLength = 0, lengthError = 0;
  if (!QueryContentLength(h.hRequest, contentLength, lengthError)) {
    LogError("InternetGetRequestEx :  Error in Content Length Header -> %d \n", static_cast<int>(lengthError));
    HttpGetLastError(lengthError);
    CloseLogged(h);
    return static_cast<int>(lengthError);
  }
  LogInfo("InternetGetRequestEx : Content Length of the request file: %u Bytes\n", contentLength);

  if (t.requestType == DOWNLOAD_FILE && CreateFolder(t.destFilePath) != 0)
    LogError("InternetGetRequestEx : Failed to create the destination directory for the destination file %S \n",
             t.destFilePath);
  WString tempPath = TemporaryPath(settings, t);
  if (t.requestType == GET_DATA) CreateFolder(tempPath.c_str());  // the temporary folder may not exist yet
  HANDLE file = CreateFileW(tempPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    LogError("InternetGetRequestEx : Error occured while creating the file --> %d \n", static_cast<int>(error));
    HttpGetLastError(error);
    CloseLogged(h);
    return static_cast<int>(error);
  }

  DWORD total = 0;
  bool recovered = false;
  std::string buffer;
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(h.hRequest, &available)) {
      DWORD error = GetLastError();
      LogError("InternetGetRequestEx : Error occured in WinHttpQueryDataAvailable --> %d \n", static_cast<int>(error));
      HttpGetLastError(error);
      if (error != ERROR_WINHTTP_TIMEOUT || recovered) {
        result = static_cast<int>(error);
        break;
      }
      recovered = true;
      LogInfo("Total Bytes read so far:%u\n", total);
      LogInfo("InternetGetRequestEx : second attempt to recover from previous error\n");
      CloseLogged(h);
      h.requestMode = 1;
      h.extraHeader = total ? RangeHeader(total, contentLength) : RangeHeader(0, contentLength);
      LogDebug("InternetGetRequestByBitrate: Content-Range Header message: %S\n", h.extraHeader);
      result = Request(settings, t, h);
      if (result != 0) break;
      if (!WinHttpQueryDataAvailable(h.hRequest, &available)) {
        error = GetLastError();
        LogError("InternetGetRequestEx : Error occured in WinHttpQueryDataAvailable --> %d \n",
                 static_cast<int>(error));
        HttpGetLastError(error);
        result = static_cast<int>(error);
        break;
      }
    }
    if (available == 0) break;
    if (buffer.size() < available) buffer.resize(available);
    DWORD read = 0;
    if (!WinHttpReadData(h.hRequest, buffer.data(), available, &read)) {
      DWORD error = GetLastError();
      LogError("InternetGetRequestEx :  Error in WinHttpReadData --> %d \n", static_cast<int>(error));
      HttpGetLastError(error);
      result = static_cast<int>(error);
      break;
    }
    if (read == 0) break;
    total += read;
    DWORD written = 0;
    if (!WriteFile(file, buffer.data(), read, &written, nullptr) || written != read) {
      DWORD error = GetLastError();
      LogError("InternetGetRequestEx :  Error in WriteFile --> %d \n", static_cast<int>(error));
      result = static_cast<int>(error ? error : ERROR_WRITE_FAULT);
      break;
    }
    if (total == contentLength) {
      LogInfo("Bytes read reached the contenlength\n");
      break;
    }
  }
  LogInfo("InternetGetRequestEx : Total bytes read = %u\n", total);
  if (result == 0) {
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    if (static_cast<ULONGLONG>(size.QuadPart) == contentLength) {
      LogInfo("InternetGetRequestEx : GetFileSize returns :  %u\n", static_cast<DWORD>(size.QuadPart));
      LogInfo("InternetGetRequestEx : File completely downloaded..!\n");
    } else {
      LogInfo("InternetGetRequestEx : Error in downloading..!\n");
      LogInfo("InternetGetRequestEx : Only partial file downloaded. GetFileSize returns :  %u\n",
              static_cast<DWORD>(size.QuadPart));
      result = kFileCameShort;
    }
  }
  FlushFileBuffers(file);
  CloseHandle(file);
  CloseLogged(h);

  if (result == 0 && t.requestType == GET_DATA) {
    std::optional<std::string> loaded = LoadDatafromFile(tempPath);
    if (!loaded) {
      LogError("InternetGetRequestEx: could n't read the data from .tmp file \n");
      result = 6;
    } else {
      LogDebug("Data in memory : %s\n", *loaded);
      if (data) *data = std::move(loaded);
    }
  } else if (result == 0) {
    if (CopyFileW(tempPath.c_str(), t.destFilePath, FALSE)) {
      LogInfo("InternetGetRequestEx : Successfully downloaded the file %S from the server %S to the destination file %S \n",
              t.urlPath, t.serverName, t.destFilePath);
    } else {
      DWORD error = GetLastError();
      LogError("InternetGetRequestEx : could n't copy from %S file to %S ,\n", tempPath, t.destFilePath);
      LogErrorMessage(error);
      result = static_cast<int>(error);
    }
  }
  DeleteFileW(tempPath.c_str());
  LogDebug("@@@@@@@@ End Of InternetGetRequestEx Method @@@@@@@@ \n");
  return result;
}

DownloadSettings CurrentDownloadSettings() {
  DownloadSettings settings;
  settings.transport = CurrentTransportSettings();
  settings.tempDir = gv_tempDir;
  settings.agentInstallDir = gv_agentInstallDir.value_or("");
  settings.dataTransferRateKBps = gv_dataTransferRateKBps;
  return settings;
}

}  // namespace hl::transport

int InternetGetRequestEx(int proxyFlag, const char* protocol, const WCHAR* serverName, int port,
                         const WCHAR* proxyServerName, const WCHAR* proxyBypass, const WCHAR* proxyUserName,
                         const WCHAR* proxyPassword, const WCHAR* urlPath, const WCHAR* destFilePath,
                         std::optional<std::string>* data, int requestType, BYTE keepAlive) {
  hl::transport::DownloadSettings settings = hl::transport::CurrentDownloadSettings();
  hl::transport::DownloadTarget target{proxyFlag,     protocol,      serverName, port,    proxyServerName,
                                       proxyBypass,   proxyUserName, proxyPassword, urlPath, destFilePath,
                                       requestType,   keepAlive};
  return hl::transport::InternetGetRequestEx(settings, target, data);
}
