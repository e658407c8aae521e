// Uploads against the loopback server (and squid): buffers and streamed files, answers read
// whole, refusals, retries, and the proxy password kept out of every log.
#include <gtest/gtest.h>

#include <fstream>

#include "agent/config/agent_config.h"
#include "transport/transport_test_support.h"

namespace hl::test {
namespace {

class UploadTest : public TransportTest {
 protected:
  int PostData(const std::string& path, const char* data, std::optional<std::string>* response,
               int type = POST_DATA, DWORD postSize = 0, BYTE keepAlive = 1) {
    std::u16string url = Widen(path);
    return hl::transport::InternetSendRequestEx(settings_, 0, "http", WSTR("127.0.0.1"), server_->port(), nullptr,
                                                nullptr, nullptr, nullptr, url.c_str(), data, response, type,
                                                keepAlive, postSize);
  }
  int PostFile(const std::string& path, const char* file, std::optional<std::string>* response, DWORD chunk) {
    std::u16string url = Widen(path);
    return hl::transport::InternetSendRequestByBitRate(settings_, 0, "http", WSTR("127.0.0.1"), server_->port(),
                                                       nullptr, nullptr, nullptr, nullptr, url.c_str(), file,
                                                       response, chunk);
  }
};

TEST_F(UploadTest, BufferPostedWithTheAgentsHeadersAndAnswerRead) {
  std::optional<std::string> response;
  EXPECT_EQ(PostData("/upload", "name=value&x=1", &response), 0);
  ASSERT_TRUE(response);
  EXPECT_EQ(*response, "received 14");
  auto records = server_->Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["method"], "POST");
  EXPECT_EQ(records[0]["target"], "/upload");
  EXPECT_EQ(records[0]["body"], "name=value&x=1");
  EXPECT_EQ(RecordHeader(records[0], "User-Agent"), "HarborlineAgent");
  EXPECT_EQ(RecordHeader(records[0], "Connection"), "Keep-Alive");
  EXPECT_EQ(RecordHeader(records[0], "Pragma"), "no-cache");
  EXPECT_EQ(RecordHeader(records[0], "Content-Length"), "14");
  int types = 0;
  RecordHeader(records[0], "Content-Type", &types);
  EXPECT_EQ(types, 0);
  for (const char* line : {"[DEBUG] @@@@@@@@ Inside InternetSendRequestEx Method @@@@@@@@ ",
                           "[DEBUG] InternetSendRequestEx : dwPostSize: 14 ",
                           "[INFO] InternetSendRequestEx : Successfully posted the data to the server 127.0.0.1 ",
                           "[INFO] InternetSendRequestEx : Reading the response sent by the server 127.0.0.1 ",
                           "[DEBUG] InternetSendRequestEx :  No Of Bytes -> 11 ",
                           "[DEBUG] @@@@@@@@ End Of InternetSendRequestEx Method @@@@@@@@ "})
    EXPECT_TRUE(log_.Has(line)) << line << "\n" << log_.All();

  EXPECT_EQ(PostData("/upload", "a", nullptr, POST_DATA_NO_TIMEOUT, 0, 0), 0) << "no response wanted";
  EXPECT_EQ(log_.Count("[INFO] InternetSendRequestEx : Reading the response sent by the server 127.0.0.1 "), 1u);
  EXPECT_EQ(RecordHeader(server_->Records().at(1), "Connection"), "close");
}

TEST_F(UploadTest, AnswersInPiecesOrWithoutLengthAreReadWhole) {
  std::optional<std::string> response;
  ASSERT_EQ(PostData("/pieces?count=64&size=1000", "x", &response), 0);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->size(), 64000u);
  EXPECT_EQ(response->substr(0, 1000), std::string(1000, 'A'));
  EXPECT_EQ(response->substr(63000), std::string(1000, 'A' + 63 % 26));

  ASSERT_EQ(PostData("/nolength?size=70000", "x", &response), 0);
  ASSERT_TRUE(response);
  EXPECT_EQ(*response, std::string(70000, 'n'));
  ASSERT_EQ(PostData("/chunked?count=30&size=100", "x", &response), 0);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->size(), 3000u);

  EXPECT_EQ(PostData("/reset?size=100000&sent=5000", "x", &response), ERROR_WINHTTP_CONNECTION_ERROR)
      << "a body cut short is no success";
  EXPECT_FALSE(response);
}

TEST_F(UploadTest, RefusalsAndMissingData) {
  std::optional<std::string> response;
  EXPECT_EQ(PostData("/status/500", "x", &response), 500);
  EXPECT_FALSE(response) << "no buffer for a refused post";
  EXPECT_TRUE(log_.Has("[ERROR] InternetSendRequestEx : Failed to post the data to the server 127.0.0.1 with http "
                       "status code 500 "));
  EXPECT_EQ(PostData("/status/407", "x", &response), 407);
  EXPECT_TRUE(log_.Has("[ERROR] InternetSendRequestEx : Proxy Credentials are failed to authenticate 407 "));
  server_->ClearRecords();
  EXPECT_EQ(PostData("/upload", nullptr, &response), 13);
  EXPECT_TRUE(server_->Records().empty());
  EXPECT_EQ(log_.Count("[DEBUG] @@@@@@@@ End Of InternetSendRequestEx Method @@@@@@@@ "), 3u);
}

TEST_F(UploadTest, MultipartPostSizes) {
  std::optional<std::string> response;
  ASSERT_EQ(PostData("/upload", "abcdef", &response, POST_MULTIPART_DATA, 0), 0);
  EXPECT_EQ(*response, "received 6") << "post size 0: the data's text length";
  ASSERT_EQ(PostData("/upload", "ab\0cdef", &response, POST_MULTIPART_DATA, 4), 0);
  EXPECT_EQ(*response, "received 4");
  auto records = server_->Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(RecordHeader(records[0], "Content-Type"), "multipart/form-data");
  EXPECT_EQ(records[1]["body"], std::string("ab\0c", 4));
}

TEST_F(UploadTest, CancelledSendReopensTheRequestOnce) {
  WriteMachine({{"faults", {{"WinHttpSendRequest", {{"error", 12017}, {"times", 1}}}}}});
  std::optional<std::string> response;
  EXPECT_EQ(PostData("/upload", "once", &response), 0);
  EXPECT_EQ(server_->Records().size(), 1u);
  EXPECT_EQ(log_.Count("[INFO] InternetSendRequestEx : Going to close the request handle and going to resending the "
                       "data to the server 127.0.0.1 "),
            1u);

  WriteMachine({{"faults", {{"WinHttpSendRequest", {{"error", 12017}, {"times", 2}}}}}});
  EXPECT_EQ(PostData("/upload", "twice", &response), 12017);
  EXPECT_TRUE(log_.Has("[ERROR] InternetSendRequestEx :  Error in WinHttpSendRequest -> 12017 "));
  EXPECT_EQ(server_->Records().size(), 1u);

  WriteMachine({{"faults", {{"WinHttpReceiveResponse", {{"error", 12032}, {"times", 2}}}}}});
  EXPECT_EQ(PostData("/upload", "resent", &response), 0);
  EXPECT_EQ(log_.Count("[INFO] InternetSendRequestEx : Resending the data to the server 127.0.0.1 "), 2u);
  EXPECT_EQ(server_->Records().size(), 4u);
}

TEST_F(UploadTest, FileStreamedInChunks) {
  std::string content;
  for (int i = 0; i < 300000; ++i) content.push_back(static_cast<char>('a' + i % 23));
  machine_.WriteFile("drive_c/up/report.bin", content);
  std::optional<std::string> response;
  ASSERT_EQ(PostFile("/upload", "C:\\up\\report.bin", &response, 64 * 1024), 0);
  EXPECT_EQ(*response, "received 300000");
  auto records = server_->Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["body"], content);
  EXPECT_EQ(RecordHeader(records[0], "Content-Length"), "300000");
  EXPECT_EQ(RecordHeader(records[0], "Content-type"), "multipart/form-data; filesize=\"300000\"");
  EXPECT_EQ(RecordHeader(records[0], "Connection"), "Keep-Alive");
  EXPECT_EQ(RecordHeader(records[0], "User-Agent"), "HarborlineAgent");
  EXPECT_TRUE(log_.Has("[DEBUG] ***************** Inside InternetSendRequestByBitRate Method ***************** "));
  EXPECT_EQ(log_.Matching("InternetSendRequestByBitRate: Header buffer: Content-type: multipart/form-data; "
                          "filesize=\"300000\"").size(), 1u);

  // A resend sends the whole file again.
  WriteMachine({{"faults", {{"WinHttpReceiveResponse", {{"error", 12032}, {"times", 1}}}}}});
  server_->ClearRecords();
  ASSERT_EQ(PostFile("/upload", "C:\\up\\report.bin", nullptr, 7777), 0);
  records = server_->Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]["body"], content);
  EXPECT_EQ(records[1]["body"], content);
}

TEST_F(UploadTest, EmptyOrMissingFilesAreRefusedBeforeAnyConnection) {
  machine_.WriteFile("drive_c/up/empty.bin", "");
  std::optional<std::string> response;
  EXPECT_EQ(PostFile("/upload", "C:\\up\\empty.bin", &response, 1024), 13);
  EXPECT_TRUE(log_.Has("[ERROR] InternetSendRequestByBitRate: File Size is zero: 0"));
  EXPECT_EQ(PostFile("/upload", "C:\\up\\missing.bin", &response, 1024), 13);
  EXPECT_EQ(PostFile("/upload", nullptr, &response, 1024), 13);
  EXPECT_TRUE(server_->Records().empty()) << "the server saw nothing";
  EXPECT_EQ(log_.Count("[DEBUG] ***************** End Of InternetSendRequestByBitRate Method ***************** "), 3u);

  machine_.WriteFile("drive_c/up/ten.bin", "0123456789");
  ULONGLONG size = 99;
  EXPECT_TRUE(GetFileSize64("C:\\up\\ten.bin", size));
  EXPECT_EQ(size, 10u);
  EXPECT_FALSE(GetFileSize64("C:\\up\\none.bin", size));
  EXPECT_EQ(size, 0u);
}

// The proxy paths at TRACE level: the password appears in no log in any form.
class ProxyPasswordTest : public UploadTest {
 protected:
  void SetUp() override {
    UploadTest::SetUp();
    proxy_ = SharedProxy(kUser, kPassword);
    ASSERT_NE(proxy_, nullptr);
  }
  void TearDown() override { hl::ResetAgentConfig(); }
  static constexpr const char* kUser = "agentuser";
  static constexpr const char* kPassword = "S3cret!pw";
  ProxyPeer* proxy_ = nullptr;
};

std::string Base64(const std::string& in) {
  static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
    if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
    out += table[(v >> 18) & 63];
    out += table[(v >> 12) & 63];
    out += i + 1 < in.size() ? table[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? table[v & 63] : '=';
  }
  return out;
}

TEST_F(ProxyPasswordTest, ProxyPathsWorkAndNeverLogThePassword) {
  gv_proxyEnabled = "yes";
  gv_proxyServerName = "127.0.0.1:" + std::to_string(proxy_->port());
  gv_proxyUserName = kUser;
  gv_proxyPassword = kPassword;
  gv_proxyByPass = "other.test";
  hl::transport::ProxySettings proxy = hl::transport::CurrentProxySettings();
  ASSERT_TRUE(proxy.enabled);
  EXPECT_EQ(NarrowAscii(proxy.password), kPassword);

  std::u16string url = WSTR("/upload");
  HttpRequestHandles h;
  EXPECT_EQ(hl::transport::GetInternetRequestHandle(settings_, 1, "http", WSTR("127.0.0.1"), server_->port(),
                                                    proxy.server.c_str(), proxy.bypass.c_str(), proxy.user.c_str(),
                                                    proxy.password.c_str(), WSTR("/ok"), nullptr, GET_DATA, 1, h),
            0);
  EXPECT_EQ(h.statusCode, 200);
  CloseRequestHandles(h);

  std::optional<std::string> response;
  EXPECT_EQ(hl::transport::InternetSendRequestEx(settings_, 1, "http", WSTR("127.0.0.1"), server_->port(),
                                                 proxy.server.c_str(), proxy.bypass.c_str(), proxy.user.c_str(),
                                                 proxy.password.c_str(), url.c_str(), "data", &response, POST_DATA, 1, 0),
            0);
  machine_.WriteFile("drive_c/up/f.bin", std::string(5000, 'f'));
  EXPECT_EQ(hl::transport::InternetSendRequestByBitRate(settings_, 1, "http", WSTR("127.0.0.1"), server_->port(),
                                                        proxy.server.c_str(), proxy.bypass.c_str(), proxy.user.c_str(),
                                                        proxy.password.c_str(), url.c_str(), "C:\\up\\f.bin", &response,
                                                        1000),
            0);
  auto records = server_->Records();
  ASSERT_EQ(records.size(), 3u);
  for (const auto& r : records) EXPECT_NE(RecordHeader(r, "Via"), "") << "went through the proxy";

  // Wrong credentials: 407 on every path.
  std::u16string wrong = WSTR("wrongpass");
  HttpRequestHandles refused;
  EXPECT_EQ(hl::transport::GetInternetRequestHandle(settings_, 1, "http", WSTR("127.0.0.1"), server_->port(),
                                                    proxy.server.c_str(), proxy.bypass.c_str(), proxy.user.c_str(),
                                                    wrong.c_str(), WSTR("/ok"), nullptr, GET_DATA, 1, refused),
            407);
  CloseRequestHandles(refused);
  EXPECT_EQ(hl::transport::InternetSendRequestEx(settings_, 1, "http", WSTR("127.0.0.1"), server_->port(),
                                                 proxy.server.c_str(), proxy.bypass.c_str(), proxy.user.c_str(),
                                                 wrong.c_str(), url.c_str(), "data", &response, POST_DATA, 1, 0),
            407);
  EXPECT_FALSE(response);

  // Other texts still show in the conversion's DEBUG line.
  hl::WString converted;
  ChangeUtf8ToWideStr("visible-text", converted);
  EXPECT_TRUE(log_.Has("[DEBUG] UTF String Received:visible-text"));

  std::string logs;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(machine_.root()))
    if (entry.is_regular_file() && entry.path().extension() == ".log") logs += hl::test::ReadTextFile(entry.path());
  ASSERT_FALSE(logs.empty());
  std::string password = kPassword;
  std::string utf16;
  for (char c : password) {
    utf16.push_back(c);
    utf16.push_back('\0');
  }
  for (const std::string& form : {password, utf16, Base64(password), Base64(std::string(kUser) + ":" + password)})
    EXPECT_EQ(logs.find(form), std::string::npos) << "the password is in a log";
}

}  // namespace
}  // namespace hl::test
