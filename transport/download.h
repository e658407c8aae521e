// File and data downloads with GET: the plain variant reading the whole answer at once, and
// the resumable one that keeps a registry record per URL so that an interrupted file continues
// where it stopped. Results: 0, 90001 (not modified), 707 (file came short), 6 (data file not
// readable back), an HTTP status, or a WinHTTP or system error code.
#pragma once

#include <optional>
#include <string>

#include "transport/transport_settings.h"

// Registry key of the resumable downloads' records (under HKEY_LOCAL_MACHINE).
inline constexpr char kFileMetaDataKey[] = "Software\\Corvanta\\Harborline\\HLAgent\\FileMetaData\\";
inline constexpr char kAgentSettingsKey[] = "Software\\Corvanta\\Harborline\\HLAgent\\Settings";
inline constexpr int kNotModified = 90001;
inline constexpr int kFileCameShort = 707;

int InternetGetRequestEx(int proxyFlag, const char* protocol, const WCHAR* serverName, int port,
                         const WCHAR* proxyServerName, const WCHAR* proxyBypass, const WCHAR* proxyUserName,
                         const WCHAR* proxyPassword, const WCHAR* urlPath, const WCHAR* destFilePath,
                         std::optional<std::string>* data, int requestType, BYTE keepAlive);

int InternetGetRequestByBitrate(int proxyFlag, const char* protocol, const WCHAR* serverName, int port,
                                const WCHAR* proxyServerName, const WCHAR* proxyBypass, const WCHAR* proxyUserName,
                                const WCHAR* proxyPassword, const WCHAR* urlPath, const WCHAR* destFilePath,
                                std::optional<std::string>* data, int requestType, BYTE keepAlive);

// Creates the folder that will hold `path` (the path without its last part). 0, 183 for a drive, 13 without a path.
int CreateFolder(const WCHAR* path);
// The part of a URL after its last "/", of a path after its last backslash.
std::string GetLastUrlFileName(const char* url);
std::string GetLastFileName(const char* path);

namespace hl::transport {

// What the downloads take from the agent configuration besides the request settings.
struct DownloadSettings {
  TransportSettings transport;
  std::string tempDir;           // GET_DATA temporary files
  std::string agentInstallDir;   // with its trailing backslash
  DWORD dataTransferRateKBps = 0;
};

DownloadSettings CurrentDownloadSettings();

// One download's target.
struct DownloadTarget {
  int proxyFlag = 0;
  const char* protocol = "http";
  const WCHAR* serverName = nullptr;
  int port = 80;
  const WCHAR* proxyServerName = nullptr;
  const WCHAR* proxyBypass = nullptr;
  const WCHAR* proxyUserName = nullptr;
  const WCHAR* proxyPassword = nullptr;
  const WCHAR* urlPath = nullptr;
  const WCHAR* destFilePath = nullptr;
  int requestType = DOWNLOAD_FILE;
  BYTE keepAlive = 1;
};

int InternetGetRequestEx(DownloadSettings& settings, const DownloadTarget& target, std::optional<std::string>* data);
int InternetGetRequestByBitrate(DownloadSettings& settings, const DownloadTarget& target,
                                std::optional<std::string>* data);
int ResumeGetRequestEx(DownloadSettings& settings, const DownloadTarget& target, std::optional<std::string>* data);

}  // namespace hl::transport
