#include "tools/trans-server/server.h"

#include <httplib.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>

#include "tools/trans-server/backend.h"

namespace brevant::trans_server {

namespace {

constexpr char kPlainText[] = "text/plain; charset=utf-8";

// Each request is read, handled and logged on one worker thread, so the log's facts about the
// request in progress live here.
thread_local std::optional<std::chrono::steady_clock::time_point> t_request_start;
thread_local std::string t_request_code;

std::string utc_now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t secs = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &secs);
#else
  gmtime_r(&secs, &tm);
#endif
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(ms.count()));
  return buf;
}

// Anything a client sent goes into the log only as short printable ASCII.
std::string log_safe(const std::string& s) {
  std::string out;
  for (const char c : s.substr(0, 40))
    out += (c > 0x20 && c < 0x7F) ? c : '?';
  return out.empty() ? "-" : out;
}

bool parse_int(const std::string& s, int min, int max, int& out) {
  if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const int v = std::stoi(s);
  if (v < min || v > max)
    return false;
  out = v;
  return true;
}

}  // namespace

std::string usage_text() {
  return "Usage: trans-server [options]\n"
         "Answers the chat plug-in's translation requests (POST /trans2/index.asp).\n"
         "\n"
         "  --bind ADDRESS        address to listen on (default 127.0.0.1)\n"
         "  --port N              port to listen on (default 17380; 0 picks a free one)\n"
         "  --backend NAME        phrasebook (default: offline, built-in phrase tables) or\n"
         "                        libretranslate (a LibreTranslate-compatible service)\n"
         "  --upstream URL        the service for libretranslate, e.g. http://127.0.0.1:5000\n"
         "  --api-key KEY         API key sent to the service, if it needs one\n"
         "  --upstream-timeout S  seconds to wait for the service (default 10)\n"
         "  --read-timeout S      seconds a client may take to send a request (default 10)\n"
         "  --quiet               no request log\n"
         "  --help                this text\n"
         "\n"
         "Log: one line per request on standard error (time, language code, status, duration).\n"
         "Stop with Ctrl-C or SIGTERM.\n";
}

bool parse_command_line(const std::vector<std::string>& args, ServerOptions& options,
                        std::string& message, int& exit_code) {
  auto fail = [&](const std::string& why) {
    message = "trans-server: " + why + "\n" + usage_text();
    exit_code = 2;
    return false;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (const std::size_t eq = name.find('=');
        name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    if (name == "--help" || name == "-h") {
      message = usage_text();
      exit_code = 0;
      return false;
    }
    if (name == "--quiet") {
      options.quiet = true;
      continue;
    }
    const bool takes_value = name == "--bind" || name == "--port" || name == "--backend" ||
                             name == "--upstream" || name == "--api-key" ||
                             name == "--read-timeout" || name == "--upstream-timeout";
    if (!takes_value)
      return fail("unknown option " + name);
    if (!value) {
      if (i + 1 >= args.size())
        return fail(name + " needs a value");
      value = args[++i];
    }
    if (name == "--bind") {
      if (value->empty())
        return fail("--bind needs an address");
      options.bind = *value;
    } else if (name == "--port") {
      if (!parse_int(*value, 0, 65535, options.port))
        return fail("--port must be 0 to 65535");
    } else if (name == "--backend") {
      if (*value != "phrasebook" && *value != "libretranslate") {
        return fail("--backend must be phrasebook or libretranslate");
      }
      options.backend = *value;
    } else if (name == "--upstream") {
      options.upstream = *value;
    } else if (name == "--api-key") {
      options.api_key = *value;
    } else if (name == "--read-timeout") {
      if (!parse_int(*value, 1, 3600, options.read_timeout_seconds)) {
        return fail("--read-timeout must be 1 to 3600 seconds");
      }
    } else if (name == "--upstream-timeout") {
      if (!parse_int(*value, 1, 3600, options.upstream_timeout_seconds)) {
        return fail("--upstream-timeout must be 1 to 3600 seconds");
      }
    }
  }
  if (options.backend == "libretranslate" && options.upstream.empty()) {
    return fail("--backend libretranslate needs --upstream URL");
  }
  if (options.backend != "libretranslate" && !options.upstream.empty()) {
    return fail("--upstream is only used with --backend libretranslate");
  }
  return true;
}

std::string log_line(const std::string& time, const std::string& method, const std::string& path,
                     const std::string& code, int status, long long milliseconds) {
  return time + " " + log_safe(method) + " " + log_safe(path) + " lang=" + log_safe(code) + " " +
         std::to_string(status) + " " + std::to_string(milliseconds) + "ms\n";
}

void configure_server(httplib::Server& server, const Backend& backend,
                      const ServerOptions& options) {
  // Workers: the plug-in keeps up to six requests in flight per user, and an idle keep-alive
  // connection holds a worker until it times out.
  server.new_task_queue = [] { return new httplib::ThreadPool(32); };
  server.set_payload_max_length(kMaxRequestBody);
  server.set_read_timeout(options.read_timeout_seconds, 0);
  server.set_write_timeout(options.read_timeout_seconds, 0);
  server.set_keep_alive_timeout(5);
  // Headers and body go out in two writes; without this each answer waits for a delayed ACK.
  server.set_tcp_nodelay(true);

  server.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
    t_request_start = std::chrono::steady_clock::now();
    t_request_code.clear();
    return httplib::Server::HandlerResponse::Unhandled;
  });

  // The body is read here rather than by the library: its own form parsing refuses form bodies
  // over 8 KiB, and a chunked body would have no size limit at all.
  server.Post("/trans2/index.asp", [&backend](const httplib::Request& req, httplib::Response& res,
                                              const httplib::ContentReader& reader) {
    std::string body;
    bool too_large = false;
    bool read = false;
    std::string transfer = req.get_header_value("Transfer-Encoding");
    for (char& c : transfer)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!req.has_header("Content-Length") && transfer != "chunked") {
      // No body at all (the library would otherwise wait for the client to close).
      read = true;
    } else if (req.is_multipart_form_data()) {
      // Not what the plug-in sends: read to the end (keeping the connection in step), refuse.
      reader([](const httplib::MultipartFormData&) { return true; },
             [](const char*, std::size_t) { return true; });
    } else {
      read = reader([&](const char* data, std::size_t size) {
        // The rest of an oversized body is read and dropped, so the connection stays in step.
        if (too_large || body.size() + size > kMaxRequestBody) {
          too_large = true;
          body.clear();
        } else {
          body.append(data, size);
        }
        return true;
      });
    }
    Reply reply;
    if (too_large || res.status == 413) {
      reply = {413, "request body larger than 64 KiB"};
    } else if (!read) {
      reply = {400, "unreadable request body (a form-encoded body is expected)"};
    } else {
      try {
        reply = handle_translate(body, backend, t_request_code);
      } catch (const std::exception&) {
        reply = {500, "internal error"};
      }
    }
    res.status = reply.status;
    res.set_content(reply.body, kPlainText);
  });

  server.Get("/health", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("ok", kPlainText);
  });

  // Statuses the library sets itself (413, 404, 400 for a broken request) get a reason too.
  const httplib::Server::HandlerWithResponse fill_reason = [](const httplib::Request&,
                                                              httplib::Response& res) {
    if (!res.body.empty())
      return httplib::Server::HandlerResponse::Unhandled;
    std::string reason;
    switch (res.status) {
      case 413:
        reason = "request body larger than 64 KiB";
        break;
      case 404:
        reason = "not found: use POST /trans2/index.asp or GET /health";
        break;
      default:
        reason = "bad request";
        break;
    }
    res.set_content(reason, kPlainText);
    return httplib::Server::HandlerResponse::Handled;
  };
  server.set_error_handler(fill_reason);

  if (!options.quiet) {
    server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
      long long ms = 0;
      if (t_request_start) {
        ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                 std::chrono::steady_clock::now() - *t_request_start)
                 .count();
      }
      const std::string line =
          log_line(utc_now(), req.method, req.path, t_request_code, res.status, ms);
      t_request_start.reset();
      t_request_code.clear();
      std::fputs(line.c_str(), stderr);
    });
  }
}

}  // namespace brevant::trans_server
