// Pure helpers of the WinHTTP stand-in: host resolution through the machine's hosts table,
// proxy lists and bypass lists, header line parsing.
#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

#include "platform/core/machine.h"
#include "platform/winhttp/winhttp_internal.h"

namespace hl::platform::winhttp {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view TrimView(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::string_view Unbracket(std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
  return host;
}

// Entries of a list separated by ';' or blanks.
std::vector<std::string_view> ListEntries(std::string_view list) {
  std::vector<std::string_view> out;
  size_t start = 0;
  for (size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || list[i] == ';' || list[i] == ' ' || list[i] == '\t') {
      if (i > start) out.push_back(list.substr(start, i - start));
      start = i + 1;
    }
  }
  return out;
}

// Wildcard match, '*' standing for any run of characters; both sides already lower case.
bool WildcardMatch(std::string_view pattern, std::string_view text) {
  if (pattern.empty()) return text.empty();
  if (pattern.front() == '*') {
    for (size_t i = 0; i <= text.size(); ++i)
      if (WildcardMatch(pattern.substr(1), text.substr(i))) return true;
    return false;
  }
  return !text.empty() && pattern.front() == text.front() && WildcardMatch(pattern.substr(1), text.substr(1));
}

}  // namespace

bool IsLiteralAddress(std::string_view host) {
  std::string text(Unbracket(host));
  unsigned char buffer[16];
  return inet_pton(AF_INET, text.c_str(), buffer) == 1 || inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

bool IsLoopbackAddress(std::string_view address) {
  std::string text(Unbracket(address));
  unsigned char bytes[16];
  if (inet_pton(AF_INET, text.c_str(), bytes) == 1) return bytes[0] == 127;
  if (inet_pton(AF_INET6, text.c_str(), bytes) != 1) return false;
  static const unsigned char kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  static const unsigned char kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  if (std::equal(bytes, bytes + 16, kLoopback6)) return true;
  return std::equal(bytes, bytes + 12, kMappedPrefix) && bytes[12] == 127;  // ::ffff:127.x.y.z
}

std::optional<std::string> ResolveHost(std::string_view host, const nlohmann::json& hosts) {
  if (host.empty()) return std::nullopt;
  if (IsLiteralAddress(host)) return std::string(Unbracket(host));
  if (hosts.is_object()) {
    for (auto it = hosts.begin(); it != hosts.end(); ++it) {
      if (EqualsNoCase(it.key(), host) && it.value().is_string()) {
        std::string address = it.value().get<std::string>();
        if (IsLiteralAddress(address)) return std::string(Unbracket(address));
      }
    }
  }
  if (EqualsNoCase(host, "localhost")) return std::string("127.0.0.1");
  return std::nullopt;
}

bool BypassMatches(std::string_view host, std::string_view bypassList) {
  std::string name = Lower(Unbracket(host));
  for (std::string_view entry : ListEntries(bypassList)) {
    std::string pattern = Lower(TrimView(entry));
    if (pattern == "<local>") {
      if (name.find('.') == std::string::npos && !IsLiteralAddress(name)) return true;
      continue;
    }
    // "*.example.com" also covers the subdomains only, with the dot as boundary; "host:port"
    // entries are compared by host.
    if (size_t colon = pattern.rfind(':'); colon != std::string::npos && pattern.find(':') == colon)
      pattern.resize(colon);
    if (WildcardMatch(pattern, name)) return true;
  }
  return false;
}

std::optional<HostPort> PickProxy(std::string_view proxyList, bool secure) {
  std::optional<HostPort> generic, specific;
  for (std::string_view entry : ListEntries(proxyList)) {
    std::string_view scheme;
    if (size_t eq = entry.find('='); eq != std::string_view::npos) {
      scheme = entry.substr(0, eq);
      entry.remove_prefix(eq + 1);
    }
    if (size_t sep = entry.find("://"); sep != std::string_view::npos) {
      if (scheme.empty()) scheme = entry.substr(0, sep);
      entry.remove_prefix(sep + 3);
    }
    while (!entry.empty() && entry.back() == '/') entry.remove_suffix(1);
    HostPort proxy;
    size_t colon = entry.rfind(':');
    bool bracketed = !entry.empty() && entry.front() == '[';
    if (colon != std::string_view::npos && (!bracketed || colon > entry.find(']'))) {
      proxy.host = std::string(entry.substr(0, colon));
      proxy.port = static_cast<INTERNET_PORT>(std::strtoul(std::string(entry.substr(colon + 1)).c_str(), nullptr, 10));
    } else {
      proxy.host = std::string(entry);
      proxy.port = 80;
    }
    proxy.host = std::string(Unbracket(proxy.host));
    if (proxy.host.empty()) continue;
    std::string lowered = Lower(scheme);
    if (lowered.empty()) {
      if (!generic) generic = proxy;
    } else if (lowered == (secure ? "https" : "http")) {
      if (!specific) specific = proxy;
    }
  }
  return specific ? specific : generic;
}

std::string UrlHost(std::string_view host) {
  std::string_view bare = Unbracket(host);
  if (bare.find(':') != std::string_view::npos) return "[" + std::string(bare) + "]";
  return std::string(bare);
}

bool ParseHeaderLines(std::string_view text, std::vector<std::pair<std::string, std::string>>& out) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = TrimView(text.substr(start, end - start));
    start = end + 1;
    if (line.empty()) continue;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    std::string_view name = TrimView(line.substr(0, colon));
    if (name.empty() || name.find(' ') != std::string_view::npos) return false;
    out.emplace_back(std::string(name), std::string(TrimView(line.substr(colon + 1))));
  }
  return true;
}

}  // namespace hl::platform::winhttp
