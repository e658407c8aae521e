// FindFirstFile / FindNextFile / FindClose over a snapshot of the folder taken by FindFirstFile.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files/files_internal.h"
#include "platform/core/machine.h"
#include "platform/core/core_internal.h"
#include "platform/system/win_system.h"

namespace {

using hl::platform::Fail;
namespace fs = std::filesystem;

struct Entry {
  std::string name;
  DWORD attributes = 0;
  ULONGLONG size = 0;
  FILETIME created{}, accessed{}, written{};
};

struct FindObject : hl::platform::KernelObject {
  std::vector<Entry> entries;
  size_t next = 0;
};

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool Describe(const fs::path& path, std::string name, Entry& entry) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  entry.name = std::move(name);
  entry.attributes = hl::platform::AttributesOf(st);
  entry.size = S_ISDIR(st.st_mode) ? 0 : static_cast<ULONGLONG>(st.st_size);
  entry.created = hl::platform::FileTimeOf(st.st_mtim);
  entry.accessed = hl::platform::FileTimeOf(st.st_atim);
  entry.written = hl::platform::FileTimeOf(st.st_mtim);
  return true;
}

// Whether the folder is a drive's root, which on Windows has no "." and ".." entries.
bool IsDriveRoot(const fs::path& folder) {
  auto machine = hl::platform::CurrentMachine();
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(folder, ec);
  if (ec) return false;
  if (canonical == canonical.root_path()) return true;
  if (!machine->present()) return false;
  fs::path root = fs::weakly_canonical(machine->root, ec);
  if (ec) return false;
  std::string leaf = canonical.filename().string();
  return canonical.parent_path() == root && leaf.size() == 7 && leaf.rfind("drive_", 0) == 0;
}

// Starts a search; the last error tells why there is none.
std::shared_ptr<FindObject> Search(const char* api, const std::string& searchPath) {
  if (auto fault = hl::platform::InjectedFault(api, searchPath)) return Fail(*fault, std::shared_ptr<FindObject>());
  size_t split = searchPath.find_last_of("\\/");
  std::string folderText = split == std::string::npos ? std::string() : searchPath.substr(0, split + 1);
  std::string pattern = split == std::string::npos ? searchPath : searchPath.substr(split + 1);
  if (split == std::string::npos && pattern.size() >= 2 && pattern[1] == ':') {  // "C:*.log"
    folderText = pattern.substr(0, 2) + "\\";
    pattern = pattern.substr(2);
  }
  if (pattern.empty()) return Fail(ERROR_FILE_NOT_FOUND, std::shared_ptr<FindObject>());
  for (char c : pattern)
    if (static_cast<unsigned char>(c) < 32 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|')
      return Fail(ERROR_INVALID_NAME, std::shared_ptr<FindObject>());
  fs::path folder = ".";
  if (!folderText.empty()) {
    auto mapped = hl::platform::MapFilePath(folderText);
    if (!mapped) return nullptr;
    if (!mapped->empty()) folder = *mapped;
  }
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return Fail(ERROR_PATH_NOT_FOUND, std::shared_ptr<FindObject>());

  std::vector<Entry> all;
  if (!IsDriveRoot(folder)) {
    Entry dot, dotdot;
    if (Describe(folder, ".", dot)) all.push_back(dot);
    if (Describe(folder / "..", "..", dotdot)) all.push_back(dotdot);
  }
  std::vector<Entry> named;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (struct dirent* item = ::readdir(dir)) {
      std::string name = item->d_name;
      if (name == "." || name == "..") continue;
      Entry entry;
      if (Describe(folder / name, name, entry)) named.push_back(std::move(entry));
    }
    ::closedir(dir);
  } else {
    return Fail(ERROR_ACCESS_DENIED, std::shared_ptr<FindObject>());
  }
  // NTFS lists a folder in the order of its upper-cased names.
  std::sort(named.begin(), named.end(), [](const Entry& a, const Entry& b) {
    std::string ua = Upper(a.name), ub = Upper(b.name);
    return ua != ub ? ua < ub : a.name < b.name;
  });
  all.insert(all.end(), named.begin(), named.end());

  auto search = std::make_shared<FindObject>();
  std::u16string widePattern = hl::platform::Utf8ToUtf16(pattern);
  for (auto& entry : all)
    if (hl::platform::MatchesFilePattern(widePattern, hl::platform::Utf8ToUtf16(entry.name)))
      search->entries.push_back(std::move(entry));
  if (search->entries.empty()) return Fail(ERROR_FILE_NOT_FOUND, std::shared_ptr<FindObject>());
  return search;
}

template <class Data>
void FillCommon(const Entry& entry, Data* data) {
  std::memset(data, 0, sizeof *data);
  data->dwFileAttributes = entry.attributes;
  data->ftCreationTime = entry.created;
  data->ftLastAccessTime = entry.accessed;
  data->ftLastWriteTime = entry.written;
  data->nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(entry.size);
}

void Fill(const Entry& entry, LPWIN32_FIND_DATAA data) {
  FillCommon(entry, data);
  std::strncpy(data->cFileName, entry.name.c_str(), MAX_PATH - 1);
}

void Fill(const Entry& entry, LPWIN32_FIND_DATAW data) {
  FillCommon(entry, data);
  std::u16string wide = hl::platform::Utf8ToUtf16(entry.name);
  std::copy_n(wide.begin(), std::min<size_t>(wide.size(), MAX_PATH - 1), data->cFileName);
}

template <class Data>
HANDLE First(const char* api, const std::string& searchPath, Data* data) {
  if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  auto search = Search(api, searchPath);
  if (!search) return INVALID_HANDLE_VALUE;
  Fill(search->entries[0], data);
  search->next = 1;
  return hl::platform::RegisterHandle(std::move(search));
}

template <class Data>
BOOL Next(HANDLE handle, Data* data) {
  auto search = hl::platform::LookupHandleAs<FindObject>(handle);
  if (!search) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (search->next >= search->entries.size()) return Fail(ERROR_NO_MORE_FILES, FALSE);
  Fill(search->entries[search->next++], data);
  return TRUE;
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  return First("FindFirstFileA", lpFileName, lpFindFileData);
}

HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  return First("FindFirstFileW", hl::platform::Utf16ToUtf8(lpFileName), lpFindFileData);
}

BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) { return Next(hFindFile, lpFindFileData); }

BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) { return Next(hFindFile, lpFindFileData); }

BOOL FindClose(HANDLE hFindFile) {
  if (!hl::platform::LookupHandleAs<FindObject>(hFindFile)) return Fail(ERROR_INVALID_HANDLE, FALSE);
  hl::platform::ReleaseHandle(hFindFile);
  return TRUE;
}
