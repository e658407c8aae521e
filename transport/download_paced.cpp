// This module is responsible for the paced GET: InternetGetRequestByBitrate learns the length
// with a HEAD, then asks for ranges of gv_dataTransferRateKBps x 500 bytes, one about every
// 600 ms, into a temporary file that is copied to the destination or loaded into memory.
//
// How: a rate of 0 asks for the whole file in one range (the block end wraps past the
// length). A time-out on a block's data closes the exchange and asks for the same block once
// more without waiting; a second one in a row ends the download. A block that brings nothing,
// or a transfer that ends short of the length, is 707: a short file is never handed on.
#include <algorithm>
#include <string>

#include "agent/log/error_text.h"
#include "agent/log/log.h"
#include "transport/download_internal.h"
#include "transport/request_internal.h"

namespace hl::transport {
namespace {

int Request(DownloadSettings& settings, const DownloadTarget& t, HttpRequestHandles& h) {
  return GetInternetRequestHandle(settings.transport, t.proxyFlag, t.protocol, t.serverName, t.port,
                                  t.proxyServerName, t.proxyBypass, t.proxyUserName, t.proxyPassword, t.urlPath,
                                  t.destFilePath, t.requestType, t.keepAlive, h);
}

HANDLE CreateTemporary(const WString& path) {
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

}  // namespace

DWORD PacedBlockEnd(DWORD received, DWORD blockSize, DWORD contentLength) {
  return std::min<DWORD>(received + blockSize - 1, contentLength);
}

void PaceAfterBlock(ULONGLONG startedMs) {
  ULONGLONG elapsed = GetTickCount64() - startedMs;
  Sleep(elapsed < 450 ? static_cast<DWORD>(600 - elapsed) : 100);
}

int InternetGetRequestByBitrate(DownloadSettings& settings, const DownloadTarget& t, std::optional<std::string>* data) {
  if (!IsDocumentUrl(t.urlPath)) {
    LogInfo("InternetGetDownloader : Harborline Server & Port -> %S : %d \n", t.serverName, t.port);
    if (ReadDownloadMode() == 1) return ResumeGetRequestByBitrate(settings, t, data);
  }
  LogDebug("@@@@@@@@ Inside InternetGetRequestByBitrate Method @@@@@@@@ \n");
  LogInfo("InternetGetRequestByBitrate : Harborline Server & Port -> %S : %d \n", t.serverName, t.port);
  LogDebug("InternetGetRequestByBitrate : URL to Get -> %S \n", t.urlPath);
  if (t.requestType == DOWNLOAD_FILE && (t.destFilePath == nullptr || HasParentSegment(NarrowText(t.destFilePath)))) {
    LogError("InternetGetRequestByBitrate : The destination path is not acceptable, %S \n", t.destFilePath);
    return 13;
  }
  HttpRequestHandles h;
  h.requestMode = 2;
  DownloadTarget head = t;
  head.keepAlive = 1;
  int result = Request(settings, head, h);
  if (result == 0 && h.statusCode == 304) {
    LogInfo("InternetGetRequestByBitrate : File not modified since the time: %S\n",
            settings.transport.ifModifiedSinceTime);
    result = kNotModified;
  } else if (result == 0 && h.statusCode != 200) {
    LogError("InternetGetRequestByBitrate : Failed with the http status code: %d \n", h.statusCode);
    result = h.statusCode;
  }
  DWORD contentLength = 0;
  if (result == 0) {
    if (settings.transport.ifModifiedSinceEnabled) {
      WString lastModified;
      if (GetFilelastmodifiedTime(h.hRequest, lastModified) == 0) {
        settings.transport.ifModifiedSinceTime = lastModified;
        gv_ifModifiedSinceTime = lastModified;
      }
    }
    DWORD error = 0;
    if (!QueryContentLength(h.hRequest, contentLength, error) || error == ERROR_WINHTTP_HEADER_NOT_FOUND) {
      if (error == 0 || error == ERROR_WINHTTP_HEADER_NOT_FOUND) error = ERROR_WINHTTP_HEADER_NOT_FOUND;
      LogError("InternetGetRequestByBitrate :  Error in Content Length Header -> %d \n", static_cast<int>(error));
      HttpGetLastError(error);
      result = static_cast<int>(error);
    } else {
      LogInfo("InternetGetRequestByBitrate : Content Length of the request file: %u Bytes\n", contentLength);
    }
  }
  CloseRequestHandles(h);
  if (result != 0) return result;

  if (t.requestType == DOWNLOAD_FILE && CreateFolder(t.destFilePath) != 0)
    LogError("InternetGetRequestByBitrate : Failed to create the destination directory for the destination file %S \n",
             t.destFilePath);
  WString tempPath = TemporaryPath(settings, t);
  if (t.requestType == GET_DATA) CreateFolder(tempPath.c_str());  // the temporary folder may not exist yet
  HANDLE file = CreateTemporary(tempPath);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    LogError("InternetGetRequestByBitrate: Error occured while creating the file --> %d \n", static_cast<int>(error));
    HttpGetLastError(error);
    return static_cast<int>(error);
  }
  const DWORD blockSize = settings.dataTransferRateKBps * 500;
  LogDebug("InternetGetRequestByBitrate: Block of bytes to read: %u\n", blockSize);
  DWORD received = 0;
  bool afterTimeout = false;
  std::string buffer;
  while (result == 0 && received < contentLength) {
    ULONGLONG started = GetTickCount64();
    h.requestMode = 1;
    h.extraHeader = RangeHeader(received, PacedBlockEnd(received, blockSize, contentLength));
    LogDebug("InternetGetRequestByBitrate: Content-Range Header message: %S\n", h.extraHeader);
    int sent = Request(settings, t, h);
    LogDebug("InternetGetRequestByBitrate: GetInternetRequestHandle function return code: %u\n",
             static_cast<DWORD>(sent));
    if (sent != 0) {
      result = sent;
      break;
    }
    if (h.statusCode != 200 && h.statusCode != 206) {
      LogError("InternetGetRequestByBitrate : Failed with the http status code %d \n", h.statusCode);
      result = h.statusCode;
      break;
    }
    if (h.statusCode == 200 && received > 0) {
      // The whole file again (the range was ignored): start the file afresh from this answer.
      CloseHandle(file);
      file = CreateTemporary(tempPath);
      received = 0;
      if (file == INVALID_HANDLE_VALUE) {
        result = static_cast<int>(GetLastError());
        break;
      }
    }
    bool timedOut = false;
    DWORD blockRead = 0;
    for (;;) {
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(h.hRequest, &available)) {
        DWORD error = GetLastError();
        LogError("InternetGetRequestByBitrate : Error occured in WinHttpQueryDataAvailable --> %d \n",
                 static_cast<int>(error));
        HttpGetLastError(error);
        if (error == ERROR_WINHTTP_TIMEOUT && !afterTimeout) {
          timedOut = true;
        } else {
          result = static_cast<int>(error);
        }
        break;
      }
      LogDebug("InternetGetRequestByBitrate: Bytes Available to read now: %u\n", available);
      if (available == 0) break;
      if (buffer.size() < available) buffer.resize(available);
      DWORD read = 0;
      if (!WinHttpReadData(h.hRequest, buffer.data(), available, &read)) {
        DWORD error = GetLastError();
        LogError("InternetGetRequestByBitrate :  Error in WinHttpReadData --> %d \n", static_cast<int>(error));
        HttpGetLastError(error);
        result = static_cast<int>(error);
        break;
      }
      if (read == 0) break;
      DWORD written = 0;
      if (!WriteFile(file, buffer.data(), read, &written, nullptr) || written != read) {
        DWORD error = GetLastError();
        LogError("InternetGetRequestByBitrate :  Error in WriteFile --> %d \n", static_cast<int>(error));
        result = static_cast<int>(error ? error : ERROR_WRITE_FAULT);
        break;
      }
      received += read;
      blockRead += read;
      if (received >= contentLength) break;
    }
    LogDebug("InternetGetRequestByBitrate: Bytes Read: %d\n", static_cast<int>(blockRead));
    CloseRequestHandles(h);
    if (result != 0) break;
    if (timedOut) {
      afterTimeout = true;
      continue;
    }
    if (afterTimeout) {
      afterTimeout = false;
      LogInfo("InternetGetRequestByBitrate : second attempt of the previous request\n");
      continue;
    }
    if (blockRead == 0) break;  // nothing came: asking again would never end
    if (received < contentLength) PaceAfterBlock(started);
  }
  LogInfo("InternetGetRequestByBitrate: Total bytes read = %u\n", received);
  CloseRequestHandles(h);
  if (file != INVALID_HANDLE_VALUE) {
    FlushFileBuffers(file);
    CloseHandle(file);
  }
  if (result == 0 && received != contentLength) {
    LogInfo("InternetGetRequestByBitrate : Only partial file downloaded. Bytes read :  %u\n", received);
    result = kFileCameShort;
  }
  if (result == 0 && t.requestType == GET_DATA) {
    std::optional<std::string> loaded = LoadDatafromFile(tempPath);
    if (!loaded) {
      LogError("InternetGetRequestByBitrate: could n't read the data from .tmp file \n");
      result = 6;
    } else {
      LogDebug("Data in memory : %s\n", *loaded);
      if (data) *data = std::move(loaded);
    }
  } else if (result == 0) {
    if (CopyFileW(tempPath.c_str(), t.destFilePath, FALSE)) {
      LogInfo("InternetGetRequestByBitrate : Successfully downloaded the file %S from the server %S\n", t.urlPath,
              t.serverName);
    } else {
      DWORD error = GetLastError();
      LogError("InternetGetRequestByBitrate : could n't copy from .tmp file, errorcode --> %d \n",
               static_cast<int>(error));
      result = static_cast<int>(error);
    }
  }
  DeleteFileW(tempPath.c_str());
  LogDebug("@@@@@@@@ End Of InternetGetRequestByBitrate Method @@@@@@@@ \n");
  return result;
}

}  // namespace hl::transport

int InternetGetRequestByBitrate(int proxyFlag, const char* protocol, const WCHAR* serverName, int port,
                                const WCHAR* proxyServerName, const WCHAR* proxyBypass, const WCHAR* proxyUserName,
                                const WCHAR* proxyPassword, const WCHAR* urlPath, const WCHAR* destFilePath,
                                std::optional<std::string>* data, int requestType, BYTE keepAlive) {
  hl::transport::DownloadSettings settings = hl::transport::CurrentDownloadSettings();
  hl::transport::DownloadTarget target{proxyFlag,   protocol,      serverName,    port,    proxyServerName,
                                       proxyBypass, proxyUserName, proxyPassword, urlPath, destFilePath,
                                       requestType, keepAlive};
  return hl::transport::InternetGetRequestByBitrate(settings, target, data);
}
