// How: one easy handle in its own multi handle, pumped with curl_multi_perform/curl_multi_poll
// only while a WinHTTP call waits for something (connection, body consumed, headers, data).
// Back-pressure both ways: the read callback pauses the upload when WinHttpWriteData has not
// supplied more, and the write callback pauses the download once about 64 KB are buffered,
// so neither side ever holds more than a few chunks. libcurl has no per-read idle timer, so
// the pump measures the time since the last byte moved and answers 12002 itself.
#include "platform/winhttp/curl_transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "platform/winhttp/win_winhttp.h"

namespace hl::platform::winhttp {
namespace {

constexpr size_t kBodyBufferCap = 64 * 1024;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t' || text[e - 1] == '\r' || text[e - 1] == '\n')) --e;
  return std::string(text.substr(b, e - b));
}

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

long TlsMin(DWORD mask) {
  if (mask & WINHTTP_FLAG_SECURE_PROTOCOL_TLS1) return CURL_SSLVERSION_TLSv1_0;
  if (mask & WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1) return CURL_SSLVERSION_TLSv1_1;
  if (mask & WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2) return CURL_SSLVERSION_TLSv1_2;
  if (mask & WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3) return CURL_SSLVERSION_TLSv1_3;
  return CURL_SSLVERSION_DEFAULT;
}

long TlsMax(DWORD mask) {
  if (mask & WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3) return CURL_SSLVERSION_MAX_TLSv1_3;
  if (mask & WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2) return CURL_SSLVERSION_MAX_TLSv1_2;
  if (mask & WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1) return CURL_SSLVERSION_MAX_TLSv1_1;
  if (mask & WINHTTP_FLAG_SECURE_PROTOCOL_TLS1) return CURL_SSLVERSION_MAX_TLSv1_0;
  return CURL_SSLVERSION_MAX_DEFAULT;
}

}  // namespace

struct CurlTransfer::Impl {
  TransferPlan plan;
  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  curl_slist* headerList = nullptr;
  curl_slist* resolveList = nullptr;
  bool added = false;

  // Progress of the exchange.
  bool prereqFired = false;
  bool done = false;
  CURLcode result = CURLE_OK;
  bool headersComplete = false;
  uint64_t movedBytes = 0;  // any byte in either direction, for the idle timer

  // Response.
  ResponseHead head;
  std::string body;
  size_t bodyOffset = 0;
  bool recvPaused = false;

  // Upload.
  std::vector<char> optional;
  size_t optionalOffset = 0;
  const char* pending = nullptr;
  size_t pendingLength = 0;
  uint64_t uploaded = 0;
  uint64_t supplied = 0;  // optional data plus every WinHttpWriteData
  bool sendPaused = false;

  ~Impl() {
    if (added) curl_multi_remove_handle(multi, easy);
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
    curl_slist_free_all(headerList);
    curl_slist_free_all(resolveList);
  }

  size_t Buffered() const { return body.size() - bodyOffset; }

  // ---- callbacks ----
  static int OnPrereq(void* self, char*, char*, int, int) {
    static_cast<Impl*>(self)->prereqFired = true;
    return CURL_PREREQFUNC_OK;
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    static_cast<Impl*>(self)->HeaderLine(std::string_view(data, size * count));
    return size * count;
  }

  void HeaderLine(std::string_view line) {
    movedBytes += line.size();
    if (headersComplete) return;  // trailers
    std::string text = Trim(line);
    if (line.rfind("HTTP/", 0) == 0) {
      head = ResponseHead();
      head.statusLine = text;
      size_t sp = text.find(' ');
      head.version = text.substr(0, sp);
      if (sp != std::string::npos) {
        head.status = static_cast<DWORD>(std::strtoul(text.c_str() + sp + 1, nullptr, 10));
        size_t sp2 = text.find(' ', sp + 1);
        if (sp2 != std::string::npos) head.reason = text.substr(sp2 + 1);
      }
      return;
    }
    if (text.empty()) {
      if (head.status == 0 || head.status / 100 == 1) return;  // 1xx: another status line follows
      bool hasLocation = std::any_of(head.headers.begin(), head.headers.end(),
                                     [](const auto& h) { return strcasecmp(h.first.c_str(), "Location") == 0; });
      if (plan.followRedirects && IsRedirect(head.status) && hasLocation) return;  // libcurl follows it
      headersComplete = true;
      return;
    }
    size_t colon = text.find(':');
    if (colon == std::string::npos) return;
    head.rawLines.push_back(text);
    head.headers.emplace_back(Trim(std::string_view(text).substr(0, colon)),
                              Trim(std::string_view(text).substr(colon + 1)));
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    Impl* impl = static_cast<Impl*>(self);
    size_t bytes = size * count;
    if (!impl->headersComplete) return bytes;  // the body of a redirect or refusal libcurl moves past
    if (impl->Buffered() >= kBodyBufferCap) {
      impl->recvPaused = true;
      return CURL_WRITEFUNC_PAUSE;  // redelivered once the reader unpauses
    }
    if (impl->bodyOffset > 0 && impl->bodyOffset == impl->body.size()) {
      impl->body.clear();
      impl->bodyOffset = 0;
    }
    impl->body.append(data, bytes);
    impl->movedBytes += bytes;
    return bytes;
  }

  static size_t OnRead(char* buffer, size_t size, size_t count, void* self) {
    Impl* impl = static_cast<Impl*>(self);
    size_t room = size * count;
    size_t copied = 0;
    if (impl->optionalOffset < impl->optional.size()) {
      copied = std::min(room, impl->optional.size() - impl->optionalOffset);
      std::memcpy(buffer, impl->optional.data() + impl->optionalOffset, copied);
      impl->optionalOffset += copied;
    } else if (impl->pendingLength > 0) {
      copied = std::min(room, impl->pendingLength);
      std::memcpy(buffer, impl->pending, copied);
      impl->pending += copied;
      impl->pendingLength -= copied;
    } else if (impl->uploaded < impl->plan.totalLength) {
      impl->sendPaused = true;
      return CURL_READFUNC_PAUSE;
    }
    impl->uploaded += copied;
    impl->movedBytes += copied;
    return copied;
  }

  // Only the optional data can be sent again (a redirect or a connection retry).
  static int OnSeek(void* self, curl_off_t offset, int origin) {
    Impl* impl = static_cast<Impl*>(self);
    if (origin != SEEK_SET || offset != 0 || impl->uploaded > impl->optional.size()) return CURL_SEEKFUNC_CANTSEEK;
    impl->optionalOffset = 0;
    impl->uploaded = 0;
    return CURL_SEEKFUNC_OK;
  }

  // ---- set-up ----
  bool Configure() {
    GlobalInit();
    multi = curl_multi_init();
    easy = curl_easy_init();
    if (!multi || !easy) return false;
    curl_easy_setopt(easy, CURLOPT_URL, plan.url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_PROXY, plan.proxy.c_str());  // "" also ignores *_proxy variables
    if (!plan.proxy.empty() && plan.proxyCredentials) {
      curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
      curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, plan.proxyUser.c_str());
      curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, plan.proxyPassword.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    for (const std::string& entry : plan.resolve) resolveList = curl_slist_append(resolveList, entry.c_str());
    if (resolveList) curl_easy_setopt(easy, CURLOPT_RESOLVE, resolveList);
    for (const std::string& line : plan.headers) headerList = curl_slist_append(headerList, line.c_str());
    if (headerList) curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
    if (!plan.userAgent.empty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, plan.userAgent.c_str());

    if (plan.method == "HEAD") {
      curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (plan.hasBody) {
      curl_easy_setopt(easy, CURLOPT_POST, 1L);
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(plan.totalLength));
      curl_easy_setopt(easy, CURLOPT_READFUNCTION, &Impl::OnRead);
      curl_easy_setopt(easy, CURLOPT_READDATA, this);
      curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &Impl::OnSeek);
      curl_easy_setopt(easy, CURLOPT_SEEKDATA, this);
      if (plan.method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, plan.method.c_str());
    } else if (plan.method != "GET") {
      curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, plan.method.c_str());
    }

    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, plan.verifyPeer ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, plan.verifyHost ? 2L : 0L);
    if (plan.secureProtocols != 0)
      curl_easy_setopt(easy, CURLOPT_SSLVERSION, TlsMin(plan.secureProtocols) | TlsMax(plan.secureProtocols));

    if (plan.connectTimeoutMs != kNoTimeout && plan.connectTimeoutMs != 0)
      curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(plan.connectTimeoutMs));
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, plan.followRedirects ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, plan.maxRedirects);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, plan.redirectsHttpsOnly ? "https" : "http,https");

    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Impl::OnPrereq);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    return true;
  }

  // ---- the pump ----
  void ApplyPause() {
    int mask = (recvPaused ? CURLPAUSE_RECV : 0) | (sendPaused ? CURLPAUSE_SEND : 0);
    curl_easy_pause(easy, mask);
  }

  void CollectDone() {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
        done = true;
        result = msg->data.result;
      }
    }
    if (done && !headersComplete) {
      long connectCode = 0;
      curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connectCode);
      if (connectCode >= 300) {
        // The proxy refused the tunnel: answered as WinHTTP answers it, with the proxy's status.
        head = ResponseHead();
        head.status = static_cast<DWORD>(connectCode);
        head.reason = connectCode == 407 ? "Proxy Authentication Required" : "Proxy Error";
        head.statusLine = "HTTP/1.1 " + std::to_string(connectCode) + " " + head.reason;
        headersComplete = true;
        result = CURLE_OK;
      }
    }
  }

  DWORD MapResult() const {
    switch (result) {
      case CURLE_OK: return headersComplete ? 0 : ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
      case CURLE_UNSUPPORTED_PROTOCOL:  // an HTTP/0.9-style answer ends up here too
      case CURLE_WEIRD_SERVER_REPLY:
      case CURLE_GOT_NOTHING: return prereqFired ? ERROR_WINHTTP_INVALID_SERVER_RESPONSE : ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
      case CURLE_URL_MALFORMAT: return ERROR_WINHTTP_INVALID_URL;
      case CURLE_COULDNT_RESOLVE_PROXY:
      case CURLE_COULDNT_RESOLVE_HOST: return ERROR_WINHTTP_NAME_NOT_RESOLVED;
      case CURLE_COULDNT_CONNECT: return ERROR_WINHTTP_CANNOT_CONNECT;
      case CURLE_OPERATION_TIMEDOUT: return ERROR_WINHTTP_TIMEOUT;
      case CURLE_PARTIAL_FILE:
      case CURLE_SEND_ERROR:
      case CURLE_RECV_ERROR:
      case CURLE_HTTP2:
      case CURLE_HTTP2_STREAM: return ERROR_WINHTTP_CONNECTION_ERROR;
      case CURLE_SSL_CONNECT_ERROR: return ERROR_WINHTTP_SECURE_CHANNEL_ERROR;
      case CURLE_PEER_FAILED_VERIFICATION:
      case CURLE_SSL_CACERT_BADFILE:
      case CURLE_SSL_ISSUER_ERROR:
      case CURLE_SSL_INVALIDCERTSTATUS: return ERROR_WINHTTP_SECURE_FAILURE;
      case CURLE_TOO_MANY_REDIRECTS: return ERROR_WINHTTP_REDIRECT_FAILED;
      case CURLE_SEND_FAIL_REWIND: return ERROR_WINHTTP_RESEND_REQUEST;
      case CURLE_LOGIN_DENIED: return ERROR_WINHTTP_LOGIN_FAILURE;
      case CURLE_ABORTED_BY_CALLBACK: return ERROR_WINHTTP_OPERATION_CANCELLED;
      case CURLE_OUT_OF_MEMORY: return ERROR_NOT_ENOUGH_MEMORY;
      default: return ERROR_WINHTTP_INTERNAL_ERROR;
    }
  }

  // Drives the transfer until `ready()` holds or it ends. Fails with 12002 after `idleMs`
  // without a byte moving (kNoTimeout: no limit).
  template <class Ready>
  DWORD Pump(Ready ready, DWORD idleMs) {
    using Clock = std::chrono::steady_clock;
    auto lastMove = Clock::now();
    uint64_t seen = movedBytes;
    for (;;) {
      if (ready()) return 0;
      if (done) return MapResult();
      int running = 0;
      if (curl_multi_perform(multi, &running) != CURLM_OK) return ERROR_WINHTTP_INTERNAL_ERROR;
      CollectDone();
      if (ready()) return 0;
      if (done) return MapResult();
      if (movedBytes != seen) {
        seen = movedBytes;
        lastMove = Clock::now();
      }
      int waitMs = 100;
      if (idleMs != kNoTimeout && idleMs != 0) {
        auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastMove).count();
        if (idle >= static_cast<long long>(idleMs)) return ERROR_WINHTTP_TIMEOUT;
        waitMs = static_cast<int>(std::min<long long>(waitMs, idleMs - idle));
      }
      curl_multi_poll(multi, nullptr, 0, waitMs, nullptr);
    }
  }

  static DWORD Shorter(DWORD a, DWORD b) {
    if (a == 0 || a == kNoTimeout) return b;
    if (b == 0 || b == kNoTimeout) return a;
    return std::min(a, b);
  }
};

CurlTransfer::CurlTransfer(TransferPlan plan) : impl_(std::make_unique<Impl>()) { impl_->plan = std::move(plan); }

CurlTransfer::~CurlTransfer() = default;

DWORD CurlTransfer::Start(std::vector<char> optional) {
  Impl& t = *impl_;
  if (!t.Configure()) return ERROR_NOT_ENOUGH_MEMORY;
  t.optional = std::move(optional);
  t.supplied = t.optional.size();
  if (curl_multi_add_handle(t.multi, t.easy) != CURLM_OK) return ERROR_WINHTTP_INTERNAL_ERROR;
  t.added = true;
  // Connection, proxy tunnel and TLS are bounded by libcurl's connect time-out.
  return t.Pump([&] { return t.prereqFired; }, kNoTimeout);
}

DWORD CurlTransfer::Write(const void* data, size_t length) {
  Impl& t = *impl_;
  if (t.supplied + length > t.plan.totalLength) return ERROR_INVALID_PARAMETER;
  t.pending = static_cast<const char*>(data);
  t.pendingLength = length;
  t.supplied += length;
  if (t.sendPaused) {
    t.sendPaused = false;
    t.ApplyPause();
  }
  DWORD error = t.Pump([&] { return t.pendingLength == 0; }, t.plan.sendTimeoutMs);
  t.pending = nullptr;
  t.pendingLength = 0;
  return error;
}

DWORD CurlTransfer::AwaitHeaders() {
  Impl& t = *impl_;
  // The announced body must be complete before the answer can come.
  if (t.plan.hasBody && t.supplied < t.plan.totalLength) return ERROR_WINHTTP_INCORRECT_HANDLE_STATE;
  return t.Pump([&] { return t.headersComplete; }, Impl::Shorter(t.plan.receiveTimeoutMs, t.plan.responseTimeoutMs));
}

const ResponseHead& CurlTransfer::Head() const { return impl_->head; }

DWORD CurlTransfer::Available(size_t& count) {
  Impl& t = *impl_;
  count = 0;
  if (t.Buffered() == 0) {
    if (t.recvPaused) {
      t.recvPaused = false;
      t.ApplyPause();  // may deliver data at once
    }
    DWORD error = t.Pump([&] { return t.Buffered() > 0; }, t.plan.receiveTimeoutMs);
    if (error != 0 && t.Buffered() == 0) return error;
  }
  count = t.Buffered();
  return 0;
}

DWORD CurlTransfer::Read(void* buffer, size_t max, size_t& got) {
  Impl& t = *impl_;
  got = 0;
  if (max == 0) return 0;
  size_t available = 0;
  if (DWORD error = Available(available); error != 0) return error;
  got = std::min(max, available);
  std::memcpy(buffer, t.body.data() + t.bodyOffset, got);
  t.bodyOffset += got;
  if (t.bodyOffset == t.body.size()) {
    t.body.clear();
    t.bodyOffset = 0;
  }
  return 0;
}

std::string CurlTransfer::EffectiveUrl() const {
  char* url = nullptr;
  if (impl_->easy && curl_easy_getinfo(impl_->easy, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url) return url;
  return impl_->plan.url;
}

}  // namespace hl::platform::winhttp
