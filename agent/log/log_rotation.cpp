// Copy-and-truncate rotation of the live log into numbered backups.
#include <cerrno>
#include <string>
#include <vector>

#include "agent/log/error_text.h"
#include "agent/log/log.h"
#include "agent/log/log_internal.h"
#include "agent/log/object_lock.h"

namespace {

// The text before the first ".log"; empty when there is none.
std::string LogBase(const char* fileName) {
  std::string name = fileName ? fileName : "";
  size_t at = name.find(".log");
  return at == std::string::npos ? std::string() : name.substr(0, at);
}

void DeleteLogFile(const std::string& path) {
  if (DeleteFileA(path.c_str()))
    LogInfo("RotateSpecificLogs : The file %s was successfully deleted..:\n", path);
  else
    LogInfo("RotateSpecificLogs : Unable to delete the file %s and the error code is :%d\n", path, GetLastError());
}

void TruncateLiveLog(const std::string& live) {
  const void* token = LoggerLockToken();
  if (token != nullptr) LockObject(token);
  HANDLE file = CreateFileA(live.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (token != nullptr) UnlockObject(token);
}

void RotateOne(const std::string& directory, const std::string& name, int maxFiles) {
  LogInfo("RotateSpecificLogs : Log File Name : %s\n", name);
  std::string live = directory + "\\" + name;
  std::string base = LogBase(name.c_str());
  int n = FindNoOfRepeatedFileNames(directory.c_str(), base.c_str());
  LogInfo("RotateSpecificLogs : The return Value from FindNumberOfRepeatedFileNames method is : %d \n", n);
  while (n >= 1) {
    std::string older = MakeLogName(directory.c_str(), name.c_str(), n - 1);
    LogInfo("RotateSpecificLogs : The tempFileName1 : %s . \n", older);
    if (n >= maxFiles) {
      DeleteLogFile(older);
      n = maxFiles - 1;
      older = MakeLogName(directory.c_str(), name.c_str(), maxFiles - 2);
    }
    std::string newer = MakeLogName(directory.c_str(), name.c_str(), n);
    LogInfo("RotateSpecificLogs : The tempFileName2 : %s . \n", newer);
    if (n == 1) {
      if (CopyFileA(live.c_str(), newer.c_str(), FALSE)) {
        LogInfo("RotateSpecificLogs : File copied from %s to  %s ; truncating the live file . \n", live, newer);
        TruncateLiveLog(live);
      } else {
        LogInfo("RotateSpecificLogs : CopyFile failed to copy the live file %s to  %s and the error code is %d \n",
                live, newer, GetLastError());
      }
    } else if (CopyFileA(older.c_str(), newer.c_str(), FALSE)) {
      LogInfo("RotateSpecificLogs : File copied from %s to  %s . \n", older, newer);
      DeleteLogFile(older);
    } else {
      LogInfo("RotateSpecificLogs : CopyFile failed to move from %s to  %s and the error code is %d \n", older, newer,
              GetLastError());
    }
    n = n - 1;
  }
}

}  // namespace

int RotateLoggerForEverRunningProcess(const char* folder, const char* fileName, int maxFiles, int maxSize) {
  std::string directory = (folder && *folder) ? std::string(folder) + "\\" : GetLogInstallFolder() + "logs\\";
  std::string live = directory + (fileName ? fileName : "");
  LogInfo("RotateLoggerForEverRunningProcess : cSfileName : %s \n", live);
  if (CheckLogSizeReached(live.c_str(), maxSize) == 1) return RotateSpecificLogs(directory.c_str(), fileName, maxFiles);
  return 0;
}

int CheckLogSizeReached(const char* path, int maxSize) {
  LONGLONG size = 0;
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    LogError("CheckLogSizeReached : Unable to get the file handle \n");
    LogErrorMessageA(error);
  } else {
    LARGE_INTEGER li{};
    if (GetFileSizeEx(file, &li))
      size = li.QuadPart;
    else
      LogError("CheckLogSizeReached : Error occurred in getting the size %d \n", GetLastError());
    CloseHandle(file);
  }
  LogInfo("CheckLogSizeReached : The log file size of %s is given by %ld \n", path, size);
  if (size < maxSize) {
    LogDebug("CheckLogSizeReached : The size is less the required size \n");
    return 0;
  }
  LogInfo("CheckLogSizeReached : The size is greater than the given size .........\n");
  return 1;
}

int RotateSpecificLogs(const char* directory, const char* fileNames, int maxFiles) {
  LogInfo("@@@@@@@@ Inside RotateSpecificLogs Method @@@@@@@@ \n");
  std::string names = fileNames ? fileNames : "";
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    std::string name = names.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!name.empty()) RotateOne(directory ? directory : "", name, maxFiles);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  LogInfo("@@@@@@@@ End Of RotateSpecificLogs Method @@@@@@@@ \n");
  return 0;
}

int FindNoOfRepeatedFileNames(const char* directory, const char* base) {
  std::string pattern = hl::Sprintf("%s\\%s*.*", directory, base);
  LogInfo("FindNoOfRepeatedFileNames : Successfully allocated szFormattedPath and the value is %s  .\n", pattern);
  WIN32_FIND_DATAA data{};
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    LogErrorMessage(GetLastError());
    LogError("FindNumberOfRepeatedFileNames : Unable to find the files/folder.\n");
    LogInfo("FindNoOfRepeatedFileNames : Going to Free the allocated memory in this method.\n");
    return -1;
  }
  LogInfo("FindNoOfRepeatedFileNames : Successfully finded out first file  %d  .\n", find);
  int count = 0;
  do {
    ++count;
    LogInfo("FindNoOfRepeatedFileNames : after memset of szSrcPath is  %s  .\n",
            hl::Sprintf("%s\\%s", directory, data.cFileName));
  } while (FindNextFileA(find, &data));
  DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) {
    LogErrorMessage(error);
    LogError("FindNumberOfRepeatedFileNames : Couldn't find next file :%d\n", error);
    count = -1;
  }
  FindClose(find);
  LogInfo("FindNoOfRepeatedFileNames : Going to Free the allocated memory in this method.\n");
  return count;
}

std::string MakeLogName(const char* directory, const char* fileName, int k) {
  return hl::Sprintf("%s\\%s%d.log", directory ? directory : "", LogBase(fileName), k);
}

int MakeDirectoryTree(const char* folder) {
  if (folder == nullptr) return EINVAL;
  if (hl_mkdir(folder) == 0) return 0;
  if (errno == EEXIST) return 1;
  if (errno != ENOENT) return errno;
  std::string parent = folder;
  while (!parent.empty() && parent.back() == '/') parent.pop_back();
  size_t slash = parent.rfind('/');
  if (slash == std::string::npos) return ENOENT;
  parent.resize(slash);
  int parentResult = MakeDirectoryTree(parent.c_str());
  if (parentResult != 0 && parentResult != 1) return parentResult;
  if (hl_mkdir(folder) == 0) return 0;
  return errno == EEXIST ? 1 : errno;
}
