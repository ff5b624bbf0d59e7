// The libretranslate back end of the real program against a fake service on loopback.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/server/http_client.h"
#include "tests/server/server_process.h"
#include "tools/trans-server/form.h"

namespace brevant::trans_server::testing {
namespace {

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

TEST(LibreTranslateBackend, ForwardsEveryPairAndReturnsTheTranslation) {
  FakeService fake;
  ServerProcess server(
      {"--backend", "libretranslate", "--upstream", fake.url() + "/", "--api-key", "k&y"});
  ASSERT_NE(server.port(), 0);
  HttpClient client(server.port());

  struct Case {
    const char* code;
    const char* pair;
  };
  const Case cases[] = {{"01", "en->zh"},    {"02", "zh->en"},    {"03", "zh->ja"},
                        {"10", "ja->zh"},    {"zh_zt", "zh->zt"}, {"en_ko", "en->ko"},
                        {"ja_en", "ja->en"}, {"es_en", "es->en"}};
  for (const Case& c : cases) {
    auto res = client.post("/trans2/index.asp", plugin_body("ok:你好 a+b&c", c.code));
    ASSERT_TRUE(res) << c.code;
    EXPECT_EQ(res->status, 200) << c.code;
    EXPECT_EQ(res->body, std::string(c.pair) + ":你好 a+b&c") << c.code;
  }
  const FakeService::Call sent = fake.calls().back();
  EXPECT_EQ(sent.path, "/translate");
  EXPECT_EQ(sent.q, "ok:你好 a+b&c");
  EXPECT_EQ(sent.format, "text");
  EXPECT_EQ(sent.api_key, "k&y");

  // Empty text and bad codes never reach the service.
  auto empty = client.post("/trans2/index.asp", plugin_body("", "02"));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->status, 200);
  EXPECT_EQ(empty->body, "");
  auto unknown = client.post("/trans2/index.asp", plugin_body("ok:x", "ZZ"));
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 400);
}

TEST(LibreTranslateBackend, UpstreamFailuresAre502WithAReason) {
  FakeService fake;
  ServerProcess server({"--backend", "libretranslate", "--upstream", fake.url(),
                        "--upstream-timeout", "1", "--api-key", "k3y-s3cret"});
  ASSERT_NE(server.port(), 0);
  HttpClient client(server.port());

  struct Case {
    const char* text;
    int status;
    const char* reason;
  };
  const Case cases[] = {
      {"slow", 502, "upstream unreachable: no answer in time"},
      {"e500", 502, "upstream error: status 500: Internal error"},
      {"e400", 502, "upstream error: status 400: zt is not supported"},
      {"e403", 502, "upstream error: status 403: Invalid API key [key]"},
      // A rate limit is passed on with the service's Retry-After.
      {"e429", 429,
       "upstream rate limit reached (429), try again later: Slowdown: 10 per 1 minute"},
      {"html", 502, "upstream error: the answer is not JSON"},
      {"nofield", 502, "upstream error: the answer has no translatedText"},
      {"huge", 502, "upstream error: the answer is too large"},
  };
  for (const Case& c : cases) {
    auto res = client.post("/trans2/index.asp", plugin_body(c.text, "02"));
    ASSERT_TRUE(res) << c.text;
    EXPECT_EQ(res->status, c.status) << c.text;
    EXPECT_EQ(res->body, c.reason) << c.text;
    EXPECT_EQ(res->header("retry-after"), c.status == 429 ? "7" : "") << c.text;
  }

  // The server is still healthy and translating.
  auto ok = client.post("/trans2/index.asp", plugin_body("ok:fine", "02"));
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->body, "zh->en:fine");

  // The log says why, and never shows the key.
  ASSERT_EQ(server.stop(SIGTERM), 0);
  const std::string log = server.log();
  EXPECT_NE(log.find("lang=02 502 "), std::string::npos) << log;
  EXPECT_NE(log.find("(upstream 400: zt is not supported)"), std::string::npos) << log;
  EXPECT_NE(log.find("(upstream 403: Invalid API key [key])"), std::string::npos) << log;
  EXPECT_NE(log.find("lang=02 429 "), std::string::npos) << log;
  EXPECT_EQ(log.find("k3y-s3cret"), std::string::npos) << log;
}

TEST(LibreTranslateBackend, RefusedConnectionIs502) {
  ServerProcess server({"--backend", "libretranslate", "--upstream",
                        "http://127.0.0.1:" + std::to_string(closed_port()), "--upstream-timeout",
                        "2"});
  ASSERT_NE(server.port(), 0);
  HttpClient client(server.port());
  auto res = client.post("/trans2/index.asp", plugin_body("hello", "01"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 502);
  EXPECT_EQ(res->body, "upstream unreachable: could not connect");
}

}  // namespace
}  // namespace brevant::trans_server::testing
