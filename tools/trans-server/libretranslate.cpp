#include <httplib.h>

#include <nlohmann/json.hpp>

#include "tools/trans-server/backend.h"
#include "tools/trans-server/form.h"

namespace brevant::trans_server {

namespace {

// An answer larger than this is not a chat translation; reading stops there.
constexpr std::size_t kMaxUpstreamAnswer = 1024 * 1024;

struct Upstream {
  std::string origin;  // "http://host:port", as the client library takes it
  std::string path;    // the prefix before "/translate", without a trailing "/"
};

bool parse_upstream(std::string_view url, Upstream& out, std::string& error) {
  const std::size_t scheme_end = url.find("://");
  const std::string_view scheme =
      scheme_end == std::string_view::npos ? std::string_view() : url.substr(0, scheme_end);
  if (scheme != "http" && scheme != "https") {
    error = "the upstream must be an http:// or https:// address";
    return false;
  }
#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
  if (scheme == "https") {
    error = "this build has no TLS support: use an http:// upstream";
    return false;
  }
#endif
  const std::string_view rest = url.substr(scheme_end + 3);
  const std::size_t slash = rest.find('/');
  const std::string_view host = rest.substr(0, slash);
  if (host.empty() || host.find_first_of("?#@ ") != std::string_view::npos) {
    error = "the upstream address has no usable host";
    return false;
  }
  out.origin = std::string(scheme) + "://" + std::string(host);
  out.path = slash == std::string_view::npos ? std::string() : std::string(rest.substr(slash));
  if (out.path.find_first_of("?# ") != std::string::npos) {
    error = "the upstream address may have a path but no query";
    return false;
  }
  while (!out.path.empty() && out.path.back() == '/')
    out.path.pop_back();
  return true;
}

class LibreTranslateBackend : public Backend {
 public:
  LibreTranslateBackend(Upstream upstream, UpstreamConfig config)
      : upstream_(std::move(upstream)), config_(std::move(config)) {}

  Reply translate(const LangPair& pair, std::string_view text) const override {
    std::string form = "q=" + form_escape(text) +
                       "&source=" + form_escape(libretranslate_code(pair.source)) +
                       "&target=" + form_escape(libretranslate_code(pair.target)) + "&format=text";
    if (!config_.api_key.empty())
      form += "&api_key=" + form_escape(config_.api_key);

    // One client per request: requests run on several threads and a client is not shared.
    httplib::Client client(upstream_.origin);
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(config_.timeout);
    const auto usecs =
        std::chrono::duration_cast<std::chrono::microseconds>(config_.timeout - secs);
    client.set_connection_timeout(secs.count(), usecs.count());
    client.set_read_timeout(secs.count(), usecs.count());
    client.set_write_timeout(secs.count(), usecs.count());

    httplib::Request req;
    req.method = "POST";
    req.path = upstream_.path + "/translate";
    req.set_header("Content-Type", "application/x-www-form-urlencoded");
    req.set_header("Accept", "application/json");
    req.body = std::move(form);
    std::string answer;
    bool too_large = false;
    req.content_receiver = [&](const char* data, std::size_t size, std::uint64_t, std::uint64_t) {
      if (answer.size() + size > kMaxUpstreamAnswer) {
        too_large = true;
        return false;
      }
      answer.append(data, size);
      return true;
    };

    httplib::Response res;
    httplib::Error error = httplib::Error::Success;
    if (!client.send(req, res, error)) {
      if (too_large)
        return {502, "upstream error: the answer is too large"};
      return {502, "upstream unreachable: " + describe(error)};
    }
    if (res.status == 429)
      return {502, "upstream rate limit reached (429), try again later"};
    if (res.status < 200 || res.status > 299) {
      return {502, "upstream error: status " + std::to_string(res.status)};
    }
    std::string translated;
    if (!parse_libretranslate_answer(answer, translated))
      return {502, translated};
    return {200, std::move(translated)};
  }

 private:
  static std::string describe(httplib::Error error) {
    switch (error) {
      case httplib::Error::Connection:
        return "could not connect";
      case httplib::Error::ConnectionTimeout:
        return "connection timed out";
      case httplib::Error::Read:
        return "no answer in time";
      case httplib::Error::Write:
        return "could not send the request";
      case httplib::Error::SSLConnection:
      case httplib::Error::SSLLoadingCerts:
      case httplib::Error::SSLServerVerification:
        return "TLS failure";
      default:
        return "request failed";
    }
  }

  Upstream upstream_;
  UpstreamConfig config_;
};

}  // namespace

std::string_view libretranslate_code(std::string_view lang) {
  // Traditional Chinese is "zt" there as here; every other code is the same two letters.
  return lang;
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
