// The real trans-server program over HTTP on loopback with the phrasebook.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/server/http_client.h"
#include "tests/server/server_process.h"
#include "tools/trans-server/form.h"

namespace brevant::trans_server::testing {
namespace {

constexpr char kPath[] = "/trans2/index.asp";

// Sends raw requests one after the other on one connection, each after the previous answer is
// complete, and returns the answers; stops early when the server closes (at most 10 s each).
std::vector<std::string> raw_exchange(int port, const std::vector<std::string>& requests) {
  std::vector<std::string> answers;
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (sock < 0 || connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ADD_FAILURE() << "connect failed";
    if (sock >= 0)
      close(sock);
    return answers;
  }
  for (const std::string& request : requests) {
    for (std::size_t sent = 0; sent < request.size();) {
      const ssize_t n = send(sock, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0)
        break;
      sent += static_cast<std::size_t>(n);
    }
    std::string answer;
    bool closed = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      const std::size_t head_end = answer.find("\r\n\r\n");
      if (head_end != std::string::npos) {
        const std::size_t at = answer.find("Content-Length: ");
        const std::size_t length = at < head_end ? std::stoul(answer.substr(at + 16)) : 0;
        if (answer.size() >= head_end + 4 + length)
          break;
      }
      pollfd p{sock, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0)
        continue;
      char buf[4096];
      const ssize_t n = recv(sock, buf, sizeof buf, 0);
      if (n <= 0) {
        closed = true;
        break;
      }
      answer.append(buf, static_cast<std::size_t>(n));
    }
    answers.push_back(answer);
    if (closed)
      break;
  }
  close(sock);
  return answers;
}

TEST(TransServer, AnswersThePluginsRequests) {
  ServerProcess server;
  ASSERT_NE(server.port(), 0);
  HttpClient client(server.port());

  auto health = client.get("/health");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);
  EXPECT_EQ(health->body, "ok");

  struct Case {
    std::string body;
    int status;
    std::string answer;
  };
  const Case cases[] = {
      // The plug-in's own escaping: UTF-8 percent escapes, "%20" for spaces.
      {"domain=00&text=%E4%BD%A0%E5%A5%BD%EF%BC%8C%E4%BD%A0%E5%A5%BD%E5%90%97%EF%BC%9F&lang=02",
       200, "Hello, how are you?"},
      {"domain=00&text=Hello!%20How are+you?&lang=01", 200, "你好！你好吗？"},
      {plugin_body("谢谢", "03"), 200, "ありがとう"},
      {plugin_body("ありがとう", "10"), 200, "谢谢"},
      {plugin_body("x&lang=01", "02"), 200, "x&lang=01"},  // "&" escaped inside the text
      {"domain=00&text=%FF%FE&lang=02", 200, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"domain=00&text=100%G1%&lang=02", 200, "100%G1%"},
      {"domain=00&text=&lang=02", 200, ""},
      {"domain=00&text=hi&lang=", 400, "missing language code (field lang)"},
      {"domain=00&text=hi&lang=99", 400, "unknown language code 99"},
      {"domain=00&lang=02", 400, "missing text (field text)"},
  };
  for (const Case& c : cases) {
    auto res = client.post(kPath, c.body);
    ASSERT_TRUE(res) << c.body;
    EXPECT_EQ(res->status, c.status) << c.body;
    EXPECT_EQ(res->body, c.answer) << c.body;
    EXPECT_EQ(res->header("content-type"), "text/plain; charset=utf-8") << c.body;
  }

  auto unsupported = client.post(kPath, plugin_body("hello", "en_ko"));
  ASSERT_TRUE(unsupported);
  EXPECT_EQ(unsupported->status, 400);
  EXPECT_NE(unsupported->body.find("not available offline"), std::string::npos);

  auto wrong_path = client.get("/translate");
  ASSERT_TRUE(wrong_path);
  EXPECT_EQ(wrong_path->status, 404);
  EXPECT_FALSE(wrong_path->body.empty());
}

TEST(TransServer, RefusesBodiesOver64KiB) {
  ServerProcess server;
  ASSERT_NE(server.port(), 0);
  HttpClient client(server.port());

  const std::string prefix = "domain=00&lang=02&text=";
  const std::string at_limit = prefix + std::string(64 * 1024 - prefix.size(), 'a');
  auto ok = client.post(kPath, at_limit);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->status, 200);
  EXPECT_EQ(ok->body.size(), 64 * 1024 - prefix.size());

  auto too_large = client.post(kPath, at_limit + "a");
  ASSERT_TRUE(too_large);
  EXPECT_EQ(too_large->status, 413);
  EXPECT_EQ(too_large->body, "request body larger than 64 KiB");

  // The server goes on serving.
  HttpClient again(server.port());
  auto after = again.post(kPath, plugin_body("你好", "02"));
  ASSERT_TRUE(after);
  EXPECT_EQ(after->body, "Hello");
}

TEST(TransServer, OddBodiesAreRefusedOnALiveConnection) {
  ServerProcess server;
  ASSERT_NE(server.port(), 0);
  const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n";
  std::string chunked =
      "POST /trans2/index.asp HTTP/1.1\r\n" + host +
      "Content-Type: application/x-www-form-urlencoded\r\nTransfer-Encoding: chunked\r\n\r\n";
  const std::string chunk(16 * 1024, 'a');
  for (int i = 0; i < 5; ++i)
    chunked += "4000\r\n" + chunk + "\r\n";
  chunked += "0\r\n\r\n";
  const std::string parts =
      "--XX\r\nContent-Disposition: form-data; name=\"text\"\r\n\r\nhi\r\n--XX--\r\n";
  const std::string multipart =
      "POST /trans2/index.asp HTTP/1.1\r\n" + host +
      "Content-Type: multipart/form-data; boundary=XX\r\nContent-Length: " +
      std::to_string(parts.size()) + "\r\n\r\n" + parts;
  const std::string body = plugin_body("你好", "02");
  const std::string last = "POST /trans2/index.asp HTTP/1.1\r\n" + host +
                           "Connection: close\r\n"
                           "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\n\r\n" + body;

  const std::string no_body = "POST /trans2/index.asp HTTP/1.1\r\n" + host + "\r\n";

  const auto start = std::chrono::steady_clock::now();
  const auto answers = raw_exchange(server.port(), {chunked, multipart, no_body, last});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  ASSERT_EQ(answers.size(), 4u);
  EXPECT_EQ(answers[0].rfind("HTTP/1.1 413", 0), 0u) << answers[0].substr(0, 300);
  EXPECT_EQ(answers[1].rfind("HTTP/1.1 400", 0), 0u) << answers[1].substr(0, 300);
  EXPECT_EQ(answers[2].rfind("HTTP/1.1 400", 0), 0u) << answers[2].substr(0, 300);
  EXPECT_NE(answers[2].find("missing language code"), std::string::npos);
  EXPECT_EQ(answers[3].rfind("HTTP/1.1 200", 0), 0u) << answers[3].substr(0, 300);
  EXPECT_EQ(answers[3].substr(answers[3].size() - 5), "Hello");
}

TEST(TransServer, DropsASlowClientAfterTheReadTimeOut) {
  ServerProcess server({"--read-timeout", "1"});
  ASSERT_NE(server.port(), 0);

  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(server.port()));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const std::string partial =
      "POST /trans2/index.asp HTTP/1.1\r\nHost: localhost\r\nContent-Length: 100";
  ASSERT_EQ(send(sock, partial.data(), partial.size(), 0), static_cast<ssize_t>(partial.size()));

  // Others are served meanwhile.
  HttpClient client(server.port());
  auto res = client.post(kPath, plugin_body("谢谢", "02"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, "Thank you");

  // The stalled connection is closed by the server within a few seconds.
  pollfd p{sock, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1) << "the server kept the stalled connection open";
  char buf[512];
  const ssize_t n = recv(sock, buf, sizeof buf, 0);
  EXPECT_GE(n, 0);
  if (n > 0) {
    // At most an error answer, then the close.
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(n)).rfind("HTTP/", 0), 0u);
  }
  close(sock);
}

TEST(TransServer, LogsOneLinePerRequestWithoutTheText) {
  ServerProcess server;
  ASSERT_NE(server.port(), 0);
  HttpClient client(server.port());
  const std::string secret = "我的密码是 hunter2 谢谢";
  ASSERT_TRUE(client.post(kPath, plugin_body(secret, "02")));
  ASSERT_TRUE(client.post(kPath, plugin_body(secret, "XX")));
  ASSERT_EQ(server.stop(SIGTERM), 0);

  const std::string log = server.log();
  EXPECT_EQ(log.find("hunter2"), std::string::npos) << log;
  EXPECT_EQ(log.find("我的"), std::string::npos) << log;
  EXPECT_EQ(log.find("%E6"), std::string::npos) << log;
  EXPECT_NE(log.find("GET /health lang=- 200 "), std::string::npos) << log;
  EXPECT_NE(log.find("POST /trans2/index.asp lang=02 200 "), std::string::npos) << log;
  EXPECT_NE(log.find("POST /trans2/index.asp lang=XX 400 "), std::string::npos) << log;
}

TEST(TransServer, StopsCleanlyOnSigintAndSigterm) {
  for (const int sig : {SIGINT, SIGTERM}) {
    ServerProcess server;
    ASSERT_NE(server.port(), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(server.stop(sig), 0) << sig;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_NE(server.log().find("trans-server stopped"), std::string::npos);
  }
}

TEST(TransServer, CommandLineErrorsExitWithStatus2) {
  std::string out;
  std::string err;
  EXPECT_EQ(run_to_exit({"--help"}, out, err), 0);
  EXPECT_NE(out.find("--backend"), std::string::npos);
  EXPECT_EQ(run_to_exit({"--backend", "libretranslate"}, out, err), 2);
  EXPECT_NE(err.find("needs --upstream"), std::string::npos);
  EXPECT_EQ(run_to_exit({"--backend", "libretranslate", "--upstream", "ftp://x"}, out, err), 2);
  EXPECT_EQ(run_to_exit({"--port", "http"}, out, err), 2);
}

TEST(TransServer, EightConcurrentClientsLoseNothing) {
  ServerProcess server;
  ASSERT_NE(server.port(), 0);
  struct Expect {
    const char* text;
    const char* code;
    const char* answer;
  };
  const Expect phrases[] = {
      {"你好", "02", "hello"},  // after an unknown stretch: not a sentence start
      {"thank you", "01", "谢谢"},
      {"谢谢", "03", "ありがとう"},
      {"お元気ですか", "10", "你好吗"},
  };
  constexpr int kClients = 8;
  constexpr int kRequests = 50;
  std::atomic<int> correct{0};
  std::atomic<int> failed{0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      HttpClient client(server.port());
      for (int i = 0; i < kRequests && std::chrono::steady_clock::now() < deadline; ++i) {
        // A number unknown to the tables rides along, so every answer is told apart.
        const Expect& e = phrases[(c + i) % 4];
        const std::string tag = std::to_string(c * 1000 + i);
        auto res = client.post(kPath, plugin_body(tag + " " + e.text, e.code));
        if (res && res->status == 200 && res->body == tag + " " + e.answer) {
          ++correct;
        } else {
          ++failed;
        }
      }
    });
  }
  for (std::thread& t : clients)
    t.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(correct.load(), kClients * kRequests);
}

}  // namespace
}  // namespace brevant::trans_server::testing
