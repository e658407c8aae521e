// Pieces shared by the plain and the resumable downloads (not for other callers).
#pragma once

#include <optional>
#include <string>

#include "transport/download.h"

namespace hl::transport {

std::string NarrowText(const WCHAR* text);
WString WideText(const std::string& text);

// "Range: bytes=<from>-<to>".
WString RangeHeader(DWORD from, DWORD to);
// Content-Length as a number: 0 when the header is missing; false for other query failures.
bool QueryContentLength(HINTERNET request, DWORD& length, DWORD& error);
// The size of a file on disk; nullopt when it cannot be opened.
std::optional<ULONGLONG> FileSizeOf(const WString& path);
// Reads a whole file into memory (the data of a GET_DATA answer); nullopt when not readable.
std::optional<std::string> LoadDatafromFile(const WString& path);
// True when `path` has a ".." segment: a path built from server data may not climb out of its folder.
bool HasParentSegment(const std::string& path);
// True for a relative folder that stays below its base: no drive, no leading separator, no "..".
bool IsContainedFolder(const std::string& folder);
// "yymmdd" and "hhmmss" of the local time.
std::string LocalDateText();
std::string LocalTimeText();
// Milliseconds and seconds since 1970-01-01 UTC.
ULONGLONG NowMilliseconds();
long long GetTimeInSeconds();

// Who holds a resumable download's in-progress mark: "<process id>:<creation time as FILETIME>".
std::string CurrentDownloadOwner();
enum class DownloadOwnerState {
  kUnknown,  // not an owner text: the mark is judged by its age alone
  kRunning,  // the owner runs (or cannot be asked)
  kGone,     // the owner process has ended: its mark is stale
};
DownloadOwnerState GetDownloadOwnerState(const std::string& owner);

// DownloadMode from the agent's settings key; 0 when missing.
DWORD ReadDownloadMode();
// True for a URL naming an XML or JSON document, which is never resumed.
bool IsDocumentUrl(const WCHAR* urlPath);
// The plain variants' temporary file: in the temporary folder for data, beside the destination for files.
WString TemporaryPath(const DownloadSettings& settings, const DownloadTarget& target);
int ResumeGetRequestByBitrate(DownloadSettings& settings, const DownloadTarget& target,
                              std::optional<std::string>* data);

// The last byte asked for by a paced block (unsigned: a block size of 0 asks for everything).
DWORD PacedBlockEnd(DWORD received, DWORD blockSize, DWORD contentLength);
// Waits out the rest of a paced block's 600 ms (100 ms when the block took 450 ms or more).
void PaceAfterBlock(ULONGLONG startedMs);

struct AccessLogRow {
  std::string startText;     // "\n <date>\t\t<time>\t"
  std::string url;           // UTF-8
  int requestType = DOWNLOAD_FILE;
  DWORD contentLength = 0;
  long result = 0;
  DWORD bytesReceived = 0;
  std::string serverName;
  int port = 0;
};
std::string AccessLogStartText();
// Appends the row to the success or failure access log under `agentInstallDir`.
void PrintHTTPAccessLog(const std::string& agentInstallDir, const AccessLogRow& row);

}  // namespace hl::transport
