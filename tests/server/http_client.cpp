#include "tests/server/http_client.h"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

#include "tools/trans-server/form.h"

namespace brevant::trans_server::testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr auto kUseTuple = asio::as_tuple(asio::use_awaitable);

std::string lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

}  // namespace

std::string HttpAnswer::header(const std::string& lower_name) const {
  const auto it = headers.find(lower_name);
  return it == headers.end() ? std::string() : it->second;
}

std::string plugin_body(std::string_view text, std::string_view code) {
  return "domain=00&text=" + form_escape(text) + "&lang=" + std::string(code);
}

struct HttpClient::Impl {
  int port;
  std::chrono::milliseconds timeout;
  asio::io_context ioc;
  std::optional<beast::tcp_stream> stream;
  beast::flat_buffer buffer;

  asio::awaitable<std::optional<HttpAnswer>> once(http::request<http::string_body>& request,
                                                  bool& reused) {
    reused = stream.has_value();
    if (!stream) {
      stream.emplace(ioc);
      stream->expires_after(timeout);
      auto [ec] = co_await stream->async_connect(
          tcp::endpoint(asio::ip::address_v4::loopback(), static_cast<unsigned short>(port)),
          kUseTuple);
      if (ec) {
        stream.reset();
        co_return std::nullopt;
      }
      beast::error_code ignored;
      stream->socket().set_option(tcp::no_delay(true), ignored);
      buffer.clear();
    }
    stream->expires_after(timeout);
    auto [write_ec, written] = co_await http::async_write(*stream, request, kUseTuple);
    (void)written;
    http::response_parser<http::string_body> parser;
    parser.body_limit(64 * 1024 * 1024);
    beast::error_code read_ec = write_ec;
    if (!write_ec)
      std::tie(read_ec, std::ignore) =
          co_await http::async_read(*stream, buffer, parser, kUseTuple);
    if (read_ec) {
      stream.reset();
      co_return std::nullopt;
    }
    HttpAnswer answer;
    answer.status = static_cast<int>(parser.get().result_int());
    answer.body = std::move(parser.get().body());
    for (const auto& field : parser.get())
      answer.headers[lower(std::string(field.name_string()))] = std::string(field.value());
    if (!parser.get().keep_alive())
      stream.reset();
    co_return answer;
  }

  std::optional<HttpAnswer> request(http::verb verb, const std::string& target,
                                    const std::string& body, const std::string& type) {
    http::request<http::string_body> req{verb, target, 11};
    req.set(http::field::host, "127.0.0.1:" + std::to_string(port));
    if (verb == http::verb::post) {
      req.set(http::field::content_type, type);
      req.body() = body;
    }
    req.prepare_payload();
    // A kept connection the server has closed meanwhile fails once; then a fresh one is used.
    for (int attempt = 0; attempt < 2; ++attempt) {
      std::optional<HttpAnswer> result;
      bool reused = false;
      asio::co_spawn(
          ioc, [&]() -> asio::awaitable<void> { result = co_await once(req, reused); },
          asio::detached);
      ioc.restart();
      ioc.run();
      if (result || !reused)
        return result;
    }
    return std::nullopt;
  }
};

HttpClient::HttpClient(int port, std::chrono::milliseconds timeout)
    : impl_(std::make_unique<Impl>()) {
  impl_->port = port;
  impl_->timeout = timeout;
}

HttpClient::~HttpClient() = default;

std::optional<HttpAnswer> HttpClient::get(const std::string& target) {
  return impl_->request(http::verb::get, target, "", "");
}

std::optional<HttpAnswer> HttpClient::post(const std::string& target, const std::string& body,
                                           const std::string& type) {
  return impl_->request(http::verb::post, target, body, type);
}

struct FakeService::Impl {
  asio::io_context ioc{1};
  tcp::acceptor acceptor{ioc};
  std::thread thread;
  int port = 0;
  mutable std::mutex mutex;
  std::vector<Call> calls;
  int languages_failures = 0;
  bool exact = false;
  std::string languages = R"json([{"code":"en","name":"English"},{"code":"zh","name":"Chinese"},
      {"code":"zt","name":"Chinese (traditional)"},{"code":"ja","name":"Japanese"}])json";

  asio::awaitable<void> pause(std::chrono::milliseconds ms) {
    asio::steady_timer timer(co_await asio::this_coro::executor, ms);
    co_await timer.async_wait(kUseTuple);
  }

  static std::string json_answer(const std::string& text) {
    return nlohmann::json{{"detectedLanguage", {{"confidence", 99}, {"language", "x"}}},
                          {"translatedText", text}}
        .dump();
  }

  asio::awaitable<void> session(tcp::socket socket) {
    beast::tcp_stream stream(std::move(socket));
    beast::flat_buffer buffer;
    while (true) {
      http::request<http::string_body> req;
      stream.expires_after(std::chrono::seconds(30));
      auto [ec, n] = co_await http::async_read(stream, buffer, req, kUseTuple);
      (void)n;
      if (ec)
        co_return;
      Call call;
      call.path = std::string(req.target());
      if (req.method() == http::verb::post) {
        const FormFields fields = decode_form(req.body());
        call.q = form_value(fields, "q").value_or("");
        call.source = form_value(fields, "source").value_or("");
        call.target = form_value(fields, "target").value_or("");
        call.format = form_value(fields, "format").value_or("");
        call.api_key = form_value(fields, "api_key").value_or("");
      }
      std::string langs;
      bool fail_languages = false;
      bool exact_codes = false;
      {
        std::lock_guard lock(mutex);
        calls.push_back(call);
        langs = languages;
        fail_languages = call.path.ends_with("/languages") && languages_failures > 0;
        languages_failures -= fail_languages ? 1 : 0;
        exact_codes = exact;
      }
      std::string unknown_code;
      if (exact_codes && req.method() == http::verb::post) {
        for (const std::string* c : {&call.source, &call.target}) {
          if (langs.find("\"" + *c + "\"") == std::string::npos)
            unknown_code = *c;
        }
      }
      http::response<http::string_body> res{http::status::ok, req.version()};
      res.set(http::field::content_type, "application/json");
      const std::string& q = call.q;
      const std::string pair = call.source + "->" + call.target + ":";
      bool trickle = false;
      if (fail_languages) {
        res.result(http::status::internal_server_error);
        res.body() = R"({"error":"not ready"})";
      } else if (call.path.ends_with("/languages")) {
        res.body() = langs;
      } else if (!unknown_code.empty()) {
        res.result(http::status::bad_request);
        res.body() = nlohmann::json{{"error", unknown_code + " is not supported"}}.dump();
      } else if (q.starts_with("slow")) {
        co_await pause(std::chrono::milliseconds(2500));
        res.body() = json_answer(pair + q);
      } else if (q == "trickle") {
        trickle = true;
        res.body() = json_answer("too late");
      } else if (q.starts_with("delay")) {
        co_await pause(std::chrono::milliseconds(600));
        res.body() = json_answer(pair + q);
      } else if (q == "e500" || q == "e400" || q == "e403" || q == "e429") {
        res.result(static_cast<http::status>(std::stoi(q.substr(1))));
        const char* reason = q == "e400"   ? "zt is not supported"
                             : q == "e429" ? "Slowdown: 10 per 1 minute"
                                           : "Internal error";
        res.body() = nlohmann::json{{"error", q == "e403" ? "Invalid API key " + call.api_key
                                                          : std::string(reason)}}
                         .dump();
        if (q == "e429")
          res.set(http::field::retry_after, "7");
      } else if (q == "html") {
        res.set(http::field::content_type, "text/html");
        res.body() = "<html><body>hello</body></html>";
      } else if (q == "nofield") {
        res.body() = R"({"translated":"hello"})";
      } else if (q == "huge") {
        res.body() = json_answer(std::string(2 * 1024 * 1024, 'a'));
      } else {
        std::string text = q.starts_with("ok:") ? q.substr(3) : q;
        if (text.find("mangle") != std::string::npos) {
          for (const char* bracket : {"\xE2\x9F\xA6", "\xE2\x9F\xA7"}) {
            for (std::size_t at; (at = text.find(bracket)) != std::string::npos;)
              text.erase(at, 3);
          }
        }
        res.body() = json_answer(pair + text);
      }
      res.keep_alive(req.keep_alive());
      res.prepare_payload();
      stream.expires_after(std::chrono::seconds(60));
      if (trickle) {
        http::response_serializer<http::string_body> head(res);
        auto [hec, hn] = co_await http::async_write_header(stream, head, kUseTuple);
        (void)hn;
        for (std::size_t i = 0; !hec && i < res.body().size(); ++i) {
          co_await pause(std::chrono::milliseconds(300));
          auto [bec, bn] =
              co_await asio::async_write(stream, asio::buffer(res.body().data() + i, 1), kUseTuple);
          (void)bn;
          if (bec)
            co_return;
        }
        co_return;
      }
      auto [wec, wn] = co_await http::async_write(stream, res, kUseTuple);
      (void)wn;
      if (wec || !req.keep_alive())
        co_return;
    }
  }

  asio::awaitable<void> accept_loop() {
    while (true) {
      auto [ec, socket] = co_await acceptor.async_accept(kUseTuple);
      if (ec)
        co_return;
      asio::co_spawn(ioc, session(std::move(socket)), asio::detached);
    }
  }
};

FakeService::FakeService() : impl_(std::make_unique<Impl>()) {
  const tcp::endpoint endpoint(asio::ip::address_v4::loopback(), 0);
  impl_->acceptor.open(endpoint.protocol());
  impl_->acceptor.bind(endpoint);
  impl_->acceptor.listen(asio::socket_base::max_listen_connections);
  impl_->port = impl_->acceptor.local_endpoint().port();
  asio::co_spawn(impl_->ioc, impl_->accept_loop(), asio::detached);
  impl_->thread = std::thread([this] { impl_->ioc.run(); });
}

FakeService::~FakeService() {
  impl_->ioc.stop();
  impl_->thread.join();
}

std::string FakeService::url() const {
  return "http://127.0.0.1:" + std::to_string(impl_->port);
}

void FakeService::set_languages(std::string json) {
  std::lock_guard lock(impl_->mutex);
  impl_->languages = std::move(json);
}

void FakeService::fail_languages(int times) {
  std::lock_guard lock(impl_->mutex);
  impl_->languages_failures = times;
}

void FakeService::exact_codes(bool on) {
  std::lock_guard lock(impl_->mutex);
  impl_->exact = on;
}

std::vector<FakeService::Call> FakeService::calls() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->calls;
}

std::size_t FakeService::calls_to(const std::string& path) const {
  std::lock_guard lock(impl_->mutex);
  std::size_t n = 0;
  for (const Call& c : impl_->calls)
    n += c.path.ends_with(path) ? 1 : 0;
  return n;
}

long peak_memory_kib(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmHWM:", 0) == 0)
      return std::stol(line.substr(6));
  }
  return 0;
}

}  // namespace brevant::trans_server::testing
