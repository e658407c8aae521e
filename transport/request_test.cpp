// The request core against the loopback peers: headers sent, retries, reopen, 407, time-outs,
// If-Modified-Since, TLS tolerance, Last-Modified, file checks and the error texts.
#include <gtest/gtest.h>

#include "transport/transport_test_support.h"

namespace hl::test {
namespace {

using hl::transport::TransportSettings;

class RequestCoreTest : public TransportTest {
 protected:
  int Get(const std::string& path, HttpRequestHandles& h, int type = GET_DATA, BYTE keepAlive = 1,
          const char* protocol = "http", int port = 0, const WCHAR* dest = nullptr) {
    std::u16string object = Widen(path);
    return hl::transport::GetInternetRequestHandle(settings_, 0, protocol, WSTR("127.0.0.1"),
                                                   port ? port : server_->port(), nullptr, nullptr, nullptr, nullptr,
                                                   object.c_str(), dest, type, keepAlive, h);
  }
};

TEST_F(RequestCoreTest, GetSendsTheAgentsHeadersAndLeavesTheResponseReadable) {
  HttpRequestHandles h;
  ASSERT_EQ(Get("/ok?body=payload", h), 0);
  EXPECT_EQ(h.statusCode, 200);
  EXPECT_EQ(ReadBody(h.hRequest), "payload");
  CloseRequestHandles(h);
  EXPECT_EQ(h.hRequest, kNoHandle);
  EXPECT_EQ(h.hConnect, kNoHandle);
  EXPECT_EQ(h.hSession, kNoHandle);

  HttpRequestHandles closeCase;
  ASSERT_EQ(Get("/ok", closeCase, DOWNLOAD_FILE, 0), 0);
  CloseRequestHandles(closeCase);

  auto records = server_->Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]["method"], "GET");
  EXPECT_EQ(records[0]["target"], "/ok?body=payload");
  EXPECT_EQ(records[0]["version"], "HTTP/1.1");
  EXPECT_EQ(RecordHeader(records[0], "User-Agent"), "HarborlineAgent");
  EXPECT_EQ(RecordHeader(records[0], "Connection"), "Keep-Alive");
  EXPECT_EQ(RecordHeader(records[0], "Pragma"), "no-cache");
  EXPECT_EQ(RecordHeader(records[0], "Accept"), "*/*");
  EXPECT_EQ(RecordHeader(records[1], "Connection"), "close");

  EXPECT_TRUE(log_.Has("[DEBUG] @@@@@@@@ Inside GetInternetRequestHandle Method @@@@@@@@ ")) << log_.All();
  EXPECT_TRUE(log_.Has("[DEBUG] @@@@@@@@ End of GetInternetRequestHandle Method @@@@@@@@ "));
  EXPECT_EQ(log_.Matching("[DEBUG] GetInternetRequestHandle :  Header Informations : ").size(), 2u);
}

TEST_F(RequestCoreTest, HeadAndRangedModes) {
  HttpRequestHandles head;
  head.requestMode = 2;
  ASSERT_EQ(Get("/ok?size=9", head), 0);
  CloseRequestHandles(head);
  HttpRequestHandles ranged;
  ranged.requestMode = 1;
  ranged.extraHeader = WSTR("Range: bytes=10-19");
  ASSERT_EQ(Get("/range?size=100", ranged, DOWNLOAD_FILE), 0);
  EXPECT_EQ(ranged.statusCode, 206);
  EXPECT_EQ(ReadBody(ranged.hRequest).size(), 10u);
  CloseRequestHandles(ranged);
  auto records = server_->Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]["method"], "HEAD");
  EXPECT_EQ(RecordHeader(records[1], "Range"), "bytes=10-19");
}

TEST_F(RequestCoreTest, A407AnswerIsReturnedAs407) {
  HttpRequestHandles h;
  EXPECT_EQ(Get("/status/407", h), 407);
  EXPECT_EQ(h.statusCode, 407);
  EXPECT_TRUE(log_.Has("[ERROR] GetInternetRequestHandle : Proxy Credentials are failed to authenticate 407 "));
  CloseRequestHandles(h);

  // Whatever else happened first: a cancelled send and a resend request, then the 407.
  WriteMachine({{"faults",
                 {{"WinHttpSendRequest", {{"error", 12017}, {"times", 1}}},
                  {"WinHttpReceiveResponse", {{"error", 12032}, {"times", 1}}}}}});
  HttpRequestHandles again;
  EXPECT_EQ(Get("/status/407", again), 407);
  CloseRequestHandles(again);

  HttpRequestHandles other;
  EXPECT_EQ(Get("/status/500", other), 0) << "other statuses are for the caller to judge";
  EXPECT_EQ(other.statusCode, 500);
  CloseRequestHandles(other);
}

TEST_F(RequestCoreTest, ACancelledSendReopensOnceAndTheSecondFailureIsReturned) {
  WriteMachine({{"faults", {{"WinHttpSendRequest", {{"error", 12017}, {"times", 1}}}}}});
  HttpRequestHandles h;
  EXPECT_EQ(Get("/ok", h), 12017) << "the failure that led to the reopen is the last error recorded";
  EXPECT_EQ(h.statusCode, 200);
  CloseRequestHandles(h);
  EXPECT_EQ(server_->Records().size(), 1u);
  EXPECT_EQ(log_.Count("[INFO] GetInternetRequestHandle : Going to close the request handle and going to resending "
                       "the data to the server 127.0.0.1 "),
            1u);

  WriteMachine({{"faults", {{"WinHttpSendRequest", {{"error", 12017}, {"times", 2}}}}}});
  HttpRequestHandles twice;
  EXPECT_EQ(Get("/ok", twice), 12017);
  EXPECT_EQ(twice.statusCode, 0);
  EXPECT_TRUE(log_.Has("[ERROR] GetInternetRequestHandle :  Error in WinHttpSendRequest -> 12017 "));
  EXPECT_TRUE(log_.Has("[ERROR] HttpGetLastError: The operation was canceled, usually because the handle on which "
                       "the request was operating was closed before the operation completed."));
  CloseRequestHandles(twice);
  EXPECT_EQ(server_->Records().size(), 1u) << "no second request reached the server";
}

TEST_F(RequestCoreTest, FourResendAnswersThenAGoodResponse) {
  WriteMachine({{"faults", {{"WinHttpReceiveResponse", {{"error", 12032}, {"times", 4}}}}}});
  HttpRequestHandles h;
  EXPECT_EQ(Get("/ok", h), 12032);
  EXPECT_EQ(h.statusCode, 200);
  EXPECT_EQ(log_.Count("[INFO] GetInternetRequestHandle : Resending the data to the server 127.0.0.1 "), 4u);
  EXPECT_EQ(server_->Records().size(), 5u) << "each attempt is sent again";
  CloseRequestHandles(h);
}

TEST_F(RequestCoreTest, UnparsableAnswersReopenOnceThenUseTheAttempts) {
  HttpRequestHandles h;
  EXPECT_EQ(Get("/garbage", h), ERROR_WINHTTP_INCORRECT_HANDLE_STATE)
      << "after the reopen and five more attempts no response can be queried";
  EXPECT_EQ(server_->Records().size(), 6u);
  EXPECT_EQ(log_.Count("[INFO] GetInternetRequestHandle : Going to close the request handle and going to resending "
                       "the data to the server 127.0.0.1,as the error code received is 12152 "),
            6u);
  EXPECT_TRUE(log_.Has("[ERROR] GetInternetRequestHandle :  Error in WinHttpQueryHeaders --> 12019 "));
  CloseRequestHandles(h);
}

TEST_F(RequestCoreTest, TimeOutsAndRefusedConnections) {
  settings_.requestTimeoutMs = 300;
  HttpRequestHandles h;
  EXPECT_EQ(Get("/stall?ms=1500", h), ERROR_WINHTTP_TIMEOUT);
  EXPECT_TRUE(log_.Has("[INFO] GetInternetRequestHandle :  Error - WinHttpReceiveResponse --> 12002 "));
  EXPECT_TRUE(log_.Has("[ERROR] HttpGetLastError: The request has timed out."));
  CloseRequestHandles(h);

  HttpRequestHandles refused;
  EXPECT_EQ(Get("/", refused, GET_DATA, 1, "http", FreePort()), ERROR_WINHTTP_CANNOT_CONNECT);
  EXPECT_TRUE(log_.Has("[ERROR] GetInternetRequestHandle :  Error in WinHttpSendRequest -> 12029 "));
  CloseRequestHandles(refused);

  HttpRequestHandles unknown;
  EXPECT_EQ(hl::transport::GetInternetRequestHandle(settings_, 0, "http", WSTR("server.unknown.test"), 80, nullptr,
                                                    nullptr, nullptr, nullptr, WSTR("/"), nullptr, GET_DATA, 1, unknown),
            ERROR_WINHTTP_NAME_NOT_RESOLVED);
  CloseRequestHandles(unknown);
}

TEST_F(RequestCoreTest, IfModifiedSinceFollowsTheDestinationFile) {
  settings_.ifModifiedSinceEnabled = true;
  settings_.ifModifiedSinceTime = hl::WString(WSTR("Wed, 21 Oct 2015 07:28:00 GMT"));
  machine_.WriteFile("drive_c/dl/present.bin", "x");
  struct Case {
    int type;
    const WCHAR* dest;
    bool sent;
  } cases[] = {
      {DOWNLOAD_FILE, WSTR("C:\\dl\\missing.bin"), false},
      {DOWNLOAD_FILE, WSTR("C:\\dl\\present.bin"), true},
      {GET_DATA, WSTR("C:\\dl\\missing.bin"), true},
  };
  for (const Case& c : cases) {
    server_->ClearRecords();
    HttpRequestHandles h;
    ASSERT_EQ(Get("/ok", h, c.type, 1, "http", 0, c.dest), 0);
    CloseRequestHandles(h);
    auto records = server_->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(RecordHeader(records[0], "If-Modified-Since"), c.sent ? "Wed, 21 Oct 2015 07:28:00 GMT" : "")
        << c.type;
  }
  EXPECT_EQ(log_.Count("[ERROR] GetInternetRequestHandle: destination file is not present, hence if-modified-since "
                       "header is not applied"),
            1u);
  EXPECT_EQ(log_.Count("[DEBUG] GetInternetRequestHandle : If-Modified-Since: Wed, 21 Oct 2015 07:28:00 GMT"), 2u);

  settings_.ifModifiedSinceEnabled = false;
  server_->ClearRecords();
  HttpRequestHandles off;
  ASSERT_EQ(Get("/ok", off, GET_DATA), 0);
  CloseRequestHandles(off);
  EXPECT_EQ(RecordHeader(server_->Records().at(0), "If-Modified-Since"), "");
}

TEST_F(RequestCoreTest, SecureProtocolsOnlyOnWindows7And8) {
  struct Case {
    int major, minor;
    DWORD expected;
  } cases[] = {{6, 1, 0xA80}, {6, 2, 0xA80}, {6, 3, 0}, {10, 0, 0}};
  for (const Case& c : cases) {
    WriteMachine({{"os", WindowsOs(c.major, c.minor)}});
    HINTERNET session = WinHttpOpen(WSTR("HarborlineAgent"), WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    EXPECT_EQ(SetSecureProtocols(session), 1);
    DWORD protocols = 0, size = sizeof(protocols);
    ASSERT_TRUE(WinHttpQueryOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, &size));
    EXPECT_EQ(protocols, c.expected) << c.major << "." << c.minor;
    WinHttpCloseHandle(session);
  }
  EXPECT_EQ(log_.Count("[INFO] SetSecureProtocols : Configuring security protocols "), 2u);
  EXPECT_EQ(log_.Count("[INFO] SetSecureProtocols :  Security protocols configured successfully "), 2u);
}

TEST_F(RequestCoreTest, HttpsAcceptsAnyServerCertificate) {
  NginxPeer* nginx = SharedNginx();
  ASSERT_NE(nginx, nullptr);
  WriteMachine({{"os", WindowsOs(6, 1)}});
  for (int port : {nginx->tlsGoodPort(), nginx->tlsWrongHostPort(), nginx->tlsExpiredPort()}) {
    HttpRequestHandles h;
    EXPECT_EQ(Get("/missing.txt", h, DOWNLOAD_FILE, 1, "HTTPS", port), 0) << port;
    EXPECT_EQ(h.statusCode, 404);
    CloseRequestHandles(h);
  }
  EXPECT_EQ(log_.Count("[DEBUG] GetInternetRequestHandle :  The request is updated with the internet option security "
                       "flags. "),
            3u);
}

TEST_F(RequestCoreTest, LastModifiedQuery) {
  HttpRequestHandles h;
  ASSERT_EQ(Get("/lastmod", h), 0);
  hl::WString modified;
  EXPECT_EQ(GetFilelastmodifiedTime(h.hRequest, modified), 0);
  EXPECT_EQ(NarrowAscii(modified), "Wed, 21 Oct 2015 07:28:00 GMT");
  EXPECT_TRUE(log_.Has("[DEBUG] GetFilelastmodifiedTime : File last modified time: Wed, 21 Oct 2015 07:28:00 GMT"));
  CloseRequestHandles(h);

  HttpRequestHandles none;
  ASSERT_EQ(Get("/ok", none), 0);
  EXPECT_EQ(GetFilelastmodifiedTime(none.hRequest, modified), ERROR_WINHTTP_HEADER_NOT_FOUND);
  EXPECT_TRUE(log_.Has("[ERROR] GetFilelastmodifiedTime: Could n't query HEADER for last modified time"));
  CloseRequestHandles(none);
}

TEST(CheckFileExists, PresentMissingAndNoPath) {
  TempMachine machine;
  LogCapture log(machine);
  machine.WriteFile("drive_c/data/a.txt", "a");
  EXPECT_EQ(CheckFileExists(WSTR("C:\\data\\a.txt")), 0);
  EXPECT_EQ(CheckFileExists(WSTR("C:\\data\\b.txt")), 2);
  EXPECT_EQ(CheckFileExists(nullptr), 13);
  EXPECT_TRUE(log.Has("[DEBUG] FileName to search -> C:\\data\\b.txt "));
  EXPECT_EQ(log.Matching("[ERROR] CheckFileExists -> Invalid File Handle. ").size(), 1u);
  EXPECT_EQ(log.Count("[DEBUG] @@@@@@@@ End Of CheckFileExists Method @@@@@@@@ "), 2u);
}

TEST(HttpGetLastError, KnownCodesHaveTheirTextsOthersTheSystemText) {
  TempMachine machine;
  LogCapture log(machine);
  HttpGetLastError(12002);
  HttpGetLastError(12032);
  HttpGetLastError(12184);
  EXPECT_TRUE(log.Has("[ERROR] HttpGetLastError: The request has timed out."));
  EXPECT_EQ(log.Count("[ERROR] HttpGetLastError: The WinHTTP function failed. The desired function can be retried "
                      "on the same request handle "),
            2u);
  size_t before = log.Lines().size();
  HttpGetLastError(12047);
  std::vector<std::string> lines = log.Lines();
  std::vector<std::string> fromTransport(lines.begin() + static_cast<long>(before), lines.end());
  EXPECT_EQ(log.Matching("HttpGetLastError: ").size(), 3u) << "12047 is not in the table";
  LogErrorMessage(12047);
  lines = log.Lines();
  std::vector<std::string> direct(lines.begin() + static_cast<long>(before + fromTransport.size()), lines.end());
  EXPECT_FALSE(fromTransport.empty());
  EXPECT_EQ(fromTransport, direct) << "12047 goes through LogErrorMessage\n" << log.All();
  // This text has no line end of its own: it is the last line here.
  HttpGetLastError(12169);
  EXPECT_TRUE(log.Has("[ERROR] HttpGetLastError: Indicates that a certificate is invalid (equivalent to errors such "
                      "as CERT_E_ROLE, CERT_E_PATHLENCONST, CERT_E_CRITICAL, CERT_E_PURPOSE, CERT_E_ISSUERCHAINING, "
                      "CERT_E_MALFORMED and CERT_E_CHAINING)."));
}

}  // namespace
}  // namespace hl::test
