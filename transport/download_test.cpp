// Downloads against the loopback peers: the plain GET's results (data, files, 304, a body
// without length), the hand-over to the resumable download, resuming from the registry
// record after a real interruption, the record's trust rules, the in-progress window, the
// access logs, refused paths and the folder helpers; the in-progress mark of a process that no
// longer runs; plain and resumed downloads from nginx through the authenticating proxy.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "agent/registry/registry.h"
#include "transport/download.h"
#include "transport/download_internal.h"
#include "transport/transport_test_support.h"

namespace hl::test {
namespace {

using hl::transport::DownloadSettings;
using hl::transport::DownloadTarget;

std::string Pattern(size_t size) {
  std::string out(size, '\0');
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>(i % 251);
  return out;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Key(const std::string& sub = "") { return std::string(kFileMetaDataKey) + sub; }

void SetDword(const std::string& key, const char* name, DWORD value) {
  RegistryKey k;
  ASSERT_EQ(k.Create(HKEY_LOCAL_MACHINE, key.c_str()), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(k.handle(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
            ERROR_SUCCESS);
}

void SetText(const std::string& key, const char* name, const std::string& value) {
  RegistryKey k;
  ASSERT_EQ(k.Create(HKEY_LOCAL_MACHINE, key.c_str()), ERROR_SUCCESS);
  ASSERT_EQ(k.SetValue(name, value.c_str()), ERROR_SUCCESS);
}

std::optional<DWORD> GetDword(const std::string& key, const char* name) {
  DWORD value = 0;
  if (ReadDwordRegistryData(HKEY_LOCAL_MACHINE, key.c_str(), name, &value) != ERROR_SUCCESS) return std::nullopt;
  return value;
}

std::optional<std::string> GetText(const std::string& key, const char* name) {
  std::optional<std::string> out;
  ReadRegSZ(HKEY_LOCAL_MACHINE, key.c_str(), name, out);
  return out;
}

bool KeyExists(const std::string& key) {
  RegistryKey k;
  return k.Open(HKEY_LOCAL_MACHINE, key.c_str(), KEY_READ) == ERROR_SUCCESS;
}

class DownloadTest : public TransportTest {
 protected:
  void SetUp() override {
    TransportTest::SetUp();
    settings_.transport = TransportTest::settings_;
    settings_.agentInstallDir = "C:\\HL\\";
    settings_.tempDir = "C:\\Temp";
    std::filesystem::create_directories(machine_.root() / "drive_c" / "Temp");
  }
  std::filesystem::path Host(const std::string& relative) const { return machine_.root() / "drive_c" / relative; }

  // GET of `path` on the scriptable server (or `port`) into C:\HL\out\<dest>.
  int Get(const std::string& path, int type, std::optional<std::string>* data = nullptr, bool resume = false,
          const std::string& dest = "file.bin", int port = 0, bool paced = false) {
    url_ = Widen(path);
    dest_ = Widen("C:\\HL\\out\\" + dest);
    DownloadTarget t;
    t.serverName = WSTR("127.0.0.1");
    t.port = port ? port : server_->port();
    t.urlPath = url_.c_str();
    t.destFilePath = dest_.c_str();
    t.requestType = type;
    if (paced) return hl::transport::InternetGetRequestByBitrate(settings_, t, data);
    return resume ? hl::transport::ResumeGetRequestEx(settings_, t, data)
                  : hl::transport::InternetGetRequestEx(settings_, t, data);
  }
  std::vector<std::string> RangesSent() const {
    std::vector<std::string> out;
    for (const auto& r : server_->Records()) out.push_back(RecordHeader(r, "Range"));
    return out;
  }
  // A record as an earlier run leaves it: the URL's id, the subkey and `partial` on disk.
  void SeedRecord(const std::string& url, const std::string& lastModified, const std::string& partial,
                  DWORD recordedSize) {
    SetText(Key(), url.c_str(), "4242");
    SetText(Key("4242"), "LastModifiedTime", lastModified);
    SetDword(Key("4242"), "PartialFileSize", recordedSize);
    SetText(Key("4242"), "LastRetryTime", "1000");
    machine_.WriteFile("drive_c/HL/DownloadRepository/4242", partial);
  }

  DownloadSettings settings_;
  std::u16string url_, dest_;
};

constexpr char kServerDate[] = "Wed, 21 Oct 2015 07:28:00 GMT";

TEST_F(DownloadTest, PlainGetHandsBackDataAndFilesAndRefusesShortOrUnchangedAnswers) {
  std::optional<std::string> data;
  EXPECT_EQ(Get("/ok?body=payload", GET_DATA, &data), 0);
  EXPECT_EQ(data, "payload");
  EXPECT_TRUE(std::filesystem::is_empty(Host("Temp"))) << "temporary data file left behind";

  EXPECT_EQ(Get("/range?size=70000", DOWNLOAD_FILE), 0);
  EXPECT_EQ(ReadAll(Host("HL/out/file.bin")), Pattern(70000));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Host("HL/out")), {}), 1) << "temporary file kept";

  // Without Content-Length the length counts as 0: a non-empty body came short.
  std::optional<std::string> none;
  EXPECT_EQ(Get("/nolength?size=100", GET_DATA, &none), kFileCameShort);
  EXPECT_FALSE(none.has_value());
  EXPECT_TRUE(log_.Has("[INFO] InternetGetRequestEx : Only partial file downloaded. GetFileSize returns :  100"));

  machine_.WriteFile("drive_c/HL/out/kept.bin", "old content");
  EXPECT_EQ(Get("/status/304", DOWNLOAD_FILE, nullptr, false, "kept.bin"), kNotModified);
  EXPECT_EQ(ReadAll(Host("HL/out/kept.bin")), "old content");
  EXPECT_EQ(Get("/status/404", DOWNLOAD_FILE, nullptr, false, "kept.bin"), 404);
  EXPECT_EQ(ReadAll(Host("HL/out/kept.bin")), "old content");
  EXPECT_TRUE(log_.Has("[ERROR] InternetGetRequestEx : Failed with the http status code, 404 "));
}

TEST_F(DownloadTest, DownloadModeOneResumesFilesButNeverDocuments) {
  SetDword(kAgentSettingsKey, "DownloadMode", 1);
  EXPECT_EQ(Get("/resumable?size=5000&name=list.xml", DOWNLOAD_FILE), 0);
  EXPECT_FALSE(KeyExists(Key())) << "an XML document went through the resumable download";
  EXPECT_EQ(ReadAll(Host("HL/out/file.bin")), Pattern(5000));

  std::optional<std::string> data;
  EXPECT_EQ(Get("/resumable?size=10", GET_DATA, &data), 0);
  EXPECT_FALSE(KeyExists(Key())) << "data requests are not resumed by InternetGetRequestEx";

  EXPECT_EQ(Get("/resumable?size=6000", DOWNLOAD_FILE, nullptr, false, "b.bin"), 0);
  EXPECT_EQ(ReadAll(Host("HL/out/b.bin")), Pattern(6000));
  EXPECT_EQ(GetDword(Key(), "DownloadCount"), 1u);
  EXPECT_EQ(GetText(Key(), "IntermediateRepositoryName"), "DownloadRepository\\");
  EXPECT_EQ(GetDword(Key(), "InterSaveByteLimit"), 1048576u);
  EXPECT_FALSE(GetText(Key(), "/resumable?size=6000").has_value()) << "record kept after completion";
  EXPECT_TRUE(std::filesystem::is_empty(Host("HL/DownloadRepository")));
  EXPECT_EQ(RangesSent().back(), "bytes=0-6000");
}

TEST_F(DownloadTest, InterruptedDownloadKeepsItsRecordAndResumesFromIt) {
  const DWORD size = 4 * 1048576 + 12345;
  const std::string url = "/resumable?size=" + std::to_string(size) + "&cut=3145728&cuts=2";
  int first = Get(url, DOWNLOAD_FILE, nullptr, true);
  EXPECT_NE(first, 0);
  EXPECT_FALSE(std::filesystem::exists(Host("HL/out/file.bin"))) << "a short file was handed on";
  std::optional<std::string> id = GetText(Key(), url.c_str());
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(GetDword(Key(*id), "PartialFileSize"), 3145728u);
  EXPECT_EQ(GetText(Key(*id), "LastModifiedTime"), kServerDate);
  EXPECT_EQ(GetDword(Key(*id), "RetryCount"), 1u);
  EXPECT_EQ(GetDword(Key(), "DownloadFailureCount"), 1u);
  EXPECT_EQ(ReadAll(Host("HL/DownloadRepository/" + *id)), Pattern(3145728));
  EXPECT_NE(ReadAll(Host("HL/logs/downloadFailureAccess.log")).find(url), std::string::npos);

  server_->ClearRecords();
  EXPECT_EQ(Get(url, DOWNLOAD_FILE, nullptr, true), 0);
  std::vector<std::string> ranges = RangesSent();
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[0], "") << "the first request only learns the headers";
  EXPECT_EQ(ranges[1], "bytes=3145728-" + std::to_string(size));
  EXPECT_EQ(ReadAll(Host("HL/out/file.bin")), Pattern(size));
  EXPECT_FALSE(GetText(Key(), url.c_str()).has_value());
  EXPECT_FALSE(KeyExists(Key(*id)));
  EXPECT_FALSE(std::filesystem::exists(Host("HL/DownloadRepository/" + *id)));
  EXPECT_EQ(GetDword(Key(), "DownloadCount"), 2u);
}

TEST_F(DownloadTest, RecordIsTrustedOnlyWhenDateAndSizeAgree) {
  const std::string url = "/resumable?size=50000";
  // Changed Last-Modified: the partial bytes are discarded and the download starts at 0.
  SeedRecord(url, "Tue, 20 Oct 2015 07:28:00 GMT", std::string(20000, 'x'), 20000);
  EXPECT_EQ(Get(url, DOWNLOAD_FILE, nullptr, true), 0);
  EXPECT_EQ(RangesSent().back(), "bytes=0-50000");
  EXPECT_EQ(ReadAll(Host("HL/out/file.bin")), Pattern(50000));

  // Same date but a file size other than recorded: discarded too.
  server_->ClearRecords();
  SeedRecord(url, kServerDate, std::string(100, 'x'), 20000);
  EXPECT_EQ(Get(url, DOWNLOAD_FILE, nullptr, true), 0);
  EXPECT_EQ(RangesSent().back(), "bytes=0-50000");
  EXPECT_EQ(ReadAll(Host("HL/out/file.bin")), Pattern(50000));

  // Same date (any case) and size: resumed from the recorded size.
  server_->ClearRecords();
  SeedRecord(url, "WED, 21 OCT 2015 07:28:00 GMT", Pattern(20000), 20000);
  EXPECT_EQ(Get(url, DOWNLOAD_FILE, nullptr, true), 0);
  EXPECT_EQ(RangesSent().back(), "bytes=20000-50000");
  EXPECT_EQ(ReadAll(Host("HL/out/file.bin")), Pattern(50000));

  // Every byte already saved: copied without another GET.
  server_->ClearRecords();
  SeedRecord(url, kServerDate, Pattern(50000), 50000);
  EXPECT_EQ(Get(url, DOWNLOAD_FILE, nullptr, true, "full.bin"), 0);
  EXPECT_EQ(server_->Records().size(), 1u);
  EXPECT_EQ(ReadAll(Host("HL/out/full.bin")), Pattern(50000));
  EXPECT_TRUE(log_.Has("[ERROR] @@@@@@@@ End Of ResumeGetRequestEx Method @@@@@@@@ Full File already exist"));
  EXPECT_FALSE(GetText(Key(), url.c_str()).has_value());
}

TEST_F(DownloadTest, WholeAnswerToARangedRequestReplacesThePartialFile) {
  const std::string url = "/resumable?size=30000&whole=1";
  SeedRecord(url, kServerDate, Pattern(10000), 10000);
  EXPECT_EQ(Get(url, DOWNLOAD_FILE, nullptr, true), 0);
  EXPECT_EQ(RangesSent().back(), "bytes=10000-30000");
  EXPECT_EQ(ReadAll(Host("HL/out/file.bin")), Pattern(30000)) << "the whole answer was appended to the part";
}

TEST_F(DownloadTest, InProgressMarkSeparatesConcurrentRunsAndExpiresAfterNinetyMinutes) {
  const std::string url = "/resumable?size=40000";
  SeedRecord(url, kServerDate, Pattern(10000), 10000);
  SetDword(Key("4242"), "downloadInProgress", 1);
  SetText(Key("4242"), "LastRetryTime", std::to_string(hl::transport::NowMilliseconds() - 60000));
  EXPECT_EQ(Get(url, DOWNLOAD_FILE, nullptr, true), 0);
  EXPECT_EQ(RangesSent().back(), "bytes=0-40000") << "a running download's partial file was taken";
  EXPECT_EQ(ReadAll(Host("HL/out/file.bin")), Pattern(40000));
  EXPECT_EQ(GetText(Key(), url.c_str()), "4242") << "the separate run took the other run's record";
  EXPECT_EQ(GetDword(Key("4242"), "PartialFileSize"), 10000u);
  EXPECT_EQ(ReadAll(Host("HL/DownloadRepository/4242")), Pattern(10000));
  EXPECT_TRUE(log_.Has("[INFO] Another download in progress - hence procedding for temporary download"));

  server_->ClearRecords();
  SetDword(Key("4242"), "downloadInProgress", 1);
  SetText(Key("4242"), "LastRetryTime", std::to_string(hl::transport::NowMilliseconds() - 5400000 - 1000));
  EXPECT_EQ(Get(url, DOWNLOAD_FILE, nullptr, true, "second.bin"), 0);
  EXPECT_EQ(RangesSent().back(), "bytes=0-40000");
  EXPECT_FALSE(KeyExists(Key("4242"))) << "a stale record was not cleaned";
  EXPECT_FALSE(std::filesystem::exists(Host("HL/DownloadRepository/4242")));
  EXPECT_EQ(ReadAll(Host("HL/out/second.bin")), Pattern(40000));
}

// "<pid>:<creation time>" of a process, as the mark's owner value holds it.
std::string OwnerOf(pid_t pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return "";
  FILETIME creation{}, exit{}, kernel{}, user{};
  GetProcessTimes(process, &creation, &exit, &kernel, &user);
  CloseHandle(process);
  ULONGLONG value = (static_cast<ULONGLONG>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
  return std::to_string(pid) + ":" + std::to_string(value);
}

// A child that sleeps until killed.
pid_t StartSleeper() {
  pid_t pid = fork();
  if (pid == 0) {
    for (;;) pause();
  }
  return pid;
}

TEST_F(DownloadTest, MarkOfAProcessThatNoLongerRunsIsTakenOverAndTheDownloadResumes) {
  const std::string url = "/resumable?size=40000&t=stale";
  const std::string fresh = std::to_string(hl::transport::NowMilliseconds() - 1000);
  // The owner was killed and reaped: its mark is stale although it is only a second old.
  pid_t dead = StartSleeper();
  ASSERT_GT(dead, 0);
  std::string deadOwner = OwnerOf(dead);
  ASSERT_FALSE(deadOwner.empty());
  kill(dead, SIGKILL);
  waitpid(dead, nullptr, 0);
  SeedRecord(url, kServerDate, Pattern(10000), 10000);
  SetDword(Key("4242"), "downloadInProgress", 1);
  SetText(Key("4242"), "downloadOwner", deadOwner);
  SetText(Key("4242"), "LastRetryTime", fresh);
  EXPECT_EQ(Get(url, DOWNLOAD_FILE, nullptr, true), 0);
  EXPECT_EQ(RangesSent().back(), "bytes=10000-40000") << "the partial file of a killed run was not resumed";
  EXPECT_EQ(ReadAll(Host("HL/out/file.bin")), Pattern(40000));
  EXPECT_TRUE(log_.Has("[INFO] GetFileDataFromRegistry - download in progress flag left by a process that no longer "
                       "runs; resuming"));
  EXPECT_FALSE(log_.Has("Another download in progress"));
  EXPECT_FALSE(KeyExists(Key("4242")));

  // The owner's id now names another process (here: this one, created at another time).
  server_->ClearRecords();
  SeedRecord(url, kServerDate, Pattern(10000), 10000);
  SetDword(Key("4242"), "downloadInProgress", 1);
  SetText(Key("4242"), "downloadOwner", std::to_string(getpid()) + ":12345");
  SetText(Key("4242"), "LastRetryTime", fresh);
  EXPECT_EQ(Get(url, DOWNLOAD_FILE, nullptr, true, "reused.bin"), 0);
  EXPECT_EQ(RangesSent().back(), "bytes=10000-40000") << "a reused process id kept the mark alive";
  EXPECT_EQ(ReadAll(Host("HL/out/reused.bin")), Pattern(40000));
}

TEST_F(DownloadTest, MarkOfARunningOwnerOrWithoutAKnownOwnerKeepsTheNinetyMinuteRule) {
  const std::string url = "/resumable?size=30000&t=live";
  const std::string fresh = std::to_string(hl::transport::NowMilliseconds() - 1000);
  pid_t live = StartSleeper();
  ASSERT_GT(live, 0);
  const std::vector<std::string> owners = {OwnerOf(live), OwnerOf(getpid()), "", "garbage", "0:5", "77:-1"};
  for (const std::string& owner : owners) {
    SCOPED_TRACE("owner \"" + owner + "\"");
    server_->ClearRecords();
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, Key("4242").c_str());
    SeedRecord(url, kServerDate, Pattern(10000), 10000);
    SetDword(Key("4242"), "downloadInProgress", 1);
    SetText(Key("4242"), "LastRetryTime", fresh);
    if (!owner.empty()) SetText(Key("4242"), "downloadOwner", owner);
    EXPECT_EQ(Get(url, DOWNLOAD_FILE, nullptr, true), 0);
    EXPECT_EQ(RangesSent().back(), "bytes=0-30000") << "a running download's partial file was taken";
    EXPECT_EQ(ReadAll(Host("HL/out/file.bin")), Pattern(30000));
    EXPECT_EQ(ReadAll(Host("HL/DownloadRepository/4242")), Pattern(10000)) << "the owner's partial file changed";
    EXPECT_EQ(GetDword(Key("4242"), "downloadInProgress"), 1u);
    EXPECT_EQ(GetText(Key("4242"), "downloadOwner"), owner.empty() ? std::nullopt : std::optional(owner));
  }
  kill(live, SIGKILL);
  waitpid(live, nullptr, 0);

  // A live owner's mark older than the window is cleaned as before.
  server_->ClearRecords();
  SeedRecord(url, kServerDate, Pattern(10000), 10000);
  SetDword(Key("4242"), "downloadInProgress", 1);
  SetText(Key("4242"), "downloadOwner", OwnerOf(getpid()));
  SetText(Key("4242"), "LastRetryTime", std::to_string(hl::transport::NowMilliseconds() - 5400000 - 1000));
  EXPECT_EQ(Get(url, DOWNLOAD_FILE, nullptr, true, "old.bin"), 0);
  EXPECT_EQ(RangesSent().back(), "bytes=0-30000");
  EXPECT_FALSE(KeyExists(Key("4242")));
}

TEST_F(DownloadTest, RunTakesTheMarkWithItsOwnerAndDropsBothWhenItEnds) {
  // The connection closes at byte 25000 twice: the run ends short and keeps its record.
  const std::string url = "/resumable?size=40000&cut=25000&cuts=2&t=owner";
  SeedRecord(url, kServerDate, Pattern(10000), 10000);
  EXPECT_NE(Get(url, DOWNLOAD_FILE, nullptr, true), 0);
  EXPECT_EQ(GetDword(Key("4242"), "PartialFileSize"), 25000u);
  EXPECT_FALSE(GetDword(Key("4242"), "downloadInProgress").has_value());
  EXPECT_FALSE(GetText(Key("4242"), "downloadOwner").has_value()) << "an ended run left its owner value";
}

TEST_F(DownloadTest, PartialFileLongerThanItsRecordIsCutBackAndResumed) {
  // A run stopped after writing its data but before recording it.
  const std::string url = "/resumable?size=50000&t=longer";
  std::string onDisk = Pattern(10000) + std::string(3000, 'z');
  SeedRecord(url, kServerDate, onDisk, 10000);
  EXPECT_EQ(Get(url, DOWNLOAD_FILE, nullptr, true), 0);
  EXPECT_EQ(RangesSent().back(), "bytes=10000-50000");
  EXPECT_EQ(ReadAll(Host("HL/out/file.bin")), Pattern(50000)) << "the unrecorded bytes stayed in the file";
}

TEST_F(DownloadTest, AccessLogsHaveTheirHeaderAndOneRowPerDownload) {
  EXPECT_EQ(Get("/resumable?size=64&x=/", DOWNLOAD_FILE, nullptr, true), 0);
  EXPECT_EQ(Get("/status/404", DOWNLOAD_FILE, nullptr, true), 404);
  std::string success = ReadAll(Host("HL/logs/downloadSuccessAccess.log"));
  std::string failure = ReadAll(Host("HL/logs/downloadFailureAccess.log"));
  const std::string header =
      "DATE\t\t\tSTART_TIME\t                         FILE_NAME\tMODE\t\t\t\tT_BYTES\tSTATUS\tRECEVD_BYTES\tEND_TIME\t"
      "SERVER_NAME\t\tPORT\tURL\n" + std::string(142, '-');
  EXPECT_EQ(header.size(), 262u);
  ASSERT_EQ(success.rfind(header, 0), 0u) << success;
  ASSERT_EQ(failure.rfind(header, 0), 0u) << failure;
  std::string row = success.substr(header.size());
  EXPECT_EQ(row.rfind("\n \n ", 0), 0u) << row;
  EXPECT_NE(row.find("\t                            --\tDownloadFile\t        64\t    0\t        64\t"), std::string::npos)
      << row;
  char port[16];
  std::snprintf(port, sizeof port, "%6d", server_->port());
  EXPECT_NE(row.find(std::string("\t      127.0.0.1\t") + port + "\t/resumable?size=64&x=/"), std::string::npos)
      << row;
  EXPECT_EQ(row.find('\n', 4), std::string::npos) << "one row, no line feed after it";
  EXPECT_NE(failure.find("\t                           404\tDownloadFile\t         0\t  404\t         0\t"),
            std::string::npos) << failure;

  EXPECT_EQ(Get("/resumable?size=7", DOWNLOAD_FILE, nullptr, true), 0);
  success = ReadAll(Host("HL/logs/downloadSuccessAccess.log"));
  EXPECT_EQ(success.find(header, 1), std::string::npos) << "header written twice";
  EXPECT_NE(success.find("\t              resumable?size=7\tDownloadFile"), std::string::npos) << success;
}

TEST_F(DownloadTest, PathsThatClimbOutOfTheirFolderAreRefused) {
  dest_ = WSTR("C:\\HL\\out\\..\\..\\Windows\\evil.bin");
  DownloadTarget t;
  t.serverName = WSTR("127.0.0.1");
  t.port = server_->port();
  t.urlPath = WSTR("/ok");
  t.destFilePath = dest_.c_str();
  EXPECT_EQ(hl::transport::InternetGetRequestEx(settings_, t, nullptr), 13);
  EXPECT_EQ(hl::transport::ResumeGetRequestEx(settings_, t, nullptr), 13);
  EXPECT_TRUE(server_->Records().empty());
  EXPECT_FALSE(std::filesystem::exists(Host("Windows")));

  SetText(Key(), "IntermediateRepositoryName", "..\\..\\Outside\\");
  EXPECT_EQ(Get("/resumable?size=100", DOWNLOAD_FILE, nullptr, true), 0);
  EXPECT_FALSE(std::filesystem::exists(machine_.root() / "Outside"));
  EXPECT_TRUE(std::filesystem::exists(Host("HL/DownloadRepository")));
  EXPECT_EQ(ReadAll(Host("HL/out/file.bin")), Pattern(100));
}

TEST_F(DownloadTest, PacedDownloadAsksForBlocksOfTheConfiguredRate) {
  settings_.dataTransferRateKBps = 20;  // blocks of 10000 bytes
  EXPECT_EQ(Get("/resumable?size=25000", DOWNLOAD_FILE, nullptr, false, "paced.bin", 0, true), 0);
  EXPECT_EQ(ReadAll(Host("HL/out/paced.bin")), Pattern(25000));
  std::vector<std::string> ranges = RangesSent();
  EXPECT_EQ(ranges, (std::vector<std::string>{"", "bytes=0-9999", "bytes=10000-19999", "bytes=20000-25000"}));
  EXPECT_EQ(server_->Records()[0]["method"], "HEAD");
  EXPECT_TRUE(log_.Has("[DEBUG] InternetGetRequestByBitrate: Block of bytes to read: 10000"));

  // Rate 0: the whole file in one range.
  server_->ClearRecords();
  settings_.dataTransferRateKBps = 0;
  std::optional<std::string> data;
  EXPECT_EQ(Get("/resumable?size=3000", GET_DATA, &data, false, "", 0, true), 0);
  EXPECT_EQ(data, Pattern(3000));
  EXPECT_EQ(RangesSent(), (std::vector<std::string>{"", "bytes=0-3000"}));

  // A server ignoring ranges: the file is not made of repeated starts.
  server_->ClearRecords();
  settings_.dataTransferRateKBps = 20;
  EXPECT_EQ(Get("/resumable?size=25000&whole=1", DOWNLOAD_FILE, nullptr, false, "whole.bin", 0, true), 0);
  EXPECT_EQ(ReadAll(Host("HL/out/whole.bin")), Pattern(25000));

  EXPECT_EQ(Get("/status/304", DOWNLOAD_FILE, nullptr, false, "none.bin", 0, true), kNotModified);
  EXPECT_EQ(Get("/nolength?size=10", DOWNLOAD_FILE, nullptr, false, "none.bin", 0, true),
            static_cast<int>(ERROR_WINHTTP_HEADER_NOT_FOUND));
  EXPECT_FALSE(std::filesystem::exists(Host("HL/out/none.bin")));
}

TEST_F(DownloadTest, PacedResumableDownloadKeepsItsRecordBetweenBlocks) {
  SetDword(kAgentSettingsKey, "DownloadMode", 1);
  settings_.dataTransferRateKBps = 40;  // blocks of 20000 bytes
  const std::string url = "/resumable?size=50000";
  SeedRecord(url, kServerDate, Pattern(10000), 10000);
  EXPECT_EQ(Get(url, DOWNLOAD_FILE, nullptr, false, "file.bin", 0, true), 0);
  EXPECT_EQ(RangesSent(), (std::vector<std::string>{"", "bytes=10000-29999", "bytes=30000-49999"}));
  EXPECT_EQ(ReadAll(Host("HL/out/file.bin")), Pattern(50000));
  EXPECT_FALSE(GetText(Key(), url.c_str()).has_value());
  EXPECT_TRUE(log_.Has("[DEBUG] ResumeGetRequestByBitrate: Block of bytes to read: 20000"));
}

// Files served by nginx, fetched through squid with Basic credentials.
class ProxyDownloadTest : public DownloadTest {
 protected:
  // The shared proxy of this test program: the same credentials as the upload tests.
  static constexpr const char* kUser = "agentuser";
  static constexpr const char* kPassword = "S3cret!pw";

  void SetUp() override {
    DownloadTest::SetUp();
    nginx_ = SharedNginx();
    ASSERT_NE(nginx_, nullptr);
    proxy_ = SharedProxy(kUser, kPassword);
    ASSERT_NE(proxy_, nullptr);
    proxyServer_ = Widen("127.0.0.1:" + std::to_string(proxy_->port()));
  }
  // Serves Pattern(size) at `path` with Last-Modified kServerDate.
  void Serve(const std::string& path, size_t size) {
    std::filesystem::path file = nginx_->root() / path.substr(1);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << Pattern(size);
    // Wed, 21 Oct 2015 07:28:00 GMT
    std::chrono::sys_seconds when = std::chrono::sys_days{std::chrono::year{2015} / 10 / 21} +
                                    std::chrono::hours(7) + std::chrono::minutes(28);
    std::filesystem::last_write_time(file, std::chrono::file_clock::from_sys(when));
  }
  int Fetch(const std::string& path, const std::string& dest, bool resume, const char* password = kPassword) {
    url_ = Widen(path);
    dest_ = Widen("C:\\HL\\out\\" + dest);
    user_ = Widen(kUser);
    password_ = Widen(password);
    DownloadTarget t;
    t.proxyFlag = 1;
    t.serverName = WSTR("127.0.0.1");
    t.port = nginx_->httpPort();
    t.proxyServerName = proxyServer_.c_str();
    t.proxyBypass = WSTR("");
    t.proxyUserName = user_.c_str();
    t.proxyPassword = password_.c_str();
    t.urlPath = url_.c_str();
    t.destFilePath = dest_.c_str();
    return resume ? hl::transport::ResumeGetRequestEx(settings_, t, nullptr)
                  : hl::transport::InternetGetRequestEx(settings_, t, nullptr);
  }
  // nginx's log lines for `path`: "<status> <Via header>" (the header is "-" without a proxy).
  std::vector<std::string> Served(const std::string& path, const std::filesystem::path& log) const {
    std::vector<std::string> out;
    std::istringstream lines(ReadAll(log));
    for (std::string line; std::getline(lines, line);)
      if (line.rfind("GET " + path + " ", 0) == 0) out.push_back(line.substr(5 + path.size()));
    return out;
  }

  NginxPeer* nginx_ = nullptr;
  ProxyPeer* proxy_ = nullptr;
  std::u16string proxyServer_, user_, password_;
};

TEST_F(ProxyDownloadTest, PlainAndResumedDownloadsGoThroughTheProxyWithItsCredentials) {
  Serve("/proxied/plain.bin", 300000);
  EXPECT_EQ(Fetch("/proxied/plain.bin", "plain.bin", false), 0);
  EXPECT_EQ(ReadAll(Host("HL/out/plain.bin")), Pattern(300000));
  std::vector<std::string> via = Served("/proxied/plain.bin", nginx_->viaLog());
  ASSERT_EQ(via.size(), 1u);
  EXPECT_EQ(via[0].rfind("200 \"", 0), 0u) << via[0];
  EXPECT_EQ(via[0].find("\"-\""), std::string::npos) << "the download did not go through the proxy: " << via[0];

  // A partial file recorded by an earlier run: the proxy passes the range on and its answer.
  const std::string url = "/proxied/resumed.bin";
  Serve(url, 300000);
  SeedRecord(url, kServerDate, Pattern(120000), 120000);
  EXPECT_EQ(Fetch(url, "resumed.bin", true), 0);
  EXPECT_EQ(ReadAll(Host("HL/out/resumed.bin")), Pattern(300000)) << "the resumed file is not the served one";
  std::vector<std::string> ranges = Served(url, nginx_->rangesLog());
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[1], "206 \"bytes=120000-300000\"") << "the range did not reach the server";
  for (const std::string& line : Served(url, nginx_->viaLog()))
    EXPECT_EQ(line.find("\"-\""), std::string::npos) << "not through the proxy: " << line;
  EXPECT_FALSE(GetText(Key(), url.c_str()).has_value());
}

TEST_F(ProxyDownloadTest, WrongProxyPasswordEndsEveryDownloadWith407AndKeepsThePartialFile) {
  Serve("/proxied/refused.bin", 5000);
  EXPECT_EQ(Fetch("/proxied/refused.bin", "refused.bin", false, "wrongpass"), 407);
  EXPECT_FALSE(std::filesystem::exists(Host("HL/out/refused.bin")));

  const std::string url = "/proxied/refused-resume.bin";
  Serve(url, 5000);
  SeedRecord(url, kServerDate, Pattern(2000), 2000);
  EXPECT_EQ(Fetch(url, "refused.bin", true, "wrongpass"), 407);
  EXPECT_FALSE(std::filesystem::exists(Host("HL/out/refused.bin")));
  EXPECT_TRUE(log_.Has("[ERROR] PreDownloadHandling: ERROR in GetInternetRequestHandle - 407"));
  EXPECT_EQ(GetDword(Key("4242"), "PartialFileSize"), 2000u) << "a refused run touched the record";
  EXPECT_EQ(ReadAll(Host("HL/DownloadRepository/4242")), Pattern(2000));
  EXPECT_NE(ReadAll(Host("HL/logs/downloadFailureAccess.log")).find(url), std::string::npos);
  EXPECT_TRUE(Served("/proxied/refused.bin", nginx_->viaLog()).empty()) << "the proxy let a refused request through";

  // The right password afterwards: the record is still good and resumed.
  EXPECT_EQ(Fetch(url, "refused.bin", true), 0);
  EXPECT_EQ(ReadAll(Host("HL/out/refused.bin")), Pattern(5000));
  EXPECT_EQ(Served(url, nginx_->rangesLog()).back(), "206 \"bytes=2000-5000\"");
}

TEST(DownloadFolders, CreateFolderAndLastNames) {
  TempMachine machine;
  EXPECT_EQ(CreateFolder(nullptr), 13);
  EXPECT_EQ(CreateFolder(WSTR("C:\\")), 183);
  EXPECT_EQ(CreateFolder(WSTR("C:\\file.txt")), 183);
  EXPECT_EQ(CreateFolder(WSTR("C:\\a\\b\\c\\file.txt")), 0);
  EXPECT_TRUE(std::filesystem::is_directory(machine.root() / "drive_c" / "a" / "b" / "c"));
  EXPECT_FALSE(std::filesystem::exists(machine.root() / "drive_c" / "a" / "b" / "c" / "file.txt"));
  EXPECT_EQ(CreateFolder(WSTR("C:\\a\\b\\c\\other.txt")), 0) << "an existing folder is success";
  EXPECT_EQ(GetLastUrlFileName("/x/y/setup.exe"), "setup.exe");
  EXPECT_EQ(GetLastUrlFileName("/x/y/"), "");
  EXPECT_EQ(GetLastFileName("C:\\a\\b.txt"), "b.txt");
  EXPECT_EQ(GetLastFileName("plain"), "plain");
}

}  // namespace
}  // namespace hl::test
