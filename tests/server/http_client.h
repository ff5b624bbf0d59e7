#pragma once
// Loopback HTTP for the server's tests and benchmark: a keep-alive client whose every request
// ends by a deadline, and a fake LibreTranslate-compatible service.

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace brevant::trans_server::testing {

struct HttpAnswer {
  int status = 0;
  std::string body;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string header(const std::string& lower_name) const;
};

// One keep-alive connection to 127.0.0.1:port, opened again when the server has closed it.
class HttpClient {
 public:
  explicit HttpClient(int port, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  std::optional<HttpAnswer> get(const std::string& target);
  std::optional<HttpAnswer> post(const std::string& target, const std::string& body,
                                 const std::string& type = "application/x-www-form-urlencoded");

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The plug-in's body: "domain=00&text=" + text + "&lang=" + code.
std::string plugin_body(std::string_view text, std::string_view code);

// A LibreTranslate-compatible service on a free loopback port, on a thread of its own. What it
// does is chosen by the text it gets:
//   "slow..."       answers after 2.5 s
//   "delay..."      answers after 0.6 s
//   "trickle"       sends its answer one byte every 300 ms
//   "e500", "e400", "e403", "e429"  that status with a reason ("e403" names the key it got,
//                   "e429" sends Retry-After: 7); "html" an HTML page; "nofield" JSON without
//                   the text;
//   "huge"          a 2 MiB answer
//   anything else   {"translatedText": "<source>-><target>:<text>"} (without a leading "ok:"),
//                   the placeholder brackets dropped when the text holds "mangle".
// GET /languages answers languages() (older releases' codes unless set), or 500 for the first
// fail_languages(n) asks. With exact_codes(true) a /translate with a code that languages()
// does not list gets 400 "<code> is not supported".
class FakeService {
 public:
  struct Call {
    std::string path;
    std::string q;
    std::string source;
    std::string target;
    std::string format;
    std::string api_key;
  };

  FakeService();
  ~FakeService();
  FakeService(const FakeService&) = delete;
  FakeService& operator=(const FakeService&) = delete;

  std::string url() const;
  void set_languages(std::string json);
  void fail_languages(int times);
  void exact_codes(bool on);
  std::vector<Call> calls() const;
  std::size_t calls_to(const std::string& path) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Peak resident memory of a process in KiB (Linux), 0 when unknown.
long peak_memory_kib(int pid);

}  // namespace brevant::trans_server::testing
