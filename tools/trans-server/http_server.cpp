// The server's HTTP layer: one coroutine per connection on a few threads, so that slow or idle
// clients hold nothing but their own socket and buffer.

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "tools/trans-server/backend.h"
#include "tools/trans-server/server.h"

namespace brevant::trans_server {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr auto kUseTuple = asio::as_tuple(asio::use_awaitable);
constexpr char kPlainText[] = "text/plain; charset=utf-8";

// A body over 64 KiB is read and dropped (so a keep-alive connection stays in step) up to this
// size; beyond it the connection is closed after the refusal.
constexpr std::uint64_t kMaxDiscardedBody = 1024 * 1024;

// After refusing a request that was not read to its end, the rest is read and dropped for a
// while before closing, so that the refusal reaches the client instead of a reset.
constexpr auto kLingerTime = std::chrono::seconds(1);
constexpr std::size_t kLingerBytes = 256 * 1024;

// Refusals of connections over the limit being written at once; beyond, a socket is just closed.
constexpr int kMaxRefusals = 64;

// Reads one request into plain strings, counting header fields and keeping at most 64 KiB of
// the body (the rest is read and dropped).
class RequestParser : public http::basic_parser<true> {
 public:
  RequestParser() {
    header_limit(static_cast<std::uint32_t>(kMaxHeaderBytes));
    body_limit(kMaxDiscardedBody);
  }

  std::string method;
  std::string target;
  int version = 11;
  std::string body;
  bool body_too_large = false;
  bool too_many_fields = false;
  bool expect_continue = false;
  bool multipart = false;

 private:
  void on_request_impl(http::verb, beast::string_view method_str, beast::string_view target_str,
                       int v, beast::error_code&) override {
    method.assign(method_str.data(), method_str.size());
    target.assign(target_str.data(), target_str.size());
    version = v;
  }
  void on_response_impl(int, beast::string_view, int, beast::error_code&) override {}
  void on_field_impl(http::field name, beast::string_view, beast::string_view value,
                     beast::error_code& ec) override {
    if (++fields_ > kMaxHeaderFields) {
      too_many_fields = true;
      ec = http::error::header_limit;
      return;
    }
    if (name == http::field::expect && beast::iequals(value, "100-continue"))
      expect_continue = true;
    if (name == http::field::content_type && value.size() >= 10 &&
        beast::iequals(value.substr(0, 10), "multipart/"))
      multipart = true;
  }
  void on_header_impl(beast::error_code&) override {}
  void on_body_init_impl(const boost::optional<std::uint64_t>&, beast::error_code&) override {}
  std::size_t on_body_impl(beast::string_view data, beast::error_code&) override {
    if (!body_too_large && body.size() + data.size() <= kMaxRequestBody) {
      body.append(data.data(), data.size());
    } else {
      body_too_large = true;
      body.clear();
    }
    return data.size();
  }
  void on_chunk_header_impl(std::uint64_t, beast::string_view, beast::error_code&) override {}
  std::size_t on_chunk_body_impl(std::uint64_t, beast::string_view data,
                                 beast::error_code& ec) override {
    return on_body_impl(data, ec);
  }
  void on_finish_impl(beast::error_code&) override {}

  std::size_t fields_ = 0;
};

struct Answer {
  int status = 200;
  std::string body;
  bool close = false;  // the connection ends after this answer
};

std::string_view path_of(std::string_view target) {
  return target.substr(0, target.find('?'));
}

}  // namespace

struct HttpServer::Impl {
  Impl(const Backend& b, const ServerOptions& o)
      : backend(b), options(o), threads(thread_count(o)), ioc(threads) {}

  static int thread_count(const ServerOptions& o) {
    if (o.threads > 0)
      return o.threads;
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
  }

  asio::awaitable<void> accept_loop();
  asio::awaitable<void> session(tcp::socket socket);
  asio::awaitable<void> refuse(tcp::socket socket);
  asio::awaitable<Answer> answer(RequestParser& request, std::string& code);
  void log(const RequestParser& request, const std::string& code, int status,
           Clock::time_point start) const;

  const Backend& backend;
  const ServerOptions options;
  const int threads;
  asio::io_context ioc;
  tcp::acceptor acceptor{ioc};
  std::atomic<int> connections{0};
  std::atomic<int> refusals{0};
  int port = 0;
};

// Lowers a counter when a connection's coroutine ends, however it ends.
struct CountedConnection {
  explicit CountedConnection(std::atomic<int>& c) : count(c) {}
  ~CountedConnection() { --count; }
  CountedConnection(const CountedConnection&) = delete;
  CountedConnection& operator=(const CountedConnection&) = delete;
  std::atomic<int>& count;
};

asio::awaitable<void> HttpServer::Impl::accept_loop() {
  asio::steady_timer pause(ioc);
  while (acceptor.is_open()) {
    auto [ec, socket] = co_await acceptor.async_accept(asio::make_strand(ioc), kUseTuple);
    if (ec) {
      if (ec == asio::error::operation_aborted || !acceptor.is_open())
        co_return;
      // Out of descriptors or the like: let a moment pass instead of spinning.
      pause.expires_after(std::chrono::milliseconds(50));
      co_await pause.async_wait(kUseTuple);
      continue;
    }
    const auto executor = socket.get_executor();
    if (connections.load() >= options.max_connections) {
      if (refusals.load() < kMaxRefusals) {
        ++refusals;
        asio::co_spawn(executor, refuse(std::move(socket)), asio::detached);
      }
      continue;
    }
    ++connections;
    asio::co_spawn(executor, session(std::move(socket)), asio::detached);
  }
}

asio::awaitable<void> HttpServer::Impl::refuse(tcp::socket socket) {
  CountedConnection counted(refusals);
  static const std::string kRefusal = [] {
    const std::string body = "too many connections, try again later";
    return "HTTP/1.1 503 Service Unavailable\r\nContent-Type: " + std::string(kPlainText) +
           "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\nRetry-After: 1\r\n\r\n" + body;
  }();
  beast::tcp_stream stream(std::move(socket));
  stream.expires_after(std::chrono::seconds(1));
  auto [ec, n] = co_await asio::async_write(stream, asio::buffer(kRefusal), kUseTuple);
  beast::error_code ignored;
  if (!ec) {
    // What the client sent meanwhile is read and dropped, so the refusal is not lost to a reset.
    stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    char sink[4096];
    for (std::size_t dropped = 0; !ec && dropped < 64 * 1024; dropped += n)
      std::tie(ec, n) = co_await stream.async_read_some(asio::buffer(sink), kUseTuple);
  }
  stream.socket().close(ignored);
}

asio::awaitable<Answer> HttpServer::Impl::answer(RequestParser& request, std::string& code) {
  const std::string_view path = path_of(request.target);
  const bool is_get = request.method == "GET" || request.method == "HEAD";
  if (path == "/health") {
    if (!is_get)
      co_return Answer{405, "use GET /health"};
    co_return Answer{200, "ok"};
  }
  if (path == "/trans2/index.asp") {
    if (request.method != "POST")
      co_return Answer{405, "use POST /trans2/index.asp"};
    if (request.body_too_large)
      co_return Answer{413, "request body larger than 64 KiB"};
    if (request.multipart)
      co_return Answer{400, "unreadable request body (a form-encoded body is expected)"};
    if (options.answer_delay_ms > 0) {
      asio::steady_timer slow(co_await asio::this_coro::executor);
      slow.expires_after(std::chrono::milliseconds(options.answer_delay_ms));
      co_await slow.async_wait(kUseTuple);
    }
    Reply reply;
    try {
      reply = co_await handle_translate(std::move(request.body), backend, code);
    } catch (const std::exception&) {
      reply = {500, "internal error"};
    }
    co_return Answer{reply.status, std::move(reply.body)};
  }
  co_return Answer{404, "not found: use POST /trans2/index.asp or GET /health"};
}

void HttpServer::Impl::log(const RequestParser& request, const std::string& code, int status,
                           Clock::time_point start) const {
  if (options.quiet)
    return;
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  const std::string line =
      log_line(utc_now(), request.method, std::string(path_of(request.target)), code, status, ms);
  std::fputs(line.c_str(), stderr);
  // Redirected to a file or a pipe the stream may be buffered: each line goes out with its
  // request, and none is lost when the server is ended from outside.
  std::fflush(stderr);
}

asio::awaitable<void> HttpServer::Impl::session(tcp::socket socket) {
  CountedConnection counted(connections);
  beast::error_code ignored;
  // Headers and body go out in one write, but a delayed ACK must not hold the next answer.
  socket.set_option(tcp::no_delay(true), ignored);
  beast::tcp_stream stream(std::move(socket));
  beast::flat_buffer buffer;
  const auto idle = std::chrono::seconds(options.idle_timeout_seconds);
  const auto whole_request = std::chrono::seconds(options.read_timeout_seconds);
  bool drain = false;  // the client may still be sending what was refused
  const auto& http_errors = beast::error_code(http::error::bad_method).category();

  while (true) {
    // Between requests a connection costs nothing but its socket: wait for the first byte
    // (unless a pipelined request is already here), then the whole request has its deadline.
    if (buffer.size() == 0) {
      if (buffer.capacity() > 16 * 1024)
        buffer.shrink_to_fit();  // what a large request needed is not kept while idle
      stream.expires_after(std::min<Clock::duration>(idle, whole_request));
      auto [ec, n] = co_await stream.async_read_some(buffer.prepare(4096), kUseTuple);
      if (ec)
        break;
      buffer.commit(n);
    }
    const Clock::time_point start = Clock::now();
    stream.expires_after(whole_request);

    RequestParser request;
    Answer out;
    std::string code;
    beast::error_code ec;
    std::tie(ec, std::ignore) =
        co_await http::async_read_header(stream, buffer, request, kUseTuple);
    if (!ec && !request.is_done()) {
      if (request.expect_continue) {
        static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
        std::tie(ec, std::ignore) =
            co_await asio::async_write(stream, asio::buffer(kContinue), kUseTuple);
      }
      if (!ec)
        std::tie(ec, std::ignore) = co_await http::async_read(stream, buffer, request, kUseTuple);
    }
    if (ec == http::error::header_limit) {
      out = {431, "request header fields too large (at most 100 fields and 16 KiB)", true};
      drain = true;
    } else if (ec == http::error::body_limit) {
      out = {413, "request body larger than 64 KiB", true};
      drain = true;
    } else if (ec && ec.category() == http_errors && ec != http::error::end_of_stream &&
               ec != http::error::partial_message) {
      out = {400, "bad request", true};
      drain = true;
    } else if (ec) {
      // Too slow, gone, or the socket failed: nothing to answer to.
      break;
    } else {
      out = co_await answer(request, code);
      out.close = out.close || !request.keep_alive();
    }

    // The answer goes out in one write, built by hand: cheaper than a message object.
    std::string head = request.version == 10 ? "HTTP/1.0 " : "HTTP/1.1 ";
    head += std::to_string(out.status);
    head += ' ';
    const auto reason = http::obsolete_reason(static_cast<http::status>(out.status));
    head.append(reason.data(), reason.size());
    head += "\r\nContent-Type: ";
    head += kPlainText;
    head += "\r\nContent-Length: ";
    head += std::to_string(out.body.size());
    if (out.status == 405)
      head += path_of(request.target) == "/health" ? "\r\nAllow: GET, HEAD" : "\r\nAllow: POST";
    if (out.close)
      head += "\r\nConnection: close";
    else if (request.version == 10)
      head += "\r\nConnection: keep-alive";
    head += "\r\n\r\n";
    if (request.method != "HEAD")
      head += out.body;
    log(request, code, out.status, start);
    stream.expires_after(whole_request);
    std::tie(ec, std::ignore) = co_await asio::async_write(stream, asio::buffer(head), kUseTuple);
    if (ec || out.close)
      break;
  }

  if (drain && stream.socket().is_open()) {
    stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream.expires_after(kLingerTime);
    std::size_t dropped = 0;
    std::vector<char> sink(16 * 1024);
    while (dropped < kLingerBytes) {
      auto [ec, n] = co_await stream.async_read_some(asio::buffer(sink), kUseTuple);
      if (ec)
        break;
      dropped += n;
    }
  }
  stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
  stream.socket().close(ignored);
}

HttpServer::HttpServer(const Backend& backend, const ServerOptions& options)
    : impl_(std::make_unique<Impl>(backend, options)) {}

HttpServer::~HttpServer() = default;

bool HttpServer::listen(std::string& error) {
  beast::error_code ec;
  const auto address = asio::ip::make_address(impl_->options.bind, ec);
  if (ec) {
    error = "not an IP address: " + impl_->options.bind;
    return false;
  }
  const tcp::endpoint endpoint(address, static_cast<unsigned short>(impl_->options.port));
  tcp::acceptor& acceptor = impl_->acceptor;
  acceptor.open(endpoint.protocol(), ec);
#ifndef _WIN32
  // A restart must not wait for the old connections' TIME_WAIT (on Windows the same option
  // would let two servers share the port).
  if (!ec)
    acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
#endif
  if (!ec)
    acceptor.bind(endpoint, ec);
  if (!ec)
    acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    error = "cannot listen on " + impl_->options.bind + " port " +
            std::to_string(impl_->options.port) + ": " + ec.message();
    acceptor.close(ec);
    return false;
  }
  impl_->port = acceptor.local_endpoint().port();
  asio::co_spawn(impl_->ioc, impl_->accept_loop(), asio::detached);
  return true;
}

int HttpServer::port() const {
  return impl_->port;
}

void HttpServer::run() {
  std::vector<std::thread> others;
  for (int i = 1; i < impl_->threads; ++i)
    others.emplace_back([this] { impl_->ioc.run(); });
  impl_->ioc.run();
  for (std::thread& t : others)
    t.join();
}

void HttpServer::stop() {
  impl_->ioc.stop();
}

}  // namespace brevant::trans_server
