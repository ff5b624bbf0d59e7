// The server's HTTP layer: one coroutine per connection on a few threads, so that slow or idle
// clients hold nothing but their own socket and buffer.

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http.hpp>

#ifdef __linux__
#include <sched.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <list>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "tools/trans-server/backend.h"
#include "tools/trans-server/request_checks.h"
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

// How long a log line may wait for others to share its write.
constexpr auto kLogDelay = std::chrono::milliseconds(20);

// Refusals of connections over the limit being written at once; beyond, a socket is just closed.
constexpr int kMaxRefusals = 64;

// Reads one request into plain strings, counting header fields and keeping at most 64 KiB of
// the body (the rest is read and dropped). Notes what the framing and name checks need.
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
  bool unsupported_version = false;
  bool version_read = false;  // the request line's version was looked at
  int hosts = 0;
  std::string host;
  bool has_origin = false;
  std::string origin;
  bool preflight = false;  // Access-Control-Request-Method is present
  bool has_transfer_encoding = false;
  std::string transfer_codings;  // of every Transfer-Encoding field, joined by ","
  bool has_content_length = false;

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
    switch (name) {
      case http::field::expect:
        expect_continue = expect_continue || beast::iequals(value, "100-continue");
        break;
      case http::field::content_type:
        if (value.size() >= 10 && beast::iequals(value.substr(0, 10), "multipart/"))
          multipart = true;
        break;
      case http::field::host:
        ++hosts;
        host.assign(value.data(), value.size());
        break;
      case http::field::origin:
        has_origin = true;
        origin.assign(value.data(), value.size());
        break;
      case http::field::access_control_request_method:
        preflight = true;
        break;
      case http::field::transfer_encoding:
        if (has_transfer_encoding)
          transfer_codings += ',';
        has_transfer_encoding = true;
        transfer_codings.append(value.data(), value.size());
        break;
      case http::field::content_length:
        has_content_length = true;
        break;
      default:
        break;
    }
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
  Answer() = default;
  Answer(int s, std::string b, bool c = false) : status(s), body(std::move(b)), close(c) {}

  int status = 200;
  std::string body;
  bool close = false;   // the connection ends after this answer
  std::string headers;  // more header lines, each ending in "\r\n"
  std::string note;     // for the log
};

std::string_view path_of(std::string_view target) {
  return target.substr(0, target.find('?'));
}

// One connection: its socket, and one timer that ends whatever the connection waits for once
// its deadline has passed. Moving the deadline later (as every request does) costs no timer
// operation; the timer finds the new deadline when it fires and waits again.
struct Connection : std::enable_shared_from_this<Connection> {
  explicit Connection(tcp::socket s) : socket(std::move(s)), timer(socket.get_executor()) {}

  void expires_at(Clock::time_point t) {
    timed_out = false;
    deadline = t;
    if (t < armed) {
      armed = t;
      timer.expires_at(t);
      wait();
    }
  }
  void expires_after(Clock::duration d) { expires_at(Clock::now() + d); }

  void wait() {
    timer.async_wait([self = shared_from_this()](const beast::error_code& ec) {
      if (ec || self->finished)
        return;  // waits again for an earlier deadline, or the connection is over
      if (Clock::now() >= self->deadline) {
        self->timed_out = true;
        self->armed = Clock::time_point::max();
        beast::error_code ignored;
        self->socket.cancel(ignored);
        return;
      }
      self->armed = self->deadline;
      self->timer.expires_at(self->deadline);
      self->wait();
    });
  }

  void finish() {
    finished = true;
    timer.cancel();
    beast::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
  }

  tcp::socket socket;
  asio::steady_timer timer;
  Clock::time_point deadline = Clock::time_point::max();
  Clock::time_point armed = Clock::time_point::max();  // when the timer fires
  bool timed_out = false;
  bool finished = false;

  std::string local;  // the address the connection came in on, as text

  // Kept by the registry, under its lock.
  std::string client;  // the client's address, in bytes
  bool idle = false;
  bool evicted = false;
  std::list<std::shared_ptr<Connection>>::iterator idle_at;
};

// The connections being served: how many, from which client addresses, and which wait idle
// between requests (oldest first), so that a full server closes an idle one for a new client.
class Registry {
 public:
  // Whether a connection from `client` may be served; when a limit is reached, the longest
  // idle connection (of that client, at its own limit) is closed to make room.
  bool admit(const std::shared_ptr<Connection>& c, int max_total, int max_per_client) {
    std::shared_ptr<Connection> victim;
    {
      std::lock_guard lock(mutex_);
      int& mine = per_client_[c->client];
      if (mine >= max_per_client) {
        for (const auto& idle : idle_) {
          if (idle->client == c->client) {
            victim = idle;
            break;
          }
        }
      } else if (total_ >= max_total && !idle_.empty()) {
        victim = idle_.front();
      }
      const bool room = victim || (mine < max_per_client && total_ < max_total);
      if (!room) {
        if (mine == 0)
          per_client_.erase(c->client);
        return false;
      }
      if (victim)
        set_busy_locked(*victim, true);
      ++mine;
      ++total_;
    }
    if (victim) {
      asio::post(victim->socket.get_executor(), [victim] {
        beast::error_code ignored;
        victim->socket.cancel(ignored);
      });
    }
    return true;
  }

  // Waiting for the next request (true) or not; false when the connection was picked to
  // close meanwhile.
  bool set_idle(const std::shared_ptr<Connection>& c, bool idle) {
    std::lock_guard lock(mutex_);
    if (c->evicted)
      return false;
    if (idle && !c->idle) {
      c->idle = true;
      c->idle_at = idle_.insert(idle_.end(), c);
    } else if (!idle && c->idle) {
      c->idle = false;
      idle_.erase(c->idle_at);
    }
    return true;
  }

  void leave(Connection& c) {
    std::lock_guard lock(mutex_);
    if (c.idle) {
      c.idle = false;
      idle_.erase(c.idle_at);
    }
    --total_;
    if (const auto it = per_client_.find(c.client); it != per_client_.end() && --it->second <= 0)
      per_client_.erase(it);
  }

 private:
  void set_busy_locked(Connection& c, bool evicted) {
    c.evicted = evicted;
    if (c.idle) {
      c.idle = false;
      idle_.erase(c.idle_at);
    }
  }

  std::mutex mutex_;
  int total_ = 0;
  std::unordered_map<std::string, int> per_client_;
  std::list<std::shared_ptr<Connection>> idle_;
};

// The address of an endpoint as text, an IPv4 address mapped into IPv6 as IPv4.
std::string address_text(const asio::ip::address& a) {
  if (a.is_v6() && a.to_v6().is_v4_mapped())
    return asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6()).to_string();
  return a.to_string();
}

std::string address_bytes(const asio::ip::address& a) {
  if (a.is_v4() || (a.is_v6() && a.to_v6().is_v4_mapped())) {
    const auto b =
        (a.is_v4() ? a.to_v4() : asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6()))
            .to_bytes();
    return std::string(b.begin(), b.end());
  }
  const auto b = a.to_v6().to_bytes();
  return std::string(b.begin(), b.end());
}

// Looks at the version of a request line once it is in: HTTP/1.x of a later minor version is
// read as HTTP/1.1 (the parser speaks 1.0 and 1.1 only); another major version is not spoken
// here (false).
bool check_version(beast::flat_buffer& buffer, RequestParser& request) {
  char* data = static_cast<char*>(buffer.data().data());
  const std::string_view in(data, buffer.size());
  const std::size_t eol = in.find('\n');
  if (eol == std::string_view::npos)
    return true;
  request.version_read = true;
  const std::size_t end = eol > 0 && in[eol - 1] == '\r' ? eol - 1 : eol;
  if (end < 8)
    return true;
  const std::string_view v = in.substr(end - 8, 8);
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (v.substr(0, 5) != "HTTP/" || !digit(v[5]) || v[6] != '.' || !digit(v[7]))
    return true;  // malformed: the parser says 400
  if (v[5] != '1') {
    request.unsupported_version = true;
    return false;
  }
  if (v[7] > '1')
    data[end - 1] = '1';
  return true;
}

}  // namespace

struct HttpServer::Impl {
  Impl(const Backend& b, const ServerOptions& o)
      : backend(b), options(o), threads(thread_count(o)), ioc(threads) {}

  // One per processor this process may run on (a server pinned to one core runs one thread).
  static int thread_count(const ServerOptions& o) {
    if (o.threads > 0)
      return o.threads;
    unsigned n = std::thread::hardware_concurrency();
#ifdef __linux__
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0)
      n = static_cast<unsigned>(CPU_COUNT(&set));
#endif
    return static_cast<int>(std::clamp(n, 1u, 4u));
  }

  asio::awaitable<void> accept_loop();
  asio::awaitable<void> session(std::shared_ptr<Connection> c);
  asio::awaitable<void> refuse(tcp::socket socket);
  asio::awaitable<Answer> answer(RequestParser& request, std::string& code);
  Answer check(RequestParser& request, const Connection& c, std::string& cors) const;
  void log(const RequestParser& request, const std::string& code, const Answer& out,
           Clock::time_point start);
  void flush_log();

  const Backend& backend;
  const ServerOptions options;
  const int threads;
  asio::io_context ioc;
  tcp::acceptor acceptor{ioc};
  Registry registry;
  std::atomic<int> refusals{0};
  int port = 0;
  std::mutex log_mutex;
  std::string log_pending;            // lines not written yet
  asio::steady_timer log_timer{ioc};  // started for the first of them
  std::mutex log_write_mutex;
  std::string log_writing;
};

// Lowers a counter when a coroutine ends, however it ends.
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
    // One thread needs no strand; with more, each connection's work is kept in order by one.
    const asio::any_io_executor executor = threads == 1
                                               ? asio::any_io_executor(ioc.get_executor())
                                               : asio::any_io_executor(asio::make_strand(ioc));
    auto [ec, socket] = co_await acceptor.async_accept(executor, kUseTuple);
    if (ec) {
      if (ec == asio::error::operation_aborted || !acceptor.is_open())
        co_return;
      // Out of descriptors or the like: let a moment pass instead of spinning.
      pause.expires_after(std::chrono::milliseconds(50));
      co_await pause.async_wait(kUseTuple);
      continue;
    }
    beast::error_code peer_ec;
    const tcp::endpoint peer = socket.remote_endpoint(peer_ec);
    auto c = std::make_shared<Connection>(std::move(socket));
    c->client = peer_ec ? std::string() : address_bytes(peer.address());
    const tcp::endpoint local = c->socket.local_endpoint(peer_ec);
    c->local = peer_ec ? std::string() : address_text(local.address());
    if (!registry.admit(c, options.max_connections, options.max_connections_per_client)) {
      if (refusals.load() < kMaxRefusals) {
        ++refusals;
        asio::co_spawn(executor, refuse(std::move(c->socket)), asio::detached);
      }
      continue;
    }
    asio::co_spawn(executor, session(std::move(c)), asio::detached);
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
  auto c = std::make_shared<Connection>(std::move(socket));
  c->expires_after(std::chrono::seconds(1));
  auto [ec, n] = co_await asio::async_write(c->socket, asio::buffer(kRefusal), kUseTuple);
  if (!ec && !c->timed_out) {
    // What the client sent meanwhile is read and dropped, so the refusal is not lost to a reset.
    beast::error_code ignored;
    c->socket.shutdown(tcp::socket::shutdown_send, ignored);
    char sink[4096];
    for (std::size_t dropped = 0; !ec && !c->timed_out && dropped < 64 * 1024; dropped += n)
      std::tie(ec, n) = co_await c->socket.async_read_some(asio::buffer(sink), kUseTuple);
  }
  c->finish();
}

// The checks on a request head before anything is served: framing, the names used for the
// server, the page it comes from. An answer with status 0 lets the request through.
Answer HttpServer::Impl::check(RequestParser& request, const Connection& c,
                               std::string& cors) const {
  if (request.has_transfer_encoding) {
    const Framing f = transfer_framing(request.transfer_codings, request.has_content_length);
    if (f == Framing::kNotImplemented)
      return {501, "only the chunked transfer coding is understood", true};
    if (f == Framing::kBadRequest)
      return {400, "bad request: the body's length cannot be told (Transfer-Encoding)", true};
  }
  if (request.hosts > 1 || (request.hosts == 0 && request.version >= 11))
    return {400, "bad request: a request must have one Host", true};
  std::string authority = request.host;
  if (const auto absolute = split_absolute_form(request.target)) {
    // The target's authority is the one that counts (and the Host is ignored).
    authority = absolute->authority;
    request.target = absolute->origin_form;
  }
  if (request.hosts == 1 || !authority.empty()) {
    const auto name = parse_authority(authority);
    if (!name)
      return {400, "bad request: the Host is not a host name", true};
    if (!host_allowed(*name, c.local, port, options.allow_hosts)) {
      return {421,
              "this server does not answer for that host name (start it with --allow-host "
              "NAME)",
              true};
    }
  }
  if (request.has_origin) {
    if (!origin_allowed(request.origin, options.allow_origins))
      return {403, "requests from web pages are not served (start it with --allow-origin)", true};
    cors = "Access-Control-Allow-Origin: " + request.origin + "\r\nVary: Origin\r\n";
    if (request.method == "OPTIONS" && request.preflight) {
      Answer preflight{204, ""};
      preflight.headers =
          "Access-Control-Allow-Methods: GET, HEAD, POST\r\n"
          "Access-Control-Allow-Headers: Content-Type\r\nAccess-Control-Max-Age: 600\r\n";
      return preflight;
    }
  }
  return {0, ""};
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
    Answer out{reply.status, std::move(reply.body)};
    if (reply.status == 429 && !reply.retry_after.empty())
      out.headers = "Retry-After: " + reply.retry_after + "\r\n";
    out.note = std::move(reply.note);
    co_return out;
  }
  co_return Answer{404, "not found: use POST /trans2/index.asp or GET /health"};
}

void HttpServer::Impl::log(const RequestParser& request, const std::string& code, const Answer& out,
                           Clock::time_point start) {
  if (options.quiet)
    return;
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  thread_local std::string line;
  line.clear();
  append_utc_now(line);
  append_log_line(line, {}, request.method, path_of(request.target), code, out.status, ms,
                  out.note);
  // Lines go out together a few milliseconds after the first of them, in one write, instead
  // of one write per request; a stop writes what is left.
  std::lock_guard lock(log_mutex);
  const bool first = log_pending.empty();
  log_pending += line;
  if (first) {
    log_timer.expires_after(kLogDelay);
    log_timer.async_wait([this](const beast::error_code& ec) {
      if (!ec)
        flush_log();
    });
  }
}

void HttpServer::Impl::flush_log() {
  std::lock_guard writing(log_write_mutex);
  {
    std::lock_guard lock(log_mutex);
    log_writing.swap(log_pending);
  }
  if (!log_writing.empty()) {
    std::fwrite(log_writing.data(), 1, log_writing.size(), stderr);
    std::fflush(stderr);
    log_writing.clear();
  }
  if (log_writing.capacity() > 64 * 1024)
    std::string().swap(log_writing);
}

asio::awaitable<void> HttpServer::Impl::session(std::shared_ptr<Connection> c) {
  beast::error_code ignored;
  // Headers and body go out in one write, but a delayed ACK must not hold the next answer.
  c->socket.set_option(tcp::no_delay(true), ignored);
  beast::flat_buffer buffer;
  const auto idle = std::chrono::seconds(options.idle_timeout_seconds);
  const auto whole_request = std::chrono::seconds(options.read_timeout_seconds);
  bool drain = false;  // the client may still be sending what was refused
  const auto& http_errors = beast::error_code(http::error::bad_method).category();
  std::string head;

  // Parses what the buffer holds; reads more until `done` says the part wanted is in.
  auto read_until = [&](RequestParser& request,
                        bool header_only) -> asio::awaitable<beast::error_code> {
    while (true) {
      if (!request.version_read && !check_version(buffer, request))
        co_return beast::error_code(http::error::bad_version);
      beast::error_code ec;
      std::size_t used = 0;
      if (buffer.size() > 0) {
        used = request.put(buffer.data(), ec);
        buffer.consume(used);
      }
      if (ec && ec != http::error::need_more)
        co_return ec;
      if (header_only ? request.is_header_done() : request.is_done())
        co_return beast::error_code{};
      if (!ec && used > 0 && buffer.size() > 0)
        continue;  // the parser took a part and goes on with what is left
      if (buffer.size() >= kMaxHeaderBytes + 4096 && !request.is_header_done())
        co_return beast::error_code(http::error::header_limit);
      auto [rec, n] = co_await c->socket.async_read_some(buffer.prepare(16 * 1024), kUseTuple);
      if (rec || c->timed_out)
        co_return c->timed_out ? beast::error_code(asio::error::timed_out) : rec;
      buffer.commit(n);
    }
  };

  while (true) {
    // Between requests a connection costs nothing but its socket: wait for the first byte
    // (unless a pipelined request is already here), then the whole request has its deadline.
    if (buffer.size() == 0) {
      if (buffer.capacity() > 16 * 1024)
        buffer.shrink_to_fit();  // what a large request needed is not kept while idle
      c->expires_after(std::min<Clock::duration>(idle, whole_request));
      if (!registry.set_idle(c, true))
        break;
      auto [ec, n] = co_await c->socket.async_read_some(buffer.prepare(4096), kUseTuple);
      if (!registry.set_idle(c, false) || ec || c->timed_out)
        break;
      buffer.commit(n);
    }
    const Clock::time_point start = Clock::now();
    c->expires_at(start + whole_request);

    RequestParser request;
    Answer out;
    std::string code;
    std::string cors;
    beast::error_code ec = co_await read_until(request, true);
    if (!ec && request.is_header_done()) {
      out = check(request, *c, cors);
      if (out.status == 0 && !request.is_done()) {
        if (request.expect_continue) {
          static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
          std::tie(ec, std::ignore) =
              co_await asio::async_write(c->socket, asio::buffer(kContinue), kUseTuple);
          if (c->timed_out)
            ec = asio::error::timed_out;
        }
        if (!ec)
          ec = co_await read_until(request, false);
      }
    }
    if (out.status != 0 && !ec) {
      drain = out.close && !request.is_done();
    } else if (request.unsupported_version) {
      out = {505, "HTTP version not supported (HTTP/1.1 is)", true};
      drain = true;
    } else if (ec == http::error::header_limit) {
      out = {431, "request header fields too large (at most 100 fields and 16 KiB)", true};
      drain = true;
    } else if (ec == http::error::body_limit) {
      out = {413, "request body larger than 64 KiB", true};
      drain = true;
    } else if (ec && ec.category() == http_errors && ec != http::error::end_of_stream &&
               ec != http::error::partial_message && ec != http::error::need_more) {
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
    head.clear();
    head += request.version == 10 ? "HTTP/1.0 " : "HTTP/1.1 ";
    head += std::to_string(out.status);
    head += ' ';
    const auto reason = http::obsolete_reason(static_cast<http::status>(out.status));
    head.append(reason.data(), reason.size());
    head += "\r\nContent-Type: ";
    head += kPlainText;
    head += "\r\nContent-Length: ";
    head += std::to_string(out.body.size());
    head += "\r\n";
    if (out.status == 405)
      head += path_of(request.target) == "/health" ? "Allow: GET, HEAD\r\n" : "Allow: POST\r\n";
    head += cors;
    head += out.headers;
    if (out.close)
      head += "Connection: close\r\n";
    else if (request.version == 10)
      head += "Connection: keep-alive\r\n";
    head += "\r\n";
    if (request.method != "HEAD")
      head += out.body;
    log(request, code, out, start);
    c->expires_after(whole_request);
    // Idle from the moment the answer is handed over: the client may ask again as soon as it
    // has it, before this coroutine runs again.
    if (!out.close && buffer.size() == 0 && !registry.set_idle(c, true))
      break;
    std::tie(ec, std::ignore) =
        co_await asio::async_write(c->socket, asio::buffer(head), kUseTuple);
    if (ec || c->timed_out || out.close)
      break;
    if (head.capacity() > 16 * 1024)
      std::string().swap(head);
  }

  if (drain && c->socket.is_open() && !c->timed_out) {
    c->socket.shutdown(tcp::socket::shutdown_send, ignored);
    c->expires_after(kLingerTime);
    std::size_t dropped = 0;
    std::vector<char> sink(16 * 1024);
    while (dropped < kLingerBytes) {
      auto [ec, n] = co_await c->socket.async_read_some(asio::buffer(sink), kUseTuple);
      if (ec || c->timed_out)
        break;
      dropped += n;
    }
  }
  registry.leave(*c);
  c->finish();
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
  impl_->flush_log();  // what a stop left unwritten
}

void HttpServer::stop() {
  impl_->ioc.stop();
}

}  // namespace brevant::trans_server
