// This module is responsible for resumable file downloads: DownloadResumeHandler keeps one
// record per URL under the FileMetaData registry key (the URL names a value holding the
// file's unique id; a subkey of that id holds the bytes saved, the server's Last-Modified
// text, the time of the last save, the number of final saves and an in-progress mark), so an
// interrupted download continues with a ranged GET from the bytes already on disk.
//
// How: a first GET learns status, Last-Modified and Content-Length. The record is trusted
// only when the Last-Modified text is unchanged and the partial file has the recorded size;
// otherwise the partial file is discarded. The body is buffered up to InterSaveByteLimit
// bytes, then appended to the partial file and the record updated. A transfer that ends short
// keeps file and record and returns 707; a complete one is copied to the destination and its
// traces removed. Every download appends a row to its access log.
//
// The in-progress mark carries its owner (process id and creation time): a run that finds the
// mark of a process that no longer runs (killed, crashed) takes the mark over and resumes
// instead of waiting out the 90-minute window. A partial file longer than its record (the run
// was stopped between writing the data and recording it) is cut back to the recorded size,
// which was flushed before it was recorded.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent/log/error_text.h"
#include "agent/log/log.h"
#include "agent/registry/registry.h"
#include "transport/download_internal.h"
#include "transport/request_internal.h"

namespace hl::transport {
namespace {

constexpr char kDefaultFolder[] = "DownloadRepository\\";
constexpr DWORD kDefaultSaveLimit = 1048576;
constexpr ULONGLONG kInProgressWindowMs = 5400000;  // 90 minutes
constexpr char kInProgressValue[] = "downloadInProgress";
constexpr char kOwnerValue[] = "downloadOwner";

bool IsRecoverable(DWORD error) {
  return error == 12002 || error == 12029 || error == 12030;
}

bool ReadDword(HKEY key, const char* name, DWORD& value) {
  DWORD type = REG_NONE, size = sizeof(value), read = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&read), &size) != ERROR_SUCCESS) return false;
  if (type != REG_DWORD || size != sizeof(read)) return false;
  value = read;
  return true;
}

LONG WriteDword(HKEY key, const char* name, DWORD value) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

std::optional<std::string> ReadText(RegistryKey& key, const char* name, ULONG capacity) {
  std::vector<char> buffer(capacity + 1, '\0');
  ULONG chars = capacity;
  if (key.QueryStringValue(name, buffer.data(), &chars) != ERROR_SUCCESS) return std::nullopt;
  return std::string(buffer.data());
}

// Cuts a file to `size` bytes; false when it cannot be opened or cut.
bool CutFileTo(const WString& path, DWORD size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER to{};
  to.QuadPart = size;
  BOOL ok = SetFilePointerEx(file, to, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  return ok;
}

// Marks the download as running in this process.
void TakeInProgressMark(HKEY sub) {
  WriteDword(sub, kInProgressValue, 1);
  std::string owner = CurrentDownloadOwner();
  if (!owner.empty()) RegSetValueExA(sub, kOwnerValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(owner.c_str()),
                                     static_cast<DWORD>(owner.size() + 1));
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

class DownloadResumeHandler {
 public:
  DownloadResumeHandler(DownloadSettings& settings, const DownloadTarget& target)
      : settings_(settings), t_(target), url_(NarrowText(target.urlPath)) {
    if (target.destFilePath) destPath_ = target.destFilePath;
  }
  ~DownloadResumeHandler() {
    if (uniqueId_.empty()) return;
    deleteValue(HKEY_LOCAL_MACHINE, SubkeyPath().c_str(), kInProgressValue);
    deleteValue(HKEY_LOCAL_MACHINE, SubkeyPath().c_str(), kOwnerValue);
  }
  DownloadResumeHandler(const DownloadResumeHandler&) = delete;
  DownloadResumeHandler& operator=(const DownloadResumeHandler&) = delete;

  int Run(std::optional<std::string>* data, bool paced) {
    LogDebug(paced ? "@@@@@@@@ Inside ResumeGetRequestByBitrate Method @@@@@@@@ \n"
                   : "@@@@@@@@ Inside ResumeGetRequestEx Method @@@@@@@@ \n");
    LogDebug(paced ? "ResumeGetRequestByBitrate : URL to Get -> %S \n" : "ResumeGetRequestEx : URL to Get -> %S \n",
             t_.urlPath);
    buffer_.reserve(kDefaultSaveLimit);
    startText_ = AccessLogStartText();
    if (t_.requestType == DOWNLOAD_FILE && (destPath_.empty() || HasParentSegment(NarrowText(destPath_.c_str())))) {
      LogError("ResumeGetRequestEx : The destination path is not acceptable, %S \n", destPath_);
      return 13;
    }
    HttpRequestHandles h;
    int result = PreDownloadHandling(h);
    if (result != 0) {
      result = PostDownloadHandling(h, result, data);
      LogError("@@@@@@@@ End Of ResumeGetRequestEx Method @@@@@@@@ \n");
      return result;
    }
    Initialize();
    if (contentLength_ > 0 && savedBefore_ == contentLength_) {
      received_ = savedBefore_;
      result = PostDownloadHandling(h, 0, data);
      LogError("@@@@@@@@ End Of ResumeGetRequestEx Method @@@@@@@@ Full File already exist\n");
      return result;
    }
    result = paced ? TransferPaced(h) : Transfer(h);
    result = PostDownloadHandling(h, result, data);
    LogDebug("@@@@@@@@ End Of ResumeGetRequestEx Method @@@@@@@@ \n");
    return result;
  }

 private:
  std::string SubkeyPath() const { return std::string(kFileMetaDataKey) + uniqueId_; }

  int Request(HttpRequestHandles& h) {
    return GetInternetRequestHandle(settings_.transport, t_.proxyFlag, t_.protocol, t_.serverName, t_.port,
                                    t_.proxyServerName, t_.proxyBypass, t_.proxyUserName, t_.proxyPassword,
                                    t_.urlPath, t_.destFilePath, t_.requestType, t_.keepAlive, h);
  }

  int PreDownloadHandling(HttpRequestHandles& h) {
    int result = Request(h);
    if (result != 0) {
      LogError("PreDownloadHandling: ERROR in GetInternetRequestHandle - %d\n", result);
    } else if (h.statusCode == 304) {
      LogInfo("PreDownloadHandling :File not modified since the time: %S\n", settings_.transport.ifModifiedSinceTime);
      result = kNotModified;
    } else if (h.statusCode != 200) {
      LogError("PreDownloadHandling : Failed with the http status code, %d \n", h.statusCode);
      result = h.statusCode;
    } else {
      WString lastModified;
      if (GetFilelastmodifiedTime(h.hRequest, lastModified) == 0) {
        serverLastModified_ = NarrowText(lastModified.c_str());
        if (settings_.transport.ifModifiedSinceEnabled) {
          settings_.transport.ifModifiedSinceTime = lastModified;
          gv_ifModifiedSinceTime = lastModified;
        }
      }
      DWORD error = 0;
      if (QueryContentLength(h.hRequest, contentLength_, error)) {
        LogInfo("PreDownloadHandling : Content Length of the request file: %u Bytes\n", contentLength_);
      } else {
        LogError("PreDownloadHandling :  Error in Content Length Header -> %d \n", static_cast<int>(error));
        HttpGetLastError(error);
        result = static_cast<int>(error);
      }
    }
    CloseRequestHandles(h);
    return result;
  }

  void Initialize() {
    LogInfo("Inside DownloadResumeHandler::Initialize\n");
    RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kFileMetaDataKey) != ERROR_SUCCESS) {
      LogDebug("failure in openeing reg key\n");
      key.Create(HKEY_LOCAL_MACHINE, kFileMetaDataKey);
      folder_ = kDefaultFolder;
      key.SetValue("IntermediateRepositoryName", folder_.c_str());
      FormUniqueFileName();
      key.SetValue(url_.c_str(), uniqueId_.c_str());
      WriteDword(key.handle(), "InterSaveByteLimit", kDefaultSaveLimit);
      LogError("Setting variable for DOWNLOAD_FOLDER and url  %S & id - %s\n", t_.urlPath, uniqueId_);
    } else {
      LogDebug("reading folder info\n");
      std::optional<std::string> folder = ReadText(key, "IntermediateRepositoryName", 255);
      if (!folder) {
        folder = kDefaultFolder;
        key.SetValue("IntermediateRepositoryName", folder->c_str());
      } else if (!IsContainedFolder(*folder)) {
        LogError("DownloadResumeHandler::Initialize : download folder %s leaves the install folder, using %s\n",
                 *folder, kDefaultFolder);
        folder = kDefaultFolder;
      }
      folder_ = *folder;
      if (!folder_.empty() && folder_.back() != '\\') folder_ += '\\';
      LogDebug("reading periodic limit  info\n");
      if (!ReadDword(key.handle(), "InterSaveByteLimit", saveLimit_)) {
        saveLimit_ = kDefaultSaveLimit;
        WriteDword(key.handle(), "InterSaveByteLimit", kDefaultSaveLimit);
      }
      if (saveLimit_ == 0) saveLimit_ = kDefaultSaveLimit;
      LogInfo("Download folder = %S\tperiodic save limit = %d\n", WideText(folder_), static_cast<int>(saveLimit_));
      std::optional<std::string> id = ReadText(key, url_.c_str(), 255);
      if (!id || id->empty()) {
        FormUniqueFileName();
      } else {
        uniqueId_ = *id;
        FormUniqueFileName();
        LogInfo("Unique id for the file is %s\n", uniqueId_);
        GetFileDataFromRegistry();
      }
      if (!temporaryDownload_) key.SetValue(url_.c_str(), uniqueId_.c_str());
    }
    LogInfo("ResumeGetRequestEx : To update download count\n");
    DWORD count = 0;
    ReadDword(key.handle(), "DownloadCount", count);
    WriteDword(key.handle(), "DownloadCount", count + 1);
    LogInfo("End of DownloadResumeHandler::Initialize\n");
  }

  void FormUniqueFileName() {
    if (uniqueId_.empty()) {
      uniqueId_ = std::to_string(GetTimeInSeconds()) + std::to_string(GetCurrentProcessId()) +
                  std::to_string(GetCurrentThreadId());
      LogInfo("Formed Unique id for the file is %s\n", uniqueId_);
    }
    std::string folderPath = settings_.agentInstallDir + folder_;
    tempPath_ = WideText(folderPath + uniqueId_);
    CreateFolder(tempPath_.c_str());
    LogInfo("Temporary file path is %S\n", tempPath_);
  }

  void GetFileDataFromRegistry() {
    LogInfo("Inside GetFileDataFromRegistry\n");
    RegistryKey sub;
    if (sub.Open(HKEY_LOCAL_MACHINE, SubkeyPath().c_str()) != ERROR_SUCCESS) {
      LogError("GetFileDataFromRegistry; Registry subkey not found\n");
      PreDownloadCleaningOfPartialFile();
      return;
    }
    bool keepPartial = false;
    bool cutBack = false;  // the file holds bytes beyond its record
    DWORD partial = 0;
    std::string registryLastModified = ReadText(sub, "LastModifiedTime", 255).value_or("");
    LogInfo("GetFileDataFromRegistry last modified time in registry   %s from server %s\n", registryLastModified,
            serverLastModified_);
    std::optional<std::string> retryText = ReadText(sub, "LastRetryTime", 64);
    lastRetryTime_ = retryText ? std::strtoull(retryText->c_str(), nullptr, 10) : 0;
    if (EqualNoCase(registryLastModified, serverLastModified_) && ReadDword(sub.handle(), "PartialFileSize", partial)) {
      std::optional<ULONGLONG> fileSize = FileSizeOf(tempPath_);
      LogInfo("GetFileDataFromRegistry partial downloaded filesize  in registry %d from file  %d\n",
              static_cast<int>(partial), static_cast<int>(fileSize.value_or(0)));
      if (fileSize && *fileSize >= partial && partial <= contentLength_) {
        keepPartial = true;
        cutBack = *fileSize > partial;
        savedBefore_ = partial;
        ReadDword(sub.handle(), "RetryCount", retryCount_);
        LogInfo("GetFileDataFromRegistry last retry time %d count %d\n", static_cast<long long>(lastRetryTime_),
                static_cast<int>(retryCount_));
      }
    }
    DWORD inProgress = 0;
    if (!ReadDword(sub.handle(), kInProgressValue, inProgress)) {
      TakeInProgressMark(sub.handle());
    } else {
      LogInfo("GetFileDataFromRegistry - dwonload in progress flag is set\n");
      std::optional<std::string> owner = ReadText(sub, kOwnerValue, 64);
      if (owner && GetDownloadOwnerState(*owner) == DownloadOwnerState::kGone) {
        LogInfo("GetFileDataFromRegistry - download in progress flag left by a process that no longer runs; resuming\n");
        TakeInProgressMark(sub.handle());
      } else {
        // Without a known owner (older records) or with a running one the mark's age decides.
        ULONGLONG now = NowMilliseconds();
        sub.Close();
        if (lastRetryTime_ > now || now - lastRetryTime_ < kInProgressWindowMs) {
          LogInfo("Another download in progress - hence procedding for temporary download\n");
          temporaryDownload_ = true;
        } else {
          LogInfo("GetFileDataFromRegistry - download in progress flag was set before 90 mins so cleaning files and proceeding\n");
          CleanFileAndRegistry();
        }
        keepPartial = false;
        uniqueId_.clear();
        FormUniqueFileName();
      }
    }
    if (keepPartial && cutBack) {
      keepPartial = CutFileTo(tempPath_, partial);
      LogInfo("GetFileDataFromRegistry - partial file longer than its record, cut back to %d bytes: %s\n",
              static_cast<int>(partial), keepPartial ? "done" : "failed");
    }
    if (!keepPartial) PreDownloadCleaningOfPartialFile();
  }

  void PreDownloadCleaningOfPartialFile() {
    LogInfo("Performing PreDownloadCleaningOfPartialFile\n");
    savedBefore_ = 0;
    written_ = 0;
    DeleteFileW(tempPath_.c_str());
  }

  // Steps 6 to 10: the ranged GET, the read loop with its saves; the transfer's result.
  int Transfer(HttpRequestHandles& h) {
    received_ = savedBefore_;
    h.requestMode = 1;
    h.extraHeader = RangeHeader(savedBefore_, contentLength_);
    LogError("ResumeGetRequestEx: Content-Range Header message: %S\n", h.extraHeader);
    int result = Request(h);
    LogDebug("ResumeGetRequestEx: GetInternetRequestHandle function return code: %u\n", static_cast<DWORD>(result));
    if (result == 0 && h.statusCode != 200 && h.statusCode != 206) result = h.statusCode;
    if (result != 0) {
      CloseRequestHandles(h);
      return result;
    }
    if (h.statusCode == 200 && savedBefore_ > 0) {
      // The server ignored the range: the answer is the whole file, which replaces the part on disk.
      LogInfo("ResumeGetRequestEx : the server sent the whole file, the partial file is restarted\n");
      PreDownloadCleaningOfPartialFile();
      received_ = 0;
    }
    DWORD loopError = 0;
    for (;;) {
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(h.hRequest, &available)) {
        loopError = GetLastError();
        LogError("ResumeGetRequestEx : Error occured in WinHttpQueryDataAvailable --> %d \n", static_cast<int>(loopError));
        HttpGetLastError(loopError);
        if (!IsRecoverable(loopError) || !Resend(h, available, loopError)) break;
      }
      if (available == 0) break;
      if (buffer_.size() + available > saveLimit_ && !buffer_.empty()) {
        int saved = ProcessDownloadedBuffer(true);
        if (saved != 0) {
          LogError("ResumeGetRequestEx :  Error in WriteFile --> %d \n", saved);
          loopError = static_cast<DWORD>(saved);
          break;
        }
      }
      size_t before = buffer_.size();
      buffer_.resize(before + available);
      DWORD read = 0;
      if (!WinHttpReadData(h.hRequest, buffer_.data() + before, available, &read)) {
        buffer_.resize(before);
        loopError = GetLastError();
        LogError("ResumeGetRequestEx :  Error in WinHttpReadData --> %d \n", static_cast<int>(loopError));
        HttpGetLastError(loopError);
        break;
      }
      buffer_.resize(before + read);
      received_ += read;
      loopError = 0;
      if (received_ == contentLength_) {
        LogInfo("ResumeGetRequestEx : Bytes read reached the contenlength\n");
        break;
      }
      if (read == 0) break;
    }
    CloseRequestHandles(h);
    LogInfo("ResumeGetRequestEx: Total bytes read = %u\n", received_);
    return Finish(loopError);
  }

  // Steps 9 and 10: the failure count, the final save and the transfer's result.
  int Finish(DWORD loopError) {
    bool cameShort = received_ != contentLength_;
    if (received_ < contentLength_) CountFailure();
    if (loopError == 0 || IsRecoverable(loopError)) {
      int saved = ProcessDownloadedBuffer(false);
      if (saved != 0) return saved;
    }
    if (loopError != 0) return static_cast<int>(loopError);
    return cameShort ? kFileCameShort : 0;
  }

  // The paced transfer: ranged blocks of gv_dataTransferRateKBps x 500 bytes, one per 600 ms.
  int TransferPaced(HttpRequestHandles& h) {
    received_ = savedBefore_;
    const DWORD block = settings_.dataTransferRateKBps * 500;
    LogDebug("ResumeGetRequestByBitrate: Block of bytes to read: %u\n", block);
    DWORD loopError = 0;
    bool afterTimeout = false;
    while (received_ < contentLength_) {
      ULONGLONG started = GetTickCount64();
      h.requestMode = 1;
      h.extraHeader = RangeHeader(received_, PacedBlockEnd(received_, block, contentLength_));
      LogDebug("ResumeGetRequestByBitrate: Content-Range Header message: %S\n", h.extraHeader);
      int sent = Request(h);
      LogDebug("ResumeGetRequestByBitrate: GetInternetRequestHandle function return code: %u\n",
               static_cast<DWORD>(sent));
      if (sent == 0 && h.statusCode != 200 && h.statusCode != 206) {
        LogError("ResumeGetRequestByBitrate : Failed with the http status code %d \n", h.statusCode);
        sent = h.statusCode;
      }
      if (sent != 0) {
        CloseRequestHandles(h);
        loopError = static_cast<DWORD>(sent);
        break;
      }
      if (h.statusCode == 200 && received_ > 0) {
        LogInfo("ResumeGetRequestByBitrate : the server sent the whole file, the partial file is restarted\n");
        buffer_.clear();
        PreDownloadCleaningOfPartialFile();
        received_ = 0;
      }
      bool timedOut = false;
      DWORD blockRead = 0;
      for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(h.hRequest, &available)) {
          DWORD error = GetLastError();
          LogError("ResumeGetRequestByBitrate : Error occured in WinHttpQueryDataAvailable --> %d \n",
                   static_cast<int>(error));
          HttpGetLastError(error);
          if (IsRecoverable(error) && !afterTimeout) timedOut = true;
          else loopError = error;
          break;
        }
        if (available == 0) break;
        if (buffer_.size() + available > saveLimit_ && !buffer_.empty()) {
          int saved = ProcessDownloadedBuffer(true);
          if (saved != 0) {
            LogError("ResumeGetRequestByBitrate :  Error in WriteFile --> %d \n", saved);
            loopError = static_cast<DWORD>(saved);
            break;
          }
        }
        if (available > buffer_.capacity()) LogInfo("Reallocating buffer to %d\n", static_cast<int>(available));
        size_t before = buffer_.size();
        buffer_.resize(before + available);
        DWORD read = 0;
        if (!WinHttpReadData(h.hRequest, buffer_.data() + before, available, &read)) {
          buffer_.resize(before);
          loopError = GetLastError();
          LogError("ResumeGetRequestByBitrate :  Error in WinHttpReadData --> %d \n", static_cast<int>(loopError));
          HttpGetLastError(loopError);
          break;
        }
        buffer_.resize(before + read);
        if (read == 0) break;
        received_ += read;
        blockRead += read;
        if (received_ >= contentLength_) break;
      }
      CloseRequestHandles(h);
      if (loopError != 0) break;
      if (timedOut) {
        afterTimeout = true;
        continue;
      }
      if (afterTimeout) {
        afterTimeout = false;
        LogInfo("ResumeGetRequestByBitrate : second attempt of the previous request\n");
        continue;
      }
      if (blockRead == 0) break;  // nothing came: asking again would never end
      if (received_ < contentLength_) PaceAfterBlock(started);
    }
    LogInfo("ResumeGetRequestByBitrate: Total bytes read = %u\n", received_);
    return Finish(loopError);
  }

  // Sends the request again from the bytes received; true with `available` set when data may follow.
  bool Resend(HttpRequestHandles& h, DWORD& available, DWORD& error) {
    LogInfo("ResumeGetRequestEx : Total Bytes read so far:%u\n", received_);
    LogInfo("ResumeGetRequestEx : second attempt to recover from previous error\n");
    CloseRequestHandles(h);
    h.requestMode = 1;
    h.extraHeader = RangeHeader(received_, contentLength_);
    int result = Request(h);
    if (result != 0) {
      error = static_cast<DWORD>(result);
      return false;
    }
    if (h.statusCode != 206 && h.statusCode != 200) {
      error = static_cast<DWORD>(h.statusCode);
      return false;
    }
    if (h.statusCode == 200 && received_ > 0) {
      // Whole file again: drop what this run holds and what is on disk.
      buffer_.clear();
      PreDownloadCleaningOfPartialFile();
      received_ = 0;
    }
    if (!WinHttpQueryDataAvailable(h.hRequest, &available)) {
      error = GetLastError();
      LogError("ResumeGetRequestEx : Error occured in WinHttpQueryDataAvailable --> %d \n", static_cast<int>(error));
      HttpGetLastError(error);
      return false;
    }
    error = 0;
    return true;
  }

  void CountFailure() {
    RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kFileMetaDataKey) != ERROR_SUCCESS) return;
    DWORD failures = 0;
    if (ReadDword(key.handle(), "DownloadFailureCount", failures)) {
      WriteDword(key.handle(), "DownloadFailureCount", failures + 1);
      LogInfo("DownloadFailureCount set to %d\n", static_cast<int>(failures + 1));
    } else {
      LogError("The DownloadFailureCount value could not be read.Resetting to 1\n");
      WriteDword(key.handle(), "DownloadFailureCount", 1);
    }
  }

  // Appends the buffered bytes to the partial file and records them; 0 or the system error.
  int ProcessDownloadedBuffer(bool intermediate) {
    if (buffer_.empty() && intermediate) return 0;
    if (!buffer_.empty()) {
      LogDebug("Inside ProcessDownloadedBuffer\n");
      HANDLE file = CreateFileW(tempPath_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        LogError("Invalid File Handle\n");
        return static_cast<int>(error ? error : ERROR_INVALID_HANDLE);
      }
      DWORD written = 0;
      BOOL ok = WriteFile(file, buffer_.data(), static_cast<DWORD>(buffer_.size()), &written, nullptr);
      DWORD error = ok ? 0 : GetLastError();
      FlushFileBuffers(file);
      CloseHandle(file);
      if (!ok || written != buffer_.size()) {
        LogError("ProcessDownloadedBuffer :  Error in WriteFile --> %d \n", static_cast<int>(error));
        return static_cast<int>(error ? error : ERROR_WRITE_FAULT);
      }
      written_ += written;
      buffer_.clear();
      LogDebug("File updated with data.\n");
    } else if (!FileSizeOf(tempPath_)) {
      // An empty file is still a file: the destination gets created from it.
      HANDLE file = CreateFileW(tempPath_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    if (temporaryDownload_) return 0;
    RegistryKey sub;
    if (sub.Create(HKEY_LOCAL_MACHINE, SubkeyPath().c_str()) != ERROR_SUCCESS) return 0;
    DWORD size = savedBefore_ + written_;
    WriteDword(sub.handle(), "PartialFileSize", size);
    LogDebug("updated registry entries  %d \n", static_cast<int>(size));
    sub.SetValue("LastModifiedTime", serverLastModified_.c_str());
    ULONGLONG now = NowMilliseconds();
    sub.SetValue("LastRetryTime", std::to_string(now).c_str());
    if (!intermediate) {
      LogInfo("updated registry entries size  %d and last modified time %S retry time %d\n", static_cast<int>(size),
              WideText(serverLastModified_), static_cast<long long>(now));
      WriteDword(sub.handle(), "RetryCount", retryCount_ + 1);
      RegDeleteValueA(sub.handle(), kInProgressValue);
      RegDeleteValueA(sub.handle(), kOwnerValue);
    }
    return 0;
  }

  int PostDownloadHandling(HttpRequestHandles& h, int result, std::optional<std::string>* data) {
    LogInfo("Proceeding for PostDownloadHandling \n");
    CloseRequestHandles(h);
    buffer_.clear();
    buffer_.shrink_to_fit();
    if (result == 0 && t_.requestType == GET_DATA) {
      std::optional<std::string> loaded = LoadDatafromFile(tempPath_);
      if (!loaded) {
        LogError("PostDownloadHandling : could n't read the data from .tmp file \n");
        result = 6;
      } else {
        LogInfo("PostDownloadHandling Data in memory : %s\n", *loaded);
        if (data) *data = std::move(loaded);
        CleanFileAndRegistry();
      }
    } else if (result == 0) {
      int saved = SaveToDestFile();
      if (saved != 0) {
        LogInfo("PostDownloadHandling : failed\n");
        result = saved;
      } else {
        LogInfo("PostDownloadHandling : Successfully downloaded the file %S from the server %S to the destination file %S \n",
                t_.urlPath, t_.serverName, destPath_);
      }
    }
    AccessLogRow row;
    row.startText = startText_;
    row.url = url_;
    row.requestType = t_.requestType;
    row.contentLength = contentLength_;
    row.result = result;
    row.bytesReceived = received_;
    row.serverName = NarrowText(t_.serverName);
    row.port = t_.port;
    PrintHTTPAccessLog(settings_.agentInstallDir, row);
    return result;
  }

  int SaveToDestFile() {
    LogInfo("Inside SaveToDestFile from %S to %S\n", tempPath_, destPath_);
    if (CreateFolder(destPath_.c_str()) != 0) return 0;
    if (!CopyFileW(tempPath_.c_str(), destPath_.c_str(), FALSE)) {
      DWORD error = GetLastError();
      LogError("InternetGetRequestEx : could n't copy from %S file to %S ,\n", tempPath_, destPath_);
      LogErrorMessage(error);
      return static_cast<int>(error);
    }
    CleanFileAndRegistry();
    return 0;
  }

  void CleanFileAndRegistry() {
    LogInfo("Inside CleanFileAndRegistry\n");
    DeleteFileW(tempPath_.c_str());
    // A separate run's file must not take the record of the download it stood aside for.
    if (temporaryDownload_) return;
    RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kFileMetaDataKey) == ERROR_SUCCESS) RegDeleteValueA(key.handle(), url_.c_str());
    key.Close();
    RegistryKey sub;
    if (!uniqueId_.empty() && sub.Open(HKEY_LOCAL_MACHINE, SubkeyPath().c_str()) == ERROR_SUCCESS) {
      sub.Close();
      DeleteRegistryTree(HKEY_LOCAL_MACHINE, SubkeyPath().c_str());
    }
  }

  DownloadSettings& settings_;
  const DownloadTarget& t_;
  std::string url_;
  WString destPath_;
  WString tempPath_;
  std::string folder_ = kDefaultFolder;
  std::string serverLastModified_;
  std::string uniqueId_;
  std::string startText_;
  DWORD retryCount_ = 0;
  DWORD savedBefore_ = 0;
  DWORD written_ = 0;
  DWORD saveLimit_ = kDefaultSaveLimit;
  ULONGLONG lastRetryTime_ = 0;
  bool temporaryDownload_ = false;
  DWORD contentLength_ = 0;
  DWORD received_ = 0;
  std::vector<char> buffer_;
};

}  // namespace

int ResumeGetRequestEx(DownloadSettings& settings, const DownloadTarget& target, std::optional<std::string>* data) {
  DownloadResumeHandler handler(settings, target);
  return handler.Run(data, false);
}

int ResumeGetRequestByBitrate(DownloadSettings& settings, const DownloadTarget& target,
                              std::optional<std::string>* data) {
  DownloadResumeHandler handler(settings, target);
  return handler.Run(data, true);
}

}  // namespace hl::transport
