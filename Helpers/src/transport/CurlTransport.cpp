#include "helpers/CurlTransport.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <new>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include <curl/curl.h>

#include "CurlErrorMapping.hpp"
#include "base/ThreadSafety.hpp"
#include "base/URL.hpp"
#include "concurrency/CurrentTask.hpp"
#include "helpers/LogRedaction.hpp"
#include "helpers/URLError.hpp"
#include "helpers/detail/ResponseHeaderCollector.hpp"

namespace zirudeze::helpers {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kLargeBody = 1024 * 1024;
constexpr long kUploadBuffer = 64 * 1024;  // libcurl's own default
constexpr long kLargeUploadBuffer = 2 * 1024 * 1024;
constexpr long kDownloadBuffer = CURL_MAX_WRITE_SIZE;  // libcurl's own default
constexpr long kStreamBuffer = 256L * 1024;

void initialiseCurlOnce() {
  static const bool initialised = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return true;
  }();
  (void)initialised;
}

// DNS answers and TLS sessions are shared by every handle of one transport.
class CurlShare {
 public:
  CurlShare() : share_(curl_share_init()) {
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &CurlShare::lock);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &CurlShare::unlock);
    curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }
  ~CurlShare() { curl_share_cleanup(share_); }
  CurlShare(const CurlShare&) = delete;
  CurlShare& operator=(const CurlShare&) = delete;

  CURLSH* get() const noexcept { return share_; }

 private:
  // libcurl takes and lets go of these in separate calls, which the analysis cannot pair up.
  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) VM_NO_THREAD_SAFETY_ANALYSIS {
    static_cast<CurlShare*>(self)->mutexFor(data).lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* self) VM_NO_THREAD_SAFETY_ANALYSIS {
    static_cast<CurlShare*>(self)->mutexFor(data).unlock();
  }
  velmoria::base::Mutex& mutexFor(curl_lock_data data) {
    const auto index = static_cast<std::size_t>(data);
    return mutexes_[index < mutexes_.size() ? index : 0];
  }

  CURLSH* share_;
  std::array<velmoria::base::Mutex, CURL_LOCK_DATA_LAST> mutexes_;
};

enum class Abort { none, cancelled, timedOut, tooLarge, handlerFailed, bodyFailed, redirectRefused, redirectTaken };

// Per-transfer state the callbacks write into.
struct Transfer {
  explicit Transfer(std::size_t maxBytes) : maxBytes(maxBytes) {}

  std::size_t maxBytes;
  detail::ResponseHeaderCollector headers;
  velmoria::base::Data body;
  Abort abort = Abort::none;
  Clock::time_point lastActivity = Clock::now();
  curl_off_t lastUploaded = 0;
  CURL* easy = nullptr;

  // Streaming only.
  const StreamHandlers* stream = nullptr;
  bool responseDelivered = false;
  std::exception_ptr handlerError;

  // Data transfers only: the response, read while the handle was still ours.
  std::shared_ptr<const HTTPURLResponse> finalResponse;

  // A body read while it is sent: where it comes from, this send's reader, how much of it was handed to
  // libcurl, and why reading it failed.
  const HTTPBodyStream* bodyStream = nullptr;
  std::unique_ptr<HTTPBodyStream::Reader> bodyReader;
  std::uint64_t bodySent = 0;
  std::exception_ptr bodyError;
  // Whether the request may carry a body (any method but GET and HEAD), which no redirect takes to
  // another origin.
  bool mayCarryBody = false;
  // Whether a redirect that turns a request into a GET would change it (any method but GET, HEAD and
  // POST: libcurl would send its method again without its body).
  bool methodIsKeptOnlyBy307And308 = false;
  // Whether the request carries a credential (apikey, Authorization, ...), which no redirect takes to
  // another origin.
  bool carriesCredentials = false;
  // Where a redirect to another origin goes, when it is taken here rather than by libcurl.
  std::string redirectTarget;
};

// What the callbacks reach; it lives in the handle, so libcurl is told its address once.
struct CallbackContext {
  Transfer* transfer = nullptr;
  const std::string* url = nullptr;
};

struct CurlSlist {
  curl_slist* list = nullptr;
  CurlSlist() = default;
  CurlSlist(const CurlSlist&) = delete;
  CurlSlist& operator=(const CurlSlist&) = delete;
  ~CurlSlist() { curl_slist_free_all(list); }
  void clear() {
    curl_slist_free_all(list);
    list = nullptr;
  }
  void append(const std::string& line) {
    if (curl_slist* next = curl_slist_append(list, line.c_str())) list = next;
  }
};

// One easy handle driven by its own multi handle, so a stop request can wake the wait at once. The
// multi handle keeps the connection cache: a handle taken again reuses its open connection. libcurl
// keeps options from one transfer to the next, so what every request shares is set once and what
// varies is set on every use, each time in full.
struct PooledHandle {
  CURL* easy = curl_easy_init();
  CURLM* multi = curl_multi_init();
  bool configured = false;
  CallbackContext context;
  std::array<char, CURL_ERROR_SIZE> errorBuffer{};
  long connectTimeoutMs = -1;
  long reportsProgress = -1;
  long uploadBufferSize = kUploadBuffer;
  long downloadBufferSize = kDownloadBuffer;
  // The header list libcurl holds and the request fields it was made from, reused while they match.
  CurlSlist headerList;
  std::vector<std::pair<std::string, std::string>> listedFields;
  bool hasHeaderList = false;

  PooledHandle() {
    if (!easy || !multi) throw std::bad_alloc();
    curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, 4L);
  }
  ~PooledHandle() {
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
  }
  PooledHandle(const PooledHandle&) = delete;
  PooledHandle& operator=(const PooledHandle&) = delete;

  void setLong(CURLoption option, long value, long& current) {
    if (current == value) return;
    curl_easy_setopt(easy, option, value);
    current = value;
  }
};

bool isSafeHeaderText(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

std::string effectiveURL(CURL* easy, const std::string& fallback) {
  char* url = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url) return url;
  return fallback;
}

std::shared_ptr<HTTPURLResponse> makeResponse(Transfer& transfer, const std::string& requestURL) {
  auto response = std::make_shared<HTTPURLResponse>();
  long status = 0;
  curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
  response->statusCode = status > 0 ? static_cast<int>(status) : transfer.headers.statusCode();
  response->url = effectiveURL(transfer.easy, requestURL);
  curl_off_t length = -1;
  if (curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0) {
    response->expectedContentLength = static_cast<std::int64_t>(length);
  } else if (const auto announced = transfer.headers.contentLength()) {
    response->expectedContentLength = static_cast<std::int64_t>(*announced);
  }
  // A finished data transfer reads no more header lines; a stream may (trailers), so it keeps its own.
  response->allHeaderFields = transfer.stream ? transfer.headers.fields() : transfer.headers.takeFields();
  if (auto type = response->value("Content-Type")) {
    auto mime = type->substr(0, type->find(';'));
    while (!mime.empty() && mime.back() == ' ') mime.pop_back();
    std::transform(mime.begin(), mime.end(), mime.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
    response->mimeType = std::move(mime);
  }
  return response;
}

void deliverResponseOnce(Transfer& transfer, const std::string& requestURL) {
  if (transfer.responseDelivered) return;
  transfer.responseDelivered = true;
  const auto response = makeResponse(transfer, requestURL);
  if (transfer.stream->onResponse) transfer.stream->onResponse(*response);
}

// Scheme, host and port, the port written out.
std::optional<std::string> originOf(const velmoria::base::URL& url, const std::optional<std::string>& schemeIfNone) {
  auto scheme = url.scheme() ? url.scheme() : schemeIfNone;
  const auto host = url.host();
  if (!scheme || !host) return std::nullopt;
  std::transform(scheme->begin(), scheme->end(), scheme->begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
  std::string lowerHost = *host;
  std::transform(lowerHost.begin(), lowerHost.end(), lowerHost.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
  const int port = url.port().value_or(*scheme == "https" ? 443 : 80);
  return *scheme + "://" + lowerHost + ":" + std::to_string(port);
}

// `location` as an absolute URL, resolved against `base`.
std::optional<std::string> resolvedURL(const std::string& base, const std::string& location) {
  const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
  if (!url || curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_URL, location.c_str(), 0) != CURLUE_OK)
    return std::nullopt;
  char* text = nullptr;
  if (curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK || !text) return std::nullopt;
  std::string resolved(text);
  curl_free(text);
  return resolved;
}

enum class RedirectStep { followedByCurl, answered, takenWithoutCredentials };

// Which redirects libcurl follows as they are. Refused, so that their own answer is the response: from
// https to http (a downgrade would expose the request), one that would send a changed request (a PUT
// redirected with 303 goes out as a PUT without its body), and one with a body (a refresh token, a
// password) to another origin. A redirect to another origin that would carry the request's credentials
// is taken without them.
RedirectStep redirectStep(Transfer& transfer) {
  const int status = transfer.headers.statusCode();
  if (status < 300 || status > 399 || status == 304) return RedirectStep::followedByCurl;
  std::optional<std::string> location;
  for (const auto& [name, value] : transfer.headers.fields()) {
    if (name.size() == 8 && std::equal(name.begin(), name.end(), "location", [](char a, char b) {
          return ((a >= 'A' && a <= 'Z') ? static_cast<char>(a + 32) : a) == b;
        }))
      location = value;
  }
  if (!location) return RedirectStep::followedByCurl;
  if ((status == 301 || status == 302 || status == 303) && transfer.methodIsKeptOnlyBy307And308)
    return RedirectStep::answered;
  const std::string current = effectiveURL(transfer.easy, "");
  const auto from = velmoria::base::URL::parse(current);
  const auto to = velmoria::base::URL::parse(*location);
  if (!from || !to) return RedirectStep::answered;
  if (!to->scheme() && !to->host()) return RedirectStep::followedByCurl;  // a path on the same origin
  const auto fromOrigin = originOf(*from, std::nullopt);
  const auto toOrigin = originOf(*to, from->scheme());
  if (!fromOrigin || !toOrigin) return RedirectStep::answered;
  if (fromOrigin->rfind("https:", 0) == 0 && toOrigin->rfind("https:", 0) != 0) return RedirectStep::answered;
  if (*fromOrigin == *toOrigin) return RedirectStep::followedByCurl;
  if (transfer.mayCarryBody) return RedirectStep::answered;
  if (!transfer.carriesCredentials) return RedirectStep::followedByCurl;
  auto target = resolvedURL(current, *location);
  if (!target) return RedirectStep::answered;
  transfer.redirectTarget = std::move(*target);
  return RedirectStep::takenWithoutCredentials;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* context) {
  auto& transfer = *static_cast<CallbackContext*>(context)->transfer;
  const std::size_t length = size * count;
  transfer.lastActivity = Clock::now();
  transfer.headers.addLine(std::string_view(data, length));
  // At the end of a response's headers, before libcurl acts on them.
  if (transfer.headers.complete() && length <= 2) {
    switch (redirectStep(transfer)) {
      case RedirectStep::followedByCurl:
        break;
      case RedirectStep::answered:
        transfer.abort = Abort::redirectRefused;
        return 0;
      case RedirectStep::takenWithoutCredentials:
        transfer.abort = Abort::redirectTaken;
        return 0;
    }
  }
  if (!transfer.stream && transfer.headers.complete()) {
    if (const auto announced = transfer.headers.contentLength(); announced && *announced > transfer.maxBytes) {
      transfer.abort = Abort::tooLarge;
      return 0;
    } else if (announced && transfer.body.empty()) {
      // One buffer for the announced body instead of repeated growth; a wrong announcement only costs capacity.
      try {
        transfer.body.reserve(static_cast<std::size_t>(*announced));
      } catch (const std::bad_alloc&) {
        transfer.abort = Abort::tooLarge;
        return 0;
      }
    }
  }
  return length;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* context) {
  auto& write = *static_cast<CallbackContext*>(context);
  auto& transfer = *write.transfer;
  const std::size_t length = size * count;
  transfer.lastActivity = Clock::now();
  if (transfer.stream) {
    try {
      deliverResponseOnce(transfer, *write.url);
      if (transfer.stream->onChunk) transfer.stream->onChunk(velmoria::base::Data(data, data + length));
    } catch (...) {
      transfer.handlerError = std::current_exception();
      transfer.abort = Abort::handlerFailed;
      return 0;
    }
    return length;
  }
  if (length > transfer.maxBytes - std::min(transfer.maxBytes, transfer.body.size())) {
    transfer.abort = Abort::tooLarge;
    return 0;
  }
  try {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    transfer.body.insert(transfer.body.end(), bytes, bytes + length);
  } catch (const std::bad_alloc&) {
    transfer.abort = Abort::tooLarge;
    return 0;
  }
  return length;
}

// Hands libcurl the next piece of a streamed body. A reader that fails, or that ends before the announced
// length, aborts the transfer: a body cut short must never reach the server as a complete request.
std::size_t onRead(char* buffer, std::size_t size, std::size_t count, void* context) {
  auto& transfer = *static_cast<CallbackContext*>(context)->transfer;
  if (!transfer.bodyReader) return 0;
  try {
    const std::uint64_t remaining = transfer.bodyStream->length() - transfer.bodySent;
    if (remaining == 0) return 0;
    const std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(size * count, remaining));
    const std::size_t filled =
        std::min(room, transfer.bodyReader->read(std::span(reinterpret_cast<std::uint8_t*>(buffer), room)));
    if (filled == 0) {
      throw URLError(URLError::Code::requestBodyStreamExhausted, *static_cast<CallbackContext*>(context)->url,
                     "the body ended " + std::to_string(remaining) + " bytes early");
    }
    transfer.bodySent += filled;
    return filled;
  } catch (...) {
    transfer.bodyError = std::current_exception();
    transfer.abort = Abort::bodyFailed;
    return CURL_READFUNC_ABORT;
  }
}

// libcurl sends a body again from its start when a reused connection turned out dead, or when a redirect
// keeps the method; the body is then read by a new reader.
int onSeek(void* context, curl_off_t offset, int origin) {
  auto& transfer = *static_cast<CallbackContext*>(context)->transfer;
  if (!transfer.bodyStream || offset != 0 || origin != SEEK_SET) return CURL_SEEKFUNC_CANTSEEK;
  try {
    transfer.bodyReader = transfer.bodyStream->open();
    transfer.bodySent = 0;
    return CURL_SEEKFUNC_OK;
  } catch (...) {
    transfer.bodyError = std::current_exception();
    transfer.abort = Abort::bodyFailed;
    return CURL_SEEKFUNC_FAIL;
  }
}

int onProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
  auto& transfer = *static_cast<CallbackContext*>(context)->transfer;
  if (uploaded != transfer.lastUploaded) {
    transfer.lastUploaded = uploaded;
    transfer.lastActivity = Clock::now();
  }
  return 0;
}

// Every method option is set again, so nothing of the handle's previous request is left: HTTPGET clears
// a previous HEAD or POST, the custom method is dropped unless this request has one.
void setMethod(PooledHandle& handle, const std::string& method, const velmoria::base::Data* body,
               const HTTPBodyStream* stream) {
  CURL* easy = handle.easy;
  curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr);
  // No pointer into an earlier request's body stays behind.
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, nullptr);
  curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(-1));
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  if (method == "GET" && !body && !stream) return;
  if (method == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    return;
  }
  const bool sendsBody = body || stream || method == "POST" || method == "PUT" || method == "PATCH";
  if (stream) {
    // Without POSTFIELDS libcurl asks the read function for the body, exactly as long as announced.
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(stream->length()));
    handle.setLong(CURLOPT_UPLOAD_BUFFERSIZE, stream->length() > kLargeBody ? kLargeUploadBuffer : kUploadBuffer,
                   handle.uploadBufferSize);
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &onRead);
    curl_easy_setopt(easy, CURLOPT_READDATA, &handle.context);
    curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &onSeek);
    curl_easy_setopt(easy, CURLOPT_SEEKDATA, &handle.context);
  } else if (sendsBody) {
    static const char empty = 0;
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body ? body->size() : 0));
    // Large bodies go out in large writes rather than the default 64 KiB pieces.
    handle.setLong(CURLOPT_UPLOAD_BUFFERSIZE, body && body->size() > kLargeBody ? kLargeUploadBuffer : kUploadBuffer,
                   handle.uploadBufferSize);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS,
                     body && !body->empty() ? reinterpret_cast<const char*>(body->data()) : &empty);
  }
  if (method != "POST" || !sendsBody) curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
}

// Only web URLs are fetched; anything else fails before a connection is made.
void checkScheme(const std::string& url) {
  const auto colon = url.find(':');
  if (colon == std::string::npos || colon == 0) throw URLError(URLError::Code::badURL, url);
  std::string scheme = url.substr(0, colon);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
  if (scheme != "http" && scheme != "https") throw URLError(URLError::Code::unsupportedURL, url);
}

}  // namespace

struct CurlTransport::Impl {
  explicit Impl(CurlTransportOptions options) : options(options) {}

  CurlTransportOptions options;
  CurlShare share;
  velmoria::base::Mutex poolMutex;
  std::vector<std::unique_ptr<PooledHandle>> idle VM_GUARDED_BY(poolMutex);

  std::unique_ptr<PooledHandle> acquire() {
    {
      const velmoria::base::MutexLock lock(poolMutex);
      if (!idle.empty()) {
        auto handle = std::move(idle.back());
        idle.pop_back();
        return handle;
      }
    }
    return std::make_unique<PooledHandle>();
  }

  void release(std::unique_ptr<PooledHandle> handle) {
    const velmoria::base::MutexLock lock(poolMutex);
    if (idle.size() < options.maxIdleHandles) idle.push_back(std::move(handle));
  }

  // The options every request of this transport shares.
  void configure(PooledHandle& handle) {
    CURL* easy = handle.easy;
    curl_easy_setopt(easy, CURLOPT_SHARE, share.get());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 16L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.trustedCertificateAuthorities.empty()) {
      curl_blob authorities{options.trustedCertificateAuthorities.data(), options.trustedCertificateAuthorities.size(),
                            CURL_BLOB_COPY};
      curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &authorities);
    }
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, handle.errorBuffer.data());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &handle.context);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &handle.context);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &handle.context);
    handle.configured = true;
  }

  // Builds the header list only when the fields differ from those of the handle's previous request.
  static void setHeaders(PooledHandle& handle, const URLRequest& request) {
    if (handle.hasHeaderList && handle.listedFields == request.allHTTPHeaderFields) return;
    handle.headerList.clear();
    handle.hasHeaderList = false;
    for (const auto& [name, value] : request.allHTTPHeaderFields) {
      // "Name;" is how libcurl sends a header whose value is empty.
      handle.headerList.append(value.empty() ? name + ";" : name + ": " + value);
    }
    // libcurl would add a form content type and "Expect: 100-continue" on its own.
    if (!request.value("Content-Type")) handle.headerList.append("Content-Type:");
    if (!request.value("Expect")) handle.headerList.append("Expect:");
    curl_easy_setopt(handle.easy, CURLOPT_HTTPHEADER, handle.headerList.list);
    handle.listedFields = request.allHTTPHeaderFields;
    handle.hasHeaderList = true;
  }

  // Runs one transfer to its end. Returns normally only when the server answered completely, or with
  // the address of a redirect to take without the request's credentials (nothing of it delivered).
  std::optional<std::string> perform(const URLRequest& request, const velmoria::base::Data* body, Transfer& transfer,
                                     std::stop_token stop) {
    if (stop.stop_requested()) throw URLError(URLError::Code::cancelled, request.url);
    checkScheme(request.url);
    for (const auto& [name, value] : request.allHTTPHeaderFields) {
      if (!detail::isHeaderNameToken(name) || !isSafeHeaderText(value)) {
        throw URLError(URLError::Code::badURL, request.url, "header field cannot be sent: " + name);
      }
    }
    if (!isSafeHeaderText(request.httpMethod) || request.httpMethod.empty() ||
        !detail::isHeaderNameToken(request.httpMethod)) {
      throw URLError(URLError::Code::badURL, request.url, "invalid method");
    }

    // Opened before a connection is made, so a body that cannot be read fails with nothing sent.
    if (transfer.bodyStream) transfer.bodyReader = transfer.bodyStream->open();

    auto handle = acquire();
    CURL* easy = handle->easy;
    transfer.easy = easy;
    if (!handle->configured) configure(*handle);

    const double seconds = (request.timeoutInterval > 0 && std::isfinite(request.timeoutInterval))
                               ? std::min(request.timeoutInterval, 1e7)
                               : 60.0;
    const auto idleLimit = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));

    handle->context = CallbackContext{&transfer, &request.url};
    transfer.mayCarryBody =
        (request.httpMethod != "GET" && request.httpMethod != "HEAD") || body || transfer.bodyStream;
    transfer.methodIsKeptOnlyBy307And308 =
        request.httpMethod != "GET" && request.httpMethod != "HEAD" && request.httpMethod != "POST";
    transfer.carriesCredentials = std::any_of(request.allHTTPHeaderFields.begin(), request.allHTTPHeaderFields.end(),
                                              [](const auto& field) { return isSecretName(field.first); });
    handle->errorBuffer[0] = 0;
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    handle->setLong(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::max(1.0, seconds * 1000)),
                    handle->connectTimeoutMs);
    // Uploads count as activity through the progress callback; without a body there is nothing to count.
    const bool uploads = (body && !body->empty()) || (transfer.bodyStream && transfer.bodyStream->length() > 0);
    handle->setLong(CURLOPT_NOPROGRESS, uploads ? 0L : 1L, handle->reportsProgress);
    // A streamed body goes to its consumer in fewer, larger pieces; a piece still leaves as soon as it
    // arrives.
    handle->setLong(CURLOPT_BUFFERSIZE, transfer.stream ? kStreamBuffer : kDownloadBuffer, handle->downloadBufferSize);
    setMethod(*handle, request.httpMethod, body, transfer.bodyStream);
    setHeaders(*handle, request);

    CURLM* multi = handle->multi;
    curl_multi_add_handle(multi, easy);
    CURLcode result = CURLE_OK;
    {
      std::stop_callback wake(stop, [multi] { curl_multi_wakeup(multi); });
      transfer.lastActivity = Clock::now();
      for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
          result = CURLE_FAILED_INIT;
          break;
        }
        if (running == 0) {
          int left = 0;
          while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) result = message->data.result;
          }
          break;
        }
        if (transfer.abort != Abort::none) break;
        if (stop.stop_requested()) {
          transfer.abort = Abort::cancelled;
          break;
        }
        const auto idleFor = Clock::now() - transfer.lastActivity;
        if (idleFor >= idleLimit) {
          transfer.abort = Abort::timedOut;
          break;
        }
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(idleLimit - idleFor).count() + 1;
        curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::clamp<long long>(remaining, 1, 1000)), nullptr);
      }
    }
    curl_multi_remove_handle(multi, easy);
    // A redirect not followed ends the transfer with its own answer.
    if (transfer.abort == Abort::redirectRefused) {
      transfer.abort = Abort::none;
      result = CURLE_OK;
    }
    const bool redirected = transfer.abort == Abort::redirectTaken;
    if (redirected) {
      transfer.abort = Abort::none;
      result = CURLE_OK;
    }

    if (result == CURLE_OK && transfer.abort == Abort::none && !redirected) {
      if (transfer.stream) {
        try {
          deliverResponseOnce(transfer, request.url);
        } catch (...) {
          transfer.handlerError = std::current_exception();
          transfer.abort = Abort::handlerFailed;
        }
      } else {
        transfer.finalResponse = makeResponse(transfer, request.url);
      }
    }
    detail::CurlFailureContext failure;
    if (result != CURLE_OK) {
      curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &failure.osErrno);
      curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &failure.sslVerifyResult);
    }
    const std::string detailText = handle->errorBuffer[0] ? handle->errorBuffer.data() : curl_easy_strerror(result);
    handle->context = CallbackContext{};
    release(std::move(handle));

    switch (transfer.abort) {
      case Abort::cancelled:
        throw URLError(URLError::Code::cancelled, request.url);
      case Abort::timedOut:
        throw URLError(URLError::Code::timedOut, request.url, "no data within the timeout");
      case Abort::tooLarge:
        throw URLError(URLError::Code::dataLengthExceedsMaximum, request.url, "response body exceeds the limit");
      case Abort::handlerFailed:
        std::rethrow_exception(transfer.handlerError);
      case Abort::bodyFailed:
        std::rethrow_exception(transfer.bodyError);
      case Abort::redirectRefused:
      case Abort::redirectTaken:
      case Abort::none:
        break;
    }
    if (result != CURLE_OK) throw URLError(detail::urlErrorCodeFor(result, failure), request.url, detailText);
    if (redirected) return std::move(transfer.redirectTarget);
    return std::nullopt;
  }

  // Runs the request, and each redirect to another origin that it takes without its credentials, with a
  // transfer state of its own for each (made by `start`). Returns the state of the one that answered.
  template <class Start>
  Transfer performFollowing(const URLRequest& request, const velmoria::base::Data* body, const Start& start,
                            std::stop_token stop) {
    constexpr int kMaxRedirects = 16;
    std::optional<URLRequest> redirected;
    for (int hops = 0;; ++hops) {
      const URLRequest& current = redirected ? *redirected : request;
      Transfer transfer = start();
      if (!body) transfer.bodyStream = current.httpBodyStream.get();
      auto target = perform(current, body, transfer, stop);
      if (!target) return transfer;
      if (hops == kMaxRedirects) throw URLError(URLError::Code::httpTooManyRedirects, request.url);
      URLRequest next = current;
      next.url = std::move(*target);
      std::erase_if(next.allHTTPHeaderFields, [](const auto& field) { return isSecretName(field.first); });
      redirected = std::move(next);
    }
  }

  FetchResult run(const URLRequest& request, const velmoria::base::Data* body, std::stop_token stop) {
    Transfer transfer = performFollowing(
        request, body, [this] { return Transfer(options.maxResponseBytes); }, effectiveStopToken(stop));
    return {std::move(transfer.body), std::move(transfer.finalResponse)};
  }
};

CurlTransport::CurlTransport(CurlTransportOptions options) {
  initialiseCurlOnce();
  impl_ = std::make_unique<Impl>(options);
}

CurlTransport::~CurlTransport() = default;

std::shared_ptr<CurlTransport> CurlTransport::shared() {
  static const auto transport = std::make_shared<CurlTransport>();
  return transport;
}

FetchResult CurlTransport::data(const URLRequest& request, std::stop_token stop) {
  return impl_->run(request, request.httpBody ? &*request.httpBody : nullptr, std::move(stop));
}

FetchResult CurlTransport::upload(const URLRequest& request, const velmoria::base::Data& body, std::stop_token stop) {
  return impl_->run(request, &body, std::move(stop));
}

void CurlTransport::stream(const URLRequest& request, StreamHandlers handlers, std::stop_token stop) {
  std::exception_ptr failure;
  try {
    impl_->performFollowing(
        request, request.httpBody ? &*request.httpBody : nullptr,
        [&handlers] {
          Transfer transfer(0);
          transfer.stream = &handlers;
          return transfer;
        },
        effectiveStopToken(stop));
  } catch (...) {
    failure = std::current_exception();
  }
  if (handlers.onComplete) handlers.onComplete(failure);
}

}  // namespace zirudeze::helpers
