// The libretranslate back end of the real program against a fake service on loopback.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include <mutex>
#include <thread>

#include "tests/server/server_process.h"
#include "tools/trans-server/form.h"

namespace brevant::trans_server::testing {
namespace {

constexpr char kFormType[] = "application/x-www-form-urlencoded";

// A LibreTranslate-compatible service whose behaviour is chosen by the text it gets:
// "ok:<x>" answers {"translatedText": "<source>-><target>:<x>"}, the others fail in one way each.
class FakeLibreTranslate {
 public:
  FakeLibreTranslate() {
    server_.Post("/translate", [this](const httplib::Request& req, httplib::Response& res) {
      {
        std::lock_guard lock(mutex_);
        last_ = req;
      }
      const std::string q = req.get_param_value("q");
      const std::string pair = req.get_param_value("source") + "->" + req.get_param_value("target");
      if (q.rfind("ok:", 0) == 0) {
        const std::string text = q.substr(3);
        res.set_content(
            R"({"detectedLanguage":{"confidence":99,"language":"x"},"translatedText":")" + pair +
                ":" + text + "\"}",
            "application/json");
      } else if (q == "slow") {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        res.set_content(R"({"translatedText":"too late"})", "application/json");
      } else if (q == "e500") {
        res.status = 500;
        res.set_content(R"({"error":"secret translated looking text"})", "application/json");
      } else if (q == "e400") {
        res.status = 400;
        res.set_content(R"({"error":"Invalid request: missing q parameter"})", "application/json");
      } else if (q == "e429") {
        res.status = 429;
        res.set_content(R"({"error":"Too many request limits violations"})", "application/json");
      } else if (q == "html") {
        res.set_content("<html><body>hello</body></html>", "text/html");
      } else if (q == "nofield") {
        res.set_content(R"({"translated":"hello"})", "application/json");
      } else if (q == "huge") {
        res.set_content(R"({"translatedText":")" + std::string(2 * 1024 * 1024, 'a') + "\"}",
                        "application/json");
      } else {
        res.status = 400;
      }
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~FakeLibreTranslate() {
    server_.stop();
    thread_.join();
  }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  httplib::Request last() {
    std::lock_guard lock(mutex_);
    return last_;
  }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  httplib::Request last_;
};

// A loopback port that nobody listens on.
int closed_port() {
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len);
  close(sock);
  return ntohs(addr.sin_port);
}

std::string plugin_body(std::string_view text, std::string_view code) {
  return "domain=00&text=" + form_escape(text) + "&lang=" + std::string(code);
}

TEST(LibreTranslateBackend, ForwardsEveryPairAndReturnsTheTranslation) {
  FakeLibreTranslate fake;
  ServerProcess server(
      {"--backend", "libretranslate", "--upstream", fake.url() + "/", "--api-key", "k&y"});
  ASSERT_NE(server.port(), 0);
  httplib::Client client("127.0.0.1", server.port());
  client.set_read_timeout(10, 0);

  struct Case {
    const char* code;
    const char* pair;
  };
  const Case cases[] = {{"01", "en->zh"},    {"02", "zh->en"},    {"03", "zh->ja"},
                        {"10", "ja->zh"},    {"zh_zt", "zh->zt"}, {"en_ko", "en->ko"},
                        {"ja_en", "ja->en"}, {"es_en", "es->en"}};
  for (const Case& c : cases) {
    auto res = client.Post("/trans2/index.asp", plugin_body("ok:你好 a+b&c", c.code), kFormType);
    ASSERT_TRUE(res) << c.code;
    EXPECT_EQ(res->status, 200) << c.code;
    EXPECT_EQ(res->body, std::string(c.pair) + ":你好 a+b&c") << c.code;
  }
  const httplib::Request sent = fake.last();
  EXPECT_EQ(sent.get_param_value("q"), "ok:你好 a+b&c");
  EXPECT_EQ(sent.get_param_value("format"), "text");
  EXPECT_EQ(sent.get_param_value("api_key"), "k&y");

  // Empty text and bad codes never reach the service.
  auto empty = client.Post("/trans2/index.asp", plugin_body("", "02"), kFormType);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->status, 200);
  EXPECT_EQ(empty->body, "");
  auto unknown = client.Post("/trans2/index.asp", plugin_body("ok:x", "ZZ"), kFormType);
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 400);
}

TEST(LibreTranslateBackend, UpstreamFailuresAre502WithAReason) {
  FakeLibreTranslate fake;
  ServerProcess server(
      {"--backend", "libretranslate", "--upstream", fake.url(), "--upstream-timeout", "1"});
  ASSERT_NE(server.port(), 0);
  httplib::Client client("127.0.0.1", server.port());
  client.set_read_timeout(10, 0);

  struct Case {
    const char* text;
    const char* reason;
  };
  const Case cases[] = {
      {"slow", "upstream unreachable: no answer in time"},
      {"e500", "upstream error: status 500"},
      {"e400", "upstream error: status 400"},
      {"e429", "upstream rate limit reached (429), try again later"},
      {"html", "upstream error: the answer is not JSON"},
      {"nofield", "upstream error: the answer has no translatedText"},
      {"huge", "upstream error: the answer is too large"},
  };
  for (const Case& c : cases) {
    auto res = client.Post("/trans2/index.asp", plugin_body(c.text, "02"), kFormType);
    ASSERT_TRUE(res) << c.text;
    EXPECT_EQ(res->status, 502) << c.text;
    EXPECT_EQ(res->body, c.reason) << c.text;
  }

  // The server is still healthy and translating.
  auto ok = client.Post("/trans2/index.asp", plugin_body("ok:fine", "02"), kFormType);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->body, "zh->en:fine");
}

TEST(LibreTranslateBackend, RefusedConnectionIs502) {
  ServerProcess server({"--backend", "libretranslate", "--upstream",
                        "http://127.0.0.1:" + std::to_string(closed_port()), "--upstream-timeout",
                        "2"});
  ASSERT_NE(server.port(), 0);
  httplib::Client client("127.0.0.1", server.port());
  client.set_read_timeout(10, 0);
  auto res = client.Post("/trans2/index.asp", plugin_body("hello", "01"), kFormType);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 502);
  EXPECT_EQ(res->body, "upstream unreachable: could not connect");
}

}  // namespace
}  // namespace brevant::trans_server::testing
