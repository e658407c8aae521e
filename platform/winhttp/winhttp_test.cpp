// The WinHTTP stand-in against WinHTTP's documented behaviour, talking to real loopback peers.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/win32.h"
#include "platform/winhttp/winhttp_test_support.h"
#include "tests/support/temp_machine.h"

namespace hl::test {
namespace {

class WinHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = SharedHttpServer();
    ASSERT_NE(server_, nullptr);
    server_->ClearRecords();
  }
  OpenArgs At(const std::string& path, const std::string& verb = "GET") {
    OpenArgs a;
    a.port = server_->port();
    a.path = path;
    a.verb = verb;
    return a;
  }
  TempMachine machine_;
  HttpTestServer* server_ = nullptr;
};

TEST_F(WinHttpTest, GetReturnsStatusHeadersAndBodyAndSendsWindowsHeaders) {
  auto e = OpenExchange(At("/ok?size=5"));
  ASSERT_NE(e->request, nullptr);
  ASSERT_TRUE(WinHttpAddRequestHeaders(e->request, WSTR("Connection: close"), static_cast<DWORD>(-1),
                                       WINHTTP_ADDREQ_FLAG_ADD));
  ASSERT_EQ(SendAndReceive(e->request), 0u);
  EXPECT_EQ(QueryNumber(e->request, WINHTTP_QUERY_STATUS_CODE), 200u);
  EXPECT_EQ(QueryNumber(e->request, WINHTTP_QUERY_CONTENT_LENGTH), 5u);
  std::string raw = NarrowAscii(QueryText(e->request, WINHTTP_QUERY_RAW_HEADERS_CRLF));
  EXPECT_EQ(raw.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << raw;
  EXPECT_EQ(raw.substr(raw.size() - 4), "\r\n\r\n");
  EXPECT_NE(raw.find("Content-Length: 5\r\n"), std::string::npos);
  EXPECT_EQ(ReadBody(e->request), "aaaaa");

  auto records = server_->Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["method"], "GET");
  EXPECT_EQ(records[0]["target"], "/ok?size=5");
  EXPECT_EQ(records[0]["version"], "HTTP/1.1");
  EXPECT_EQ(RecordHeader(records[0], "User-Agent"), "HarborlineAgent");
  EXPECT_EQ(RecordHeader(records[0], "Connection"), "close");
  EXPECT_EQ(RecordHeader(records[0], "Pragma"), "no-cache");
  int accepts = 0;
  RecordHeader(records[0], "Accept", &accepts);
  EXPECT_EQ(accepts, 0) << "no accept types were given";
}

TEST_F(WinHttpTest, DefaultConnectionHeaderAndAcceptTypes) {
  auto e = std::make_unique<Exchange>();
  e->session = WinHttpOpen(WSTR("HarborlineAgent"), WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
  e->connect = WinHttpConnect(e->session, WSTR("127.0.0.1"), static_cast<INTERNET_PORT>(server_->port()), 0);
  LPCWSTR accept[] = {WSTR("*/*"), nullptr};
  e->request = WinHttpOpenRequest(e->connect, WSTR("GET"), WSTR("/"), nullptr, nullptr, accept, 0);
  ASSERT_EQ(SendAndReceive(e->request), 0u);
  auto records = server_->Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(RecordHeader(records[0], "Accept"), "*/*");
  EXPECT_EQ(RecordHeader(records[0], "Connection"), "Keep-Alive");
  int pragma = 0;
  RecordHeader(records[0], "Pragma", &pragma);
  EXPECT_EQ(pragma, 0) << "Pragma only with WINHTTP_FLAG_REFRESH";
}

TEST_F(WinHttpTest, QueryHeadersSizesAndMissingHeaders) {
  auto e = OpenExchange(At("/lastmod"));
  ASSERT_EQ(SendAndReceive(e->request), 0u);
  DWORD size = 0;
  EXPECT_FALSE(WinHttpQueryHeaders(e->request, WINHTTP_QUERY_LAST_MODIFIED, nullptr, nullptr, &size, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  const std::string date = "Wed, 21 Oct 2015 07:28:00 GMT";
  EXPECT_EQ(size, (date.size() + 1) * 2) << "bytes including the terminator";
  std::u16string text(size / 2, u'x');
  ASSERT_TRUE(WinHttpQueryHeaders(e->request, WINHTTP_QUERY_LAST_MODIFIED, nullptr, text.data(), &size, nullptr));
  EXPECT_EQ(size, date.size() * 2) << "bytes without the terminator";
  EXPECT_EQ(NarrowAscii(text.substr(0, size / 2)), date);

  size = 0;
  EXPECT_FALSE(WinHttpQueryHeaders(e->request, WINHTTP_QUERY_LOCATION, nullptr, nullptr, &size, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_HEADER_NOT_FOUND));

  DWORD number = 0;
  size = 2;
  EXPECT_FALSE(WinHttpQueryHeaders(e->request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, nullptr,
                                   &number, &size, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, 4u);

  DWORD index = 0;
  size = sizeof(number);
  ASSERT_TRUE(WinHttpQueryHeaders(e->request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER, nullptr,
                                  &number, &size, &index));
  EXPECT_EQ(number, 5u);
  EXPECT_EQ(index, 1u);
  EXPECT_FALSE(WinHttpQueryHeaders(e->request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER, nullptr,
                                   &number, &size, &index));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_HEADER_NOT_FOUND)) << "no second instance";

  std::u16string custom = QueryText(e->request, WINHTTP_QUERY_CUSTOM, nullptr);
  EXPECT_TRUE(custom.empty());
  EXPECT_EQ(NarrowAscii(QueryText(e->request, WINHTTP_QUERY_STATUS_TEXT)), "OK");
}

TEST_F(WinHttpTest, BodiesInPiecesChunkedAndWithoutLengthArriveWhole) {
  {
    auto e = OpenExchange(At("/pieces?count=300&size=997"));
    ASSERT_EQ(SendAndReceive(e->request), 0u);
    DWORD error = 0;
    std::string body = ReadBody(e->request, &error);
    EXPECT_EQ(error, 0u);
    ASSERT_EQ(body.size(), 300u * 997u);
    for (size_t i = 0; i < 300; ++i) ASSERT_EQ(body[i * 997], static_cast<char>('A' + i % 26)) << i;
  }
  {
    auto e = OpenExchange(At("/chunked?count=40&size=333"));
    ASSERT_EQ(SendAndReceive(e->request), 0u);
    DWORD error = 0;
    QueryNumber(e->request, WINHTTP_QUERY_CONTENT_LENGTH, &error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_WINHTTP_HEADER_NOT_FOUND)) << "a chunked answer has no length";
    EXPECT_EQ(ReadBody(e->request, &error).size(), 40u * 333u);
    EXPECT_EQ(error, 0u);
  }
  {
    auto e = OpenExchange(At("/nolength?size=100000"));
    ASSERT_EQ(SendAndReceive(e->request), 0u);
    EXPECT_EQ(ReadBody(e->request), std::string(100000, 'n'));
  }
}

TEST_F(WinHttpTest, LargeBodyIsHeldBackNotBuffered) {
  auto e = OpenExchange(At("/ok?size=8000000"));
  ASSERT_EQ(SendAndReceive(e->request), 0u);
  DWORD largest = 0, error = 0;
  std::string body = ReadBody(e->request, &error, &largest);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(body.size(), 8000000u);
  EXPECT_LE(largest, 128u * 1024u) << "the transfer pauses instead of buffering the body";

  // Small reads: ReadData may return fewer bytes than asked, never more.
  auto f = OpenExchange(At("/ok?size=1000"));
  ASSERT_EQ(SendAndReceive(f->request), 0u);
  char buffer[7];
  DWORD read = 0, total = 0;
  while (WinHttpReadData(f->request, buffer, sizeof(buffer), &read) && read > 0) {
    EXPECT_LE(read, sizeof(buffer));
    total += read;
  }
  EXPECT_EQ(total, 1000u);
}

TEST_F(WinHttpTest, StatusesAreResponsesNotErrors) {
  for (DWORD status : {304u, 404u, 407u, 500u}) {
    auto e = OpenExchange(At("/status/" + std::to_string(status)));
    ASSERT_EQ(SendAndReceive(e->request), 0u) << status;
    EXPECT_EQ(QueryNumber(e->request, WINHTTP_QUERY_STATUS_CODE), status);
    if (status == 304) {
      EXPECT_EQ(ReadBody(e->request), "");
    } else if (status == 500) {
      EXPECT_EQ(ReadBody(e->request), "status 500");
    }
  }
}

TEST_F(WinHttpTest, RedirectsAreFollowedUnlessDisabled) {
  auto e = OpenExchange(At("/redirect?to=/ok%3Fbody%3Dmoved"));
  ASSERT_EQ(SendAndReceive(e->request), 0u);
  EXPECT_EQ(QueryNumber(e->request, WINHTTP_QUERY_STATUS_CODE), 200u);
  EXPECT_EQ(ReadBody(e->request), "moved");
  DWORD size = 0;
  WinHttpQueryOption(e->request, WINHTTP_OPTION_URL, nullptr, &size);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  std::u16string url(size / 2, u'\0');
  ASSERT_TRUE(WinHttpQueryOption(e->request, WINHTTP_OPTION_URL, url.data(), &size));
  EXPECT_NE(NarrowAscii(url).find("/ok?body=moved"), std::string::npos) << NarrowAscii(url);

  auto f = OpenExchange(At("/redirect?to=/ok"));
  DWORD disable = WINHTTP_DISABLE_REDIRECTS;
  ASSERT_TRUE(WinHttpSetOption(f->request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof(disable)));
  ASSERT_EQ(SendAndReceive(f->request), 0u);
  EXPECT_EQ(QueryNumber(f->request, WINHTTP_QUERY_STATUS_CODE), 302u);
}

TEST_F(WinHttpTest, NetworkFailuresGiveWinHttpCodes) {
  OpenArgs refused = At("/");
  refused.port = FreePort();
  auto e = OpenExchange(refused);
  EXPECT_EQ(SendAndReceive(e->request), static_cast<DWORD>(ERROR_WINHTTP_CANNOT_CONNECT));

  auto stall = OpenExchange(At("/stall?ms=1500"));
  DWORD timeout = 300;
  ASSERT_TRUE(WinHttpSetOption(stall->request, WINHTTP_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout)));
  EXPECT_EQ(SendAndReceive(stall->request), static_cast<DWORD>(ERROR_WINHTTP_TIMEOUT));

  auto reset = OpenExchange(At("/reset?size=100000&sent=1000"));
  ASSERT_EQ(SendAndReceive(reset->request), 0u);
  DWORD error = 0;
  std::string body = ReadBody(reset->request, &error);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_WINHTTP_CONNECTION_ERROR));
  EXPECT_EQ(body.size(), 1000u) << "what arrived before the reset is still read";

  for (const char* path : {"/garbage", "/hangup"}) {
    auto g = OpenExchange(At(path));
    EXPECT_EQ(SendAndReceive(g->request), static_cast<DWORD>(ERROR_WINHTTP_INVALID_SERVER_RESPONSE)) << path;
  }
}

TEST_F(WinHttpTest, NamesResolveOnlyThroughTheMachineHosts) {
  machine_.WriteMachineJson({{"hosts", {{"Agent.Test", "127.0.0.1"}}}});
  OpenArgs named = At("/ok");
  named.host = "agent.test";
  auto e = OpenExchange(named);
  ASSERT_EQ(SendAndReceive(e->request), 0u);
  auto records = server_->Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(RecordHeader(records[0], "Host"), "agent.test:" + std::to_string(server_->port()));

  named.host = "localhost";
  EXPECT_EQ(SendAndReceive(OpenExchange(named)->request), 0u);

  named.host = "nowhere.example.com";
  auto f = OpenExchange(named);
  EXPECT_EQ(SendAndReceive(f->request), static_cast<DWORD>(ERROR_WINHTTP_NAME_NOT_RESOLVED));
  EXPECT_EQ(server_->Records().size(), 2u);
}

TEST_F(WinHttpTest, NothingLeavesTheLoopback) {
  // A routable address, given literally or through the hosts table, is never connected to.
  machine_.WriteMachineJson({{"hosts", {{"far.test", "10.20.0.15"}}}});
  for (const char* host : {"10.20.0.15", "far.test", "2001:db8::1", "192.0.2.7"}) {
    SCOPED_TRACE(host);
    OpenArgs args = At("/ok");
    args.host = host;
    EXPECT_EQ(SendAndReceive(OpenExchange(args)->request), static_cast<DWORD>(ERROR_WINHTTP_CANNOT_CONNECT));
  }
  EXPECT_TRUE(server_->Records().empty());
}

TEST_F(WinHttpTest, NamesMayStandForTheIpv6Loopback) {
  HttpTestServer six;
  std::string error;
  ASSERT_TRUE(six.Start(error, "::1")) << error;
  machine_.WriteMachineJson({{"hosts", {{"six.test", "::1"}}}});
  for (const char* host : {"six.test", "::1", "[::1]"}) {
    OpenArgs a;
    a.host = host;
    a.port = six.port();
    a.path = "/ok?body=v6";
    auto e = OpenExchange(a);
    ASSERT_EQ(SendAndReceive(e->request), 0u) << host;
    EXPECT_EQ(ReadBody(e->request), "v6");
  }
  auto records = six.Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(RecordHeader(records[0], "Host"), "six.test:" + std::to_string(six.port()));
}

TEST_F(WinHttpTest, CallsOutOfOrderAndClosedHandles) {
  auto e = OpenExchange(At("/ok"));
  DWORD size = 0, n = 0;
  char buffer[4];
  EXPECT_FALSE(WinHttpReceiveResponse(e->request, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_STATE));
  EXPECT_FALSE(WinHttpQueryHeaders(e->request, WINHTTP_QUERY_RAW_HEADERS_CRLF, nullptr, nullptr, &size, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_STATE));
  EXPECT_FALSE(WinHttpReadData(e->request, buffer, sizeof(buffer), &n));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_STATE));
  EXPECT_FALSE(WinHttpWriteData(e->request, buffer, sizeof(buffer), &n));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_STATE));

  EXPECT_EQ(WinHttpConnect(e->request, WSTR("127.0.0.1"), 80, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE));

  ASSERT_TRUE(WinHttpCloseHandle(e->request));
  EXPECT_FALSE(WinHttpSendRequest(e->request, nullptr, 0, nullptr, 0, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(WinHttpCloseHandle(e->request));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  e->request = nullptr;

  // The connection keeps its session alive: a request can still be opened after the session closes.
  ASSERT_TRUE(WinHttpCloseHandle(e->session));
  e->session = nullptr;
  e->request = WinHttpOpenRequest(e->connect, nullptr, WSTR("/ok"), nullptr, nullptr, nullptr, 0);
  ASSERT_NE(e->request, nullptr);
  EXPECT_EQ(SendAndReceive(e->request), 0u);
}

TEST_F(WinHttpTest, RequestBodyStreamedWithWriteData) {
  auto e = OpenExchange(At("/upload", "POST"));
  std::string part1(100000, 'x'), part2(150000, 'y'), part3(50000, 'z');
  const DWORD total = 300000;
  ASSERT_TRUE(WinHttpSendRequest(e->request, WSTR("Content-Type: application/octet-stream"), static_cast<DWORD>(-1),
                                 nullptr, 0, total, 0));
  for (const std::string* part : {&part1, &part2, &part3}) {
    DWORD written = 0;
    ASSERT_TRUE(WinHttpWriteData(e->request, part->data(), static_cast<DWORD>(part->size()), &written));
    EXPECT_EQ(written, part->size());
  }
  ASSERT_TRUE(WinHttpReceiveResponse(e->request, nullptr));
  EXPECT_EQ(ReadBody(e->request), "received 300000");
  auto records = server_->Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["method"], "POST");
  EXPECT_EQ(RecordHeader(records[0], "Content-Length"), "300000");
  EXPECT_EQ(RecordHeader(records[0], "Content-Type"), "application/octet-stream");
  int expect = 0, chunked = 0;
  RecordHeader(records[0], "Expect", &expect);
  RecordHeader(records[0], "Transfer-Encoding", &chunked);
  EXPECT_EQ(expect + chunked, 0);
  EXPECT_EQ(records[0]["body"], part1 + part2 + part3);

  // Optional data alone; a POST without data announces Content-Length 0 and no Content-Type.
  auto f = OpenExchange(At("/upload", "POST"));
  char data[] = "abc";
  ASSERT_TRUE(WinHttpSendRequest(f->request, nullptr, 0, data, 3, 3, 0));
  ASSERT_TRUE(WinHttpReceiveResponse(f->request, nullptr));
  auto g = OpenExchange(At("/upload", "POST"));
  ASSERT_EQ(SendAndReceive(g->request), 0u);
  records = server_->Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1]["body"], "abc");
  EXPECT_EQ(RecordHeader(records[2], "Content-Length"), "0");
  int types = 0;
  RecordHeader(records[2], "Content-Type", &types);
  EXPECT_EQ(types, 0);
}

TEST_F(WinHttpTest, MachineFaultsReachTheCalls) {
  machine_.WriteMachineJson({{"faults", {{"WinHttpSendRequest", {{"error", 12017}, {"times", 2}}}}}});
  auto e = OpenExchange(At("/ok"));
  EXPECT_EQ(SendAndReceive(e->request), 12017u);
  EXPECT_EQ(SendAndReceive(e->request), 12017u);
  EXPECT_EQ(SendAndReceive(e->request), 0u) << "the fault was for the first two calls";
  EXPECT_EQ(server_->Records().size(), 1u) << "a failed send reaches no server";

  machine_.WriteMachineJson({{"faults", {{"WinHttpReceiveResponse:http://127.0.0.1:" + std::to_string(server_->port()) + "/status", 12032}}}});
  auto f = OpenExchange(At("/status/404"));
  EXPECT_EQ(SendAndReceive(f->request), 12032u);
  EXPECT_EQ(SendAndReceive(f->request), 12032u) << "a plain code fails every call";
  EXPECT_EQ(SendAndReceive(OpenExchange(At("/ok"))->request), 0u) << "other URLs are not affected";
}

TEST_F(WinHttpTest, OptionsAnswerTheirValuesAndSizes) {
  auto e = OpenExchange(At("/ok"));
  DWORD flags = 0, size = sizeof(flags);
  ASSERT_TRUE(WinHttpQueryOption(e->request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, &size));
  EXPECT_EQ(flags, 0u);
  flags |= 0x3300;
  ASSERT_TRUE(WinHttpSetOption(e->request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags)));
  flags = 0;
  ASSERT_TRUE(WinHttpQueryOption(e->request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, &size));
  EXPECT_EQ(flags, 0x3300u);
  size = 1;
  EXPECT_FALSE(WinHttpQueryOption(e->request, WINHTTP_OPTION_CONNECT_TIMEOUT, &flags, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, 4u);
  DWORD protocols = 0xA80;
  EXPECT_TRUE(WinHttpSetOption(e->session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols)));
  EXPECT_FALSE(WinHttpSetOption(e->request, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE));
  EXPECT_EQ(WinHttpOpen(WSTR("x"), WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, WINHTTP_FLAG_ASYNC), nullptr);
}

// ---- nginx: static files and TLS ----
class WinHttpNginxTest : public WinHttpTest {
 protected:
  void SetUp() override {
    WinHttpTest::SetUp();
    nginx_ = SharedNginx();
    ASSERT_NE(nginx_, nullptr);
  }
  NginxPeer* nginx_ = nullptr;
};

TEST_F(WinHttpNginxTest, HeadAndLastModifiedFromStaticFiles) {
  {
    std::ofstream out(nginx_->root() / "file.bin", std::ios::binary);
    out << std::string(12345, 'f');
  }
  OpenArgs a;
  a.port = nginx_->httpPort();
  a.path = "/file.bin";
  a.verb = "HEAD";
  auto e = OpenExchange(a);
  ASSERT_EQ(SendAndReceive(e->request), 0u);
  EXPECT_EQ(QueryNumber(e->request, WINHTTP_QUERY_STATUS_CODE), 200u);
  EXPECT_EQ(QueryNumber(e->request, WINHTTP_QUERY_CONTENT_LENGTH), 12345u);
  std::string modified = NarrowAscii(QueryText(e->request, WINHTTP_QUERY_LAST_MODIFIED));
  EXPECT_NE(modified.find(" GMT"), std::string::npos) << modified;
  EXPECT_EQ(ReadBody(e->request), "") << "HEAD has no body";

  a.verb = "GET";
  a.path = "/missing.bin";
  auto f = OpenExchange(a);
  ASSERT_EQ(SendAndReceive(f->request), 0u);
  EXPECT_EQ(QueryNumber(f->request, WINHTTP_QUERY_STATUS_CODE), 404u);
}

TEST_F(WinHttpNginxTest, CertificatesCheckedUnlessIgnoreFlagsSet) {
  {
    std::ofstream out(nginx_->root() / "secure.txt", std::ios::binary);
    out << "secret page";
  }
  struct Case {
    int port;
    DWORD flags;
    DWORD expected;
  };
  const DWORD all = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                    SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
  const Case cases[] = {
      {nginx_->tlsGoodPort(), 0, ERROR_WINHTTP_SECURE_FAILURE},
      {nginx_->tlsWrongHostPort(), 0, ERROR_WINHTTP_SECURE_FAILURE},
      {nginx_->tlsExpiredPort(), 0, ERROR_WINHTTP_SECURE_FAILURE},
      {nginx_->tlsGoodPort(), all, 0},
      {nginx_->tlsWrongHostPort(), all, 0},
      {nginx_->tlsExpiredPort(), all, 0},
  };
  for (const Case& c : cases) {
    OpenArgs a;
    a.host = "localhost";
    a.port = c.port;
    a.path = "/secure.txt";
    a.flags = WINHTTP_FLAG_REFRESH | WINHTTP_FLAG_SECURE;
    auto e = OpenExchange(a);
    DWORD protocols = 0xA80;
    ASSERT_TRUE(WinHttpSetOption(e->session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols)));
    DWORD flags = c.flags;
    ASSERT_TRUE(WinHttpSetOption(e->request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags)));
    EXPECT_EQ(SendAndReceive(e->request), c.expected) << c.port << " flags " << c.flags;
    if (c.expected == 0) {
      EXPECT_EQ(ReadBody(e->request), "secret page");
      DWORD secure = 0, size = sizeof(secure);
      ASSERT_TRUE(WinHttpQueryOption(e->request, WINHTTP_OPTION_SECURITY_FLAGS, &secure, &size));
      EXPECT_TRUE(secure & SECURITY_FLAG_SECURE);
    }
  }
}

TEST_F(WinHttpNginxTest, SecureProtocolsBoundTheTlsVersions) {
  // nginx offers TLS 1.2 and 1.3 only.
  struct Case {
    DWORD protocols;
    bool connects;
  } cases[] = {{WINHTTP_FLAG_SECURE_PROTOCOL_TLS1, false},
               {WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1, false},
               {WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2, true},
               {WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3, true}};
  for (const Case& c : cases) {
    OpenArgs a;
    a.port = nginx_->tlsGoodPort();
    a.path = "/absent";
    a.flags = WINHTTP_FLAG_SECURE;
    auto e = OpenExchange(a);
    DWORD protocols = c.protocols, flags = 0x3300;
    ASSERT_TRUE(WinHttpSetOption(e->session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols)));
    ASSERT_TRUE(WinHttpSetOption(e->request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags)));
    DWORD result = SendAndReceive(e->request);
    if (c.connects) {
      EXPECT_EQ(result, 0u) << std::hex << c.protocols;
    } else {
      EXPECT_EQ(result, static_cast<DWORD>(ERROR_WINHTTP_SECURE_CHANNEL_ERROR)) << std::hex << c.protocols;
    }
  }
}

// ---- squid: a forward proxy with Basic authentication ----
class WinHttpProxyTest : public WinHttpTest {
 protected:
  void SetUp() override {
    WinHttpTest::SetUp();
    proxy_ = SharedProxy("agentuser", "S3cret!pw");
    ASSERT_NE(proxy_, nullptr);
  }
  OpenArgs ViaProxy(const std::string& path, const std::string& bypass = "") {
    OpenArgs a = At(path);
    a.access = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    a.proxy = "127.0.0.1:" + std::to_string(proxy_->port());
    a.bypass = bypass;
    return a;
  }
  static void Credentials(HINTERNET request, const std::u16string& user, const std::u16string& password) {
    ASSERT_TRUE(WinHttpSetOption(request, WINHTTP_OPTION_PROXY_USERNAME, const_cast<WCHAR*>(user.c_str()),
                                 static_cast<DWORD>(user.size())));
    ASSERT_TRUE(WinHttpSetOption(request, WINHTTP_OPTION_PROXY_PASSWORD, const_cast<WCHAR*>(password.c_str()),
                                 static_cast<DWORD>(password.size())));
  }
  ProxyPeer* proxy_ = nullptr;
};

TEST_F(WinHttpProxyTest, RightCredentialsPassWrongOrNoneGive407) {
  auto e = OpenExchange(ViaProxy("/ok?body=proxied"));
  Credentials(e->request, u"agentuser", u"S3cret!pw");
  ASSERT_EQ(SendAndReceive(e->request), 0u);
  EXPECT_EQ(QueryNumber(e->request, WINHTTP_QUERY_STATUS_CODE), 200u);
  EXPECT_EQ(ReadBody(e->request), "proxied");
  auto records = server_->Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_NE(RecordHeader(records[0], "Via"), "") << "sent through the proxy: " << records[0].dump();

  auto f = OpenExchange(ViaProxy("/ok"));
  Credentials(f->request, u"agentuser", u"wrong");
  ASSERT_EQ(SendAndReceive(f->request), 0u);
  EXPECT_EQ(QueryNumber(f->request, WINHTTP_QUERY_STATUS_CODE), 407u);

  auto g = OpenExchange(ViaProxy("/ok"));
  ASSERT_EQ(SendAndReceive(g->request), 0u);
  EXPECT_EQ(QueryNumber(g->request, WINHTTP_QUERY_STATUS_CODE), 407u);
  EXPECT_EQ(server_->Records().size(), 1u) << "refused requests never reach the server";
}

TEST_F(WinHttpProxyTest, TunnelRefusalIsA407Response) {
  NginxPeer* nginx = SharedNginx();
  ASSERT_NE(nginx, nullptr);
  OpenArgs a = ViaProxy("/");
  a.port = nginx->tlsGoodPort();
  a.flags |= WINHTTP_FLAG_SECURE;
  auto e = OpenExchange(a);
  DWORD flags = 0x3300;
  ASSERT_TRUE(WinHttpSetOption(e->request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags)));
  Credentials(e->request, u"agentuser", u"wrong");
  ASSERT_EQ(SendAndReceive(e->request), 0u);
  EXPECT_EQ(QueryNumber(e->request, WINHTTP_QUERY_STATUS_CODE), 407u);

  auto f = OpenExchange(a);
  ASSERT_TRUE(WinHttpSetOption(f->request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags)));
  Credentials(f->request, u"agentuser", u"S3cret!pw");
  ASSERT_EQ(SendAndReceive(f->request), 0u);
  EXPECT_NE(QueryNumber(f->request, WINHTTP_QUERY_STATUS_CODE), 407u);
}

TEST_F(WinHttpProxyTest, BypassListIsEvaluatedPerRequest) {
  for (const std::string bypass : {"127.0.0.1", "127.0.*", "other.test;127.0.0.1"}) {
    server_->ClearRecords();
    auto e = OpenExchange(ViaProxy("/ok", bypass));
    ASSERT_EQ(SendAndReceive(e->request), 0u) << bypass;
    EXPECT_EQ(QueryNumber(e->request, WINHTTP_QUERY_STATUS_CODE), 200u) << bypass;
    auto records = server_->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(RecordHeader(records[0], "Via"), "") << bypass << ": sent directly";
  }
  OpenArgs local = ViaProxy("/ok", "<local>");
  local.host = "localhost";
  EXPECT_EQ(SendAndReceive(OpenExchange(local)->request), 0u);
  auto e = OpenExchange(ViaProxy("/ok", "<local>"));
  ASSERT_EQ(SendAndReceive(e->request), 0u);
  EXPECT_EQ(QueryNumber(e->request, WINHTTP_QUERY_STATUS_CODE), 407u) << "an address with dots is not local";
}

}  // namespace
}  // namespace hl::test
