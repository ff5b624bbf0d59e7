#pragma once
// The HTTP side of the translation server: command line, routes, request log.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace brevant::trans_server {

class Backend;

struct ServerOptions {
  std::string bind = "127.0.0.1";
  int port = 17380;  // 0: any free port (printed at start)
  std::string backend = "phrasebook";
  std::string upstream;
  std::string api_key;
  int read_timeout_seconds = 10;           // for a whole request, headers and body
  int upstream_timeout_seconds = 10;       // for everything one request asks of the service
  int idle_timeout_seconds = 5;            // an idle keep-alive connection is closed after this
  int max_connections = 1000;              // more are refused with 503 unless one is idle
  int max_connections_per_client = 256;    // from one client address
  std::vector<std::string> allow_hosts;    // names the clients may use beyond the bound address
  std::vector<std::string> allow_origins;  // Origin values served (with CORS headers)
  int threads = 0;                         // 0: one per processor, at most 4
  bool quiet = false;                      // no request log
  int answer_delay_ms = 0;                 // every translation answered this much later (tests)
};

// Parses the arguments after the program name. On `--help` or an error returns false with the
// text to print in `message` and the exit status in `exit_code` (0 for help, 2 for an error).
bool parse_command_line(const std::vector<std::string>& args, ServerOptions& options,
                        std::string& message, int& exit_code);

std::string usage_text();

// The HTTP side: keep-alive, pipelining, a deadline for each whole request, limits on headers,
// body and connections, and the routes GET /health and POST /trans2/index.asp.
class HttpServer {
 public:
  HttpServer(const Backend& backend, const ServerOptions& options);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on the options' address and port; false with a one-line reason when it cannot.
  bool listen(std::string& error);
  // The port listened on (the one picked for port 0).
  int port() const;
  // Serves until stop(); the calling thread is one of the server's threads.
  void run();
  // Ends run(), from any thread.
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Largest header block (request line and fields) and number of fields accepted.
inline constexpr std::size_t kMaxHeaderBytes = 16 * 1024;
inline constexpr std::size_t kMaxHeaderFields = 100;

// The time now as "2026-01-02T03:04:05.006Z"; append_utc_now adds it to `out`.
std::string utc_now();
void append_utc_now(std::string& out);

// One line of the request log, without the text: time, method, path, code, status, duration,
// and for a failure of the service its reason (`note`, never text or key).
std::string log_line(std::string_view time, std::string_view method, std::string_view path,
                     std::string_view code, int status, long long milliseconds,
                     std::string_view note = {});
// The same line added to `out`.
void append_log_line(std::string& out, std::string_view time, std::string_view method,
                     std::string_view path, std::string_view code, int status,
                     long long milliseconds, std::string_view note = {});

}  // namespace brevant::trans_server
