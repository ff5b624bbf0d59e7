#include "tools/trans-server/server.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>

#include "tools/trans-server/backend.h"
#include "tools/trans-server/request_checks.h"

namespace brevant::trans_server {

std::string utc_now() {
  std::string out;
  append_utc_now(out);
  return out;
}

void append_utc_now(std::string& out) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t secs = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  // The date and time of day change once a second: they are formatted once a second.
  thread_local std::time_t formatted_at = -1;
  thread_local char prefix[64];
  if (secs != formatted_at) {
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &secs);
#else
    gmtime_r(&secs, &tm);
#endif
    std::snprintf(prefix, sizeof prefix, "%04d-%02d-%02dT%02d:%02d:%02d.", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    formatted_at = secs;
  }
  const int m = static_cast<int>(ms.count());
  out += prefix;
  out += static_cast<char>('0' + m / 100);
  out += static_cast<char>('0' + m / 10 % 10);
  out += static_cast<char>('0' + m % 10);
  out += 'Z';
}

namespace {

// Anything a client sent goes into the log only as short printable ASCII.
void append_safe(std::string& out, std::string_view s, std::size_t limit = 40) {
  if (s.empty())
    out += '-';
  for (const char c : s.substr(0, limit))
    out += (c > 0x20 && c < 0x7F) ? c : '?';
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
         "  --read-timeout S      seconds a client may take to send a whole request (default 10)\n"
         "  --max-connections N   connections served at once (default 1000); at the limit\n"
         "                        the longest idle one is closed, else the new one refused\n"
         "  --max-connections-per-client N\n"
         "                        connections from one client address (default 256)\n"
         "  --allow-host NAME     a name (or address, optionally :port) clients may use in Host\n"
         "                        besides the address listened on; repeatable\n"
         "  --allow-origin ORIGIN a web origin (scheme://host[:port]) allowed to call the\n"
         "                        server from a page; repeatable (default: none)\n"
         "  --threads N           threads serving (default one per processor, at most 4)\n"
         "  --answer-delay MS     answer every translation this much later, as a slow service\n"
         "                        would (default 0)\n"
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
                             name == "--read-timeout" || name == "--upstream-timeout" ||
                             name == "--max-connections" || name == "--threads" ||
                             name == "--max-connections-per-client" || name == "--allow-host" ||
                             name == "--allow-origin" || name == "--answer-delay";
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
    } else if (name == "--max-connections") {
      if (!parse_int(*value, 1, 100000, options.max_connections)) {
        return fail("--max-connections must be 1 to 100000");
      }
    } else if (name == "--max-connections-per-client") {
      if (!parse_int(*value, 1, 100000, options.max_connections_per_client)) {
        return fail("--max-connections-per-client must be 1 to 100000");
      }
    } else if (name == "--allow-host") {
      if (!parse_authority(*value))
        return fail("--allow-host needs a host name or address, e.g. mt.example.org");
      options.allow_hosts.push_back(*value);
    } else if (name == "--allow-origin") {
      const std::size_t scheme = value->find("://");
      if (scheme == std::string::npos || scheme == 0 ||
          !parse_authority(value->substr(scheme + 3, value->find('/', scheme + 3) - scheme - 3)))
        return fail("--allow-origin needs an origin, e.g. https://app.example.org");
      options.allow_origins.push_back(*value);
    } else if (name == "--threads") {
      if (!parse_int(*value, 1, 64, options.threads))
        return fail("--threads must be 1 to 64");
    } else if (name == "--answer-delay") {
      if (!parse_int(*value, 0, 60000, options.answer_delay_ms))
        return fail("--answer-delay must be 0 to 60000 milliseconds");
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

std::string log_line(std::string_view time, std::string_view method, std::string_view path,
                     std::string_view code, int status, long long milliseconds,
                     std::string_view note) {
  std::string out;
  append_log_line(out, time, method, path, code, status, milliseconds, note);
  return out;
}

void append_log_line(std::string& out, std::string_view time, std::string_view method,
                     std::string_view path, std::string_view code, int status,
                     long long milliseconds, std::string_view note) {
  out += time;
  out += ' ';
  append_safe(out, method);
  out += ' ';
  append_safe(out, path);
  out += " lang=";
  append_safe(out, code);
  char numbers[48];
  const int n = std::snprintf(numbers, sizeof numbers, " %d %lldms", status, milliseconds);
  out.append(numbers, static_cast<std::size_t>(std::max(n, 0)));
  if (!note.empty()) {
    out += " (";
    for (const char c : note.substr(0, 160))
      out += (c >= 0x20 && c < 0x7F) ? c : '?';
    out += ')';
  }
  out += '\n';
}

}  // namespace brevant::trans_server
