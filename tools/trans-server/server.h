#pragma once
// The HTTP side of the translation server: command line, routes, request log.

#include <string>
#include <vector>

namespace httplib {
class Server;
}

namespace brevant::trans_server {

class Backend;

struct ServerOptions {
  std::string bind = "127.0.0.1";
  int port = 17380;  // 0: any free port (printed at start)
  std::string backend = "phrasebook";
  std::string upstream;
  std::string api_key;
  int read_timeout_seconds = 10;
  int upstream_timeout_seconds = 10;
  bool quiet = false;  // no request log
};

// Parses the arguments after the program name. On `--help` or an error returns false with the
// text to print in `message` and the exit status in `exit_code` (0 for help, 2 for an error).
bool parse_command_line(const std::vector<std::string>& args, ServerOptions& options,
                        std::string& message, int& exit_code);

std::string usage_text();

// Registers the routes, limits and the request log on `server`.
void configure_server(httplib::Server& server, const Backend& backend,
                      const ServerOptions& options);

// One line of the request log, without the text: time, method, path, code, status, duration.
std::string log_line(const std::string& time, const std::string& method, const std::string& path,
                     const std::string& code, int status, long long milliseconds);

}  // namespace brevant::trans_server
