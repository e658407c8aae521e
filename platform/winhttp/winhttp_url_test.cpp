// The pure helpers behind the WinHTTP stand-in: hosts table, proxy and bypass lists, header lines.
#include <gtest/gtest.h>

#include "platform/winhttp/winhttp_internal.h"

namespace hl::platform::winhttp {
namespace {

TEST(WinHttpUrl, LoopbackAddresses) {
  for (const char* yes : {"127.0.0.1", "127.255.0.9", "::1", "[::1]", "::ffff:127.0.0.1"}) EXPECT_TRUE(IsLoopbackAddress(yes)) << yes;
  for (const char* no : {"10.0.0.1", "128.0.0.1", "::2", "::ffff:10.0.0.1", "localhost", "", "0.0.0.0"})
    EXPECT_FALSE(IsLoopbackAddress(no)) << no;
}

TEST(WinHttpUrl, HostsResolveOnlyThroughTheTable) {
  nlohmann::json hosts = {{"Server.Corp", "127.0.0.1"}, {"six.corp", "::1"}, {"bad.corp", "not-an-address"}};
  EXPECT_EQ(ResolveHost("server.corp", hosts), "127.0.0.1");
  EXPECT_EQ(ResolveHost("SIX.CORP", hosts), "::1");
  EXPECT_EQ(ResolveHost("localhost", hosts), "127.0.0.1");
  EXPECT_EQ(ResolveHost("10.1.2.3", hosts), "10.1.2.3");
  EXPECT_EQ(ResolveHost("[::1]", hosts), "::1");
  EXPECT_EQ(ResolveHost("bad.corp", hosts), std::nullopt);
  EXPECT_EQ(ResolveHost("example.com", hosts), std::nullopt);
  EXPECT_EQ(ResolveHost("", hosts), std::nullopt);
  EXPECT_EQ(ResolveHost("example.com", nlohmann::json()), std::nullopt);
}

TEST(WinHttpUrl, BypassListMatchesAsWindowsDoes) {
  struct Case {
    const char* host;
    const char* list;
    bool bypass;
  } cases[] = {
      {"intranet", "<local>", true},         {"intranet.corp", "<local>", false},
      {"10.0.0.1", "<local>", false},        {"a.corp.test", "*.corp.test", true},
      {"corp.test", "*.corp.test", false},   {"HOST.corp", "host.corp", true},
      {"host.corp", "other; host.corp", true}, {"host.corp", "other;<local>", false},
      {"10.1.2.3", "10.*", true},            {"110.1.2.3", "10.*", false},
      {"host.corp", "host.corp:8080", true}, {"x", "", false},
  };
  for (const Case& c : cases) EXPECT_EQ(BypassMatches(c.host, c.list), c.bypass) << c.host << " / " << c.list;
}

TEST(WinHttpUrl, ProxyListPicksTheSchemeEntryOrTheGenericOne) {
  auto p = PickProxy("proxy.corp:3128", false);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->host, "proxy.corp");
  EXPECT_EQ(p->port, 3128);
  p = PickProxy("http=p1:81;https=p2:8443", true);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->host, "p2");
  EXPECT_EQ(p->port, 8443);
  p = PickProxy("https=p2:8443 p3", false);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->host, "p3");
  EXPECT_EQ(p->port, 80);
  p = PickProxy("http://[::1]:9000/", false);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->host, "::1");
  EXPECT_EQ(p->port, 9000);
  EXPECT_FALSE(PickProxy("https=p2:8443", false));
  EXPECT_FALSE(PickProxy("", false));
}

TEST(WinHttpUrl, HeaderLines) {
  std::vector<std::pair<std::string, std::string>> out;
  EXPECT_TRUE(ParseHeaderLines("Connection: close\r\nX-A:  b \r\n", out));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1].first, "X-A");
  EXPECT_EQ(out[1].second, "b");
  out.clear();
  EXPECT_FALSE(ParseHeaderLines("no colon here", out));
  EXPECT_FALSE(ParseHeaderLines(": value", out));
  EXPECT_EQ(UrlHost("::1"), "[::1]");
  EXPECT_EQ(UrlHost("host"), "host");
}

}  // namespace
}  // namespace hl::platform::winhttp
