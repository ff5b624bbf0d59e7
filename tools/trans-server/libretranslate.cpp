// The libretranslate back end: calls to the service on the server's own threads, each request's
// calls ending by one deadline, answers shared between requests.

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#ifdef BREVANT_TRANS_SERVER_TLS
#include <boost/asio/ssl.hpp>
#include <boost/beast/ssl.hpp>
#endif

#include <nlohmann/json.hpp>

#include <mutex>

#include "tools/trans-server/backend.h"
#include "tools/trans-server/form.h"
#include "tools/trans-server/shared_answers.h"

namespace brevant::trans_server {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr auto kUseTuple = asio::as_tuple(asio::use_awaitable);

// An answer larger than this is not a chat translation; reading stops there.
constexpr std::size_t kMaxUpstreamAnswer = 1024 * 1024;

// After a failed /languages the question is asked again this much later; meanwhile both forms
// of the Chinese codes are tried.
constexpr auto kLanguagesRetry = std::chrono::seconds(2);

// /languages may take at most this, and at most half the time a request has left, so that a
// slow one leaves time for the translation itself.
constexpr auto kLanguagesTime = std::chrono::seconds(2);

struct Upstream {
  bool tls = false;
  std::string host;         // without brackets for an IPv6 address
  std::string port;         // "80", "443" or as given
  std::string host_header;  // as given in the address
  std::string path;         // the prefix before "/translate", without a trailing "/"
};

bool parse_upstream(std::string_view url, Upstream& out, std::string& error) {
  const std::size_t scheme_end = url.find("://");
  const std::string_view scheme =
      scheme_end == std::string_view::npos ? std::string_view() : url.substr(0, scheme_end);
  if (scheme != "http" && scheme != "https") {
    error = "the upstream must be an http:// or https:// address";
    return false;
  }
#ifndef BREVANT_TRANS_SERVER_TLS
  if (scheme == "https") {
    error = "this build has no TLS support: use an http:// upstream";
    return false;
  }
#endif
  out.tls = scheme == "https";
  const std::string_view rest = url.substr(scheme_end + 3);
  const std::size_t slash = rest.find('/');
  const std::string_view authority = rest.substr(0, slash);
  if (authority.empty() || authority.find_first_of("?#@ ") != std::string_view::npos) {
    error = "the upstream address has no usable host";
    return false;
  }
  std::string_view host = authority;
  std::string_view port;
  if (authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) {
      error = "the upstream address has no usable host";
      return false;
    }
    host = authority.substr(1, close - 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') {
        error = "the upstream address has no usable host";
        return false;
      }
      port = authority.substr(close + 2);
    }
  } else if (const std::size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty() ||
      (!port.empty() && port.find_first_not_of("0123456789") != std::string_view::npos)) {
    error = "the upstream address has no usable host";
    return false;
  }
  out.host = std::string(host);
  out.port = port.empty() ? (out.tls ? "443" : "80") : std::string(port);
  out.host_header = std::string(authority);
  out.path = slash == std::string_view::npos ? std::string() : std::string(rest.substr(slash));
  if (out.path.find_first_of("?# ") != std::string::npos) {
    error = "the upstream address may have a path but no query";
    return false;
  }
  while (!out.path.empty() && out.path.back() == '/')
    out.path.pop_back();
  return true;
}

// What one exchange with the service gave: an HTTP status and body, or a failure (status 0)
// with its reason.
struct Exchange {
  int status = 0;
  std::string body;
  std::string failure;
  std::string retry_after;
};

// A value from the service that may reach the log or a client: printable ASCII, short, and
// never the API key.
std::string sanitized(std::string s, const std::string& api_key, std::size_t limit) {
  if (!api_key.empty()) {
    for (std::size_t at; (at = s.find(api_key)) != std::string::npos;)
      s.replace(at, api_key.size(), "[key]");
  }
  std::string out;
  for (const char c : s) {
    if (out.size() >= limit)
      break;
    out += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return out;
}

// The service's reason in an error answer: {"error": "..."}.
std::string service_reason(std::string_view body) {
  const nlohmann::json doc = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (doc.is_object()) {
    const auto it = doc.find("error");
    if (it != doc.end() && it->is_string())
      return it->get<std::string>();
  }
  return {};
}

std::string describe_read_failure(const beast::error_code& ec) {
  if (ec == http::error::body_limit || ec == http::error::header_limit)
    return "upstream error: the answer is too large";
  if (ec == beast::error::timeout)
    return "upstream unreachable: no answer in time";
  return "upstream unreachable: the connection broke";
}

// Sends `request` over a connected stream and reads the answer.
template <class Stream>
asio::awaitable<Exchange> send_and_read(Stream& stream, http::request<http::string_body>& request) {
  Exchange out;
  auto [write_ec, written] = co_await http::async_write(stream, request, kUseTuple);
  (void)written;
  if (write_ec) {
    out.failure = write_ec == beast::error::timeout
                      ? "upstream unreachable: no answer in time"
                      : "upstream unreachable: could not send the request";
    co_return out;
  }
  beast::flat_buffer buffer;
  http::response_parser<http::string_body> parser;
  parser.body_limit(kMaxUpstreamAnswer);
  auto [read_ec, read] = co_await http::async_read(stream, buffer, parser, kUseTuple);
  (void)read;
  if (read_ec) {
    out.failure = describe_read_failure(read_ec);
    co_return out;
  }
  out.status = static_cast<int>(parser.get().result_int());
  out.body = std::move(parser.get().body());
  if (const auto it = parser.get().find(http::field::retry_after); it != parser.get().end())
    out.retry_after = std::string(it->value());
  co_return out;
}

// The Chinese codes of the service's later releases.
ChineseCodes newer_codes() {
  ChineseCodes c;
  c.simplified = "zh-Hans";
  c.traditional = "zh-Hant";
  return c;
}

class LibreTranslateBackend : public Backend {
 public:
  LibreTranslateBackend(Upstream upstream, const UpstreamConfig& config)
      : upstream_(std::move(upstream)),
        config_(config),
        shared_({config.cache_entries, config.cache_bytes, config.cache_time}) {
#ifdef BREVANT_TRANS_SERVER_TLS
    if (upstream_.tls) {
      tls_ = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_client);
      tls_->set_default_verify_paths();
      tls_->set_verify_mode(asio::ssl::verify_peer);
    }
#endif
  }

  Clock::duration time_limit() const override {
    return config_.timeout;
  }

  asio::awaitable<Reply> translate(const LangPair& pair, std::string text,
                                   CallBudget& budget) const override {
    const auto chinese_lang = [](std::string_view l) { return l == "zh" || l == "zt"; };
    const bool chinese = chinese_lang(pair.source) || chinese_lang(pair.target);
    const std::string key =
        std::string(pair.source) + '\n' + std::string(pair.target) + '\n' + text;
    if (std::optional<Reply> shared = co_await shared_.join(key))
      co_return *shared;
    Reply reply;
    try {
      // While the service's Chinese codes are not known, the other form is tried after a
      // refusal: a service that matches codes exactly knows only one of them.
      ChineseCodes first;
      if (chinese)
        first = co_await chinese_codes(budget);
      std::vector<ChineseCodes> forms{first};
      if (chinese && !codes_known()) {
        const bool newer = forms[0].simplified == newer_codes().simplified;
        forms.push_back(newer ? ChineseCodes{} : newer_codes());
      }
      for (std::size_t i = 0; i < forms.size(); ++i) {
        int upstream_status = 0;
        reply = co_await call_translate(std::string(libretranslate_code(pair.source, forms[i])),
                                        std::string(libretranslate_code(pair.target, forms[i])),
                                        text, budget, upstream_status);
        if (i > 0 && reply.status == 200) {
          // The form that answered is tried first from now on, until /languages tells.
          std::lock_guard lock(mutex_);
          if (!codes_known_)
            codes_ = forms[i];
        }
        if (upstream_status != 400)
          break;
      }
    } catch (...) {
      shared_.finish(key, {500, "internal error"});
      throw;
    }
    shared_.finish(key, reply);
    co_return reply;
  }

 private:
  bool codes_known() const {
    std::lock_guard lock(mutex_);
    return codes_known_;
  }

  asio::awaitable<ChineseCodes> chinese_codes(CallBudget& budget) const {
    {
      std::lock_guard lock(mutex_);
      if (codes_known_ || Clock::now() < codes_retry_)
        co_return codes_;
    }
    static const std::string kKey = "\x01/languages";
    std::optional<Reply> shared = co_await shared_.join(kKey);
    Reply reply;
    if (shared) {
      reply = std::move(*shared);
    } else if (!budget.take()) {
      reply = {502, "no call left"};
      shared_.finish(kKey, reply);
    } else {
      http::request<http::string_body> request{http::verb::get, upstream_.path + "/languages", 11};
      request.set(http::field::accept, "application/json");
      const Clock::time_point now = Clock::now();
      const Clock::time_point deadline =
          now + std::min<Clock::duration>(kLanguagesTime, (budget.deadline - now) / 2);
      Exchange answer;
      try {
        answer = co_await exchange(request, deadline);
      } catch (...) {
        shared_.finish(kKey, {500, "internal error"});
        throw;
      }
      reply = {answer.status == 0 ? 502 : answer.status, std::move(answer.body)};
      if (answer.status == 0)
        reply.note = answer.failure;
      shared_.finish(kKey, reply);
    }
    ChineseCodes codes;
    const bool known = reply.status == 200 && parse_languages_answer(reply.body, codes);
    std::lock_guard lock(mutex_);
    if (!codes_known_) {
      if (known)
        codes_ = codes;
      codes_known_ = known;
      codes_retry_ = Clock::now() + kLanguagesRetry;
    }
    co_return codes_;
  }

  asio::awaitable<Reply> call_translate(const std::string& source, const std::string& target,
                                        const std::string& text, CallBudget& budget,
                                        int& upstream_status) const {
    if (!budget.take())
      co_return Reply{502, "upstream error: too many calls for one request"};
    std::string form = "q=" + form_escape(text) + "&source=" + form_escape(source) +
                       "&target=" + form_escape(target) + "&format=text";
    if (!config_.api_key.empty())
      form += "&api_key=" + form_escape(config_.api_key);
    http::request<http::string_body> request{http::verb::post, upstream_.path + "/translate", 11};
    request.set(http::field::content_type, "application/x-www-form-urlencoded");
    request.set(http::field::accept, "application/json");
    request.body() = std::move(form);

    const Exchange answer = co_await exchange(request, budget.deadline);
    upstream_status = answer.status;
    if (answer.status == 0)
      co_return Reply{502, answer.failure, {}, answer.failure};
    if (answer.status < 200 || answer.status > 299) {
      const std::string reason = sanitized(service_reason(answer.body), config_.api_key, 120);
      const std::string said = reason.empty() ? "" : ": " + reason;
      const std::string note = "upstream " + std::to_string(answer.status) + said;
      if (answer.status == 429) {
        co_return Reply{429, "upstream rate limit reached (429), try again later" + said,
                        sanitized(answer.retry_after, config_.api_key, 64), note};
      }
      co_return Reply{
          502, "upstream error: status " + std::to_string(answer.status) + said, {}, note};
    }
    std::string translated;
    if (!parse_libretranslate_answer(answer.body, translated))
      co_return Reply{502, translated, {}, translated};
    co_return Reply{200, std::move(translated)};
  }

  // One request to the service on a connection of its own, all of it by `deadline`.
  asio::awaitable<Exchange> exchange(http::request<http::string_body>& request,
                                     Clock::time_point deadline) const {
    request.set(http::field::host, upstream_.host_header);
    request.keep_alive(false);
    request.prepare_payload();
    const auto executor = co_await asio::this_coro::executor;
    Exchange out;

    // The resolver has no deadline of its own: a timer cancels it.
    const auto resolver = std::make_shared<tcp::resolver>(executor);
    asio::steady_timer timer(executor, deadline);
    timer.async_wait([weak = std::weak_ptr(resolver)](const beast::error_code& ec) {
      if (const auto r = weak.lock(); r && !ec)
        r->cancel();
    });
    auto [resolve_ec, endpoints] =
        co_await resolver->async_resolve(upstream_.host, upstream_.port, kUseTuple);
    timer.cancel();
    if (resolve_ec) {
      out.failure = resolve_ec == asio::error::operation_aborted
                        ? "upstream unreachable: no answer in time"
                        : "upstream unreachable: unknown host";
      co_return out;
    }

    beast::tcp_stream stream(executor);
    stream.expires_at(deadline);
    auto [connect_ec, endpoint] = co_await stream.async_connect(endpoints, kUseTuple);
    (void)endpoint;
    if (connect_ec) {
      out.failure = connect_ec == beast::error::timeout
                        ? "upstream unreachable: connection timed out"
                        : "upstream unreachable: could not connect";
      co_return out;
    }
    beast::error_code ignored;
    stream.socket().set_option(tcp::no_delay(true), ignored);
#ifdef BREVANT_TRANS_SERVER_TLS
    if (tls_) {
      beast::ssl_stream<beast::tcp_stream> secure(std::move(stream), *tls_);
      if (!SSL_set_tlsext_host_name(secure.native_handle(), upstream_.host.c_str())) {
        out.failure = "upstream unreachable: TLS failure";
        co_return out;
      }
      secure.set_verify_callback(asio::ssl::host_name_verification(upstream_.host));
      auto [handshake_ec] =
          co_await secure.async_handshake(asio::ssl::stream_base::client, kUseTuple);
      if (handshake_ec) {
        out.failure = handshake_ec == beast::error::timeout
                          ? "upstream unreachable: no answer in time"
                          : "upstream unreachable: TLS failure";
        co_return out;
      }
      out = co_await send_and_read(secure, request);
      beast::get_lowest_layer(secure).socket().close(ignored);
      co_return out;
    }
#endif
    out = co_await send_and_read(stream, request);
    stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
    co_return out;
  }

  const Upstream upstream_;
  const UpstreamConfig config_;
#ifdef BREVANT_TRANS_SERVER_TLS
  std::unique_ptr<asio::ssl::context> tls_;
#endif
  mutable SharedAnswers shared_;
  mutable std::mutex mutex_;
  mutable ChineseCodes codes_;
  mutable bool codes_known_ = false;
  mutable Clock::time_point codes_retry_{};
};

}  // namespace

std::string_view libretranslate_code(std::string_view lang, const ChineseCodes& chinese) {
  if (lang == "zh")
    return chinese.simplified;
  if (lang == "zt")
    return chinese.traditional;
  // Every other code is the same two letters there.
  return lang;
}

bool parse_languages_answer(std::string_view body, ChineseCodes& out) {
  const nlohmann::json doc = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded() || !doc.is_array())
    return false;
  bool hans = false;
  bool hant = false;
  for (const nlohmann::json& language : doc) {
    if (!language.is_object())
      return false;
    const auto code = language.find("code");
    if (code == language.end() || !code->is_string())
      return false;
    const std::string& c = code->get_ref<const std::string&>();
    hans = hans || c == "zh-Hans";
    hant = hant || c == "zh-Hant";
  }
  out = ChineseCodes{};
  if (hans)
    out.simplified = "zh-Hans";
  if (hant)
    out.traditional = "zh-Hant";
  return true;
}

bool parse_libretranslate_answer(std::string_view body, std::string& out) {
  const nlohmann::json doc = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded()) {
    out = "upstream error: the answer is not JSON";
    return false;
  }
  if (!doc.is_object()) {
    out = "upstream error: the answer is not a JSON object";
    return false;
  }
  const auto it = doc.find("translatedText");
  if (it == doc.end() || !it->is_string()) {
    out = "upstream error: the answer has no translatedText";
    return false;
  }
  out = it->get<std::string>();
  return true;
}

std::unique_ptr<Backend> make_libretranslate_backend(const UpstreamConfig& config,
                                                     std::string& error) {
  Upstream upstream;
  if (!parse_upstream(config.url, upstream, error))
    return nullptr;
  return std::make_unique<LibreTranslateBackend>(std::move(upstream), config);
}

}  // namespace brevant::trans_server
