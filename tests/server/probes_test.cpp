// The real program under hostile, slow and idle clients and slow services, on loopback. Every
// probe is bounded in count and time, and checks the server's peak memory.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

#include "tests/server/http_client.h"
#include "tests/server/server_process.h"

namespace brevant::trans_server::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr char kPath[] = "/trans2/index.asp";
// The server's peak memory under each probe; an AddressSanitizer build's own bookkeeping would
// dwarf it, so there it is only printed.
#ifdef __SANITIZE_ADDRESS__
constexpr long kMemoryLimitKib = 1024 * 1024;
#else
constexpr long kMemoryLimitKib = 50 * 1024;
#endif

// Enough descriptors for several hundred connections in this process.
void raise_descriptor_limit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 4096) {
    limit.rlim_cur = std::min<rlim_t>(4096, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

int connect_to(int port) {
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (sock >= 0 && connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(sock);
    return -1;
  }
  return sock;
}

bool send_all(int sock, std::string_view data) {
  for (std::size_t sent = 0; sent < data.size();) {
    const ssize_t n = send(sock, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0)
      return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads until `count` whole answers (with Content-Length) have come, the server closes, or
// `within` passes; returns the answers, each from its status line.
std::vector<std::string> read_answers(int sock, std::size_t count, milliseconds within) {
  std::string data;
  std::vector<std::string> answers;
  const auto deadline = steady_clock::now() + within;
  while (answers.size() < count && steady_clock::now() < deadline) {
    const std::size_t head_end = data.find("\r\n\r\n");
    if (head_end != std::string::npos) {
      const std::size_t at = data.find("Content-Length: ");
      const std::size_t length = at < head_end ? std::stoul(data.substr(at + 16)) : 0;
      if (data.size() >= head_end + 4 + length) {
        answers.push_back(data.substr(0, head_end + 4 + length));
        data.erase(0, head_end + 4 + length);
        continue;
      }
    }
    pollfd p{sock, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0)
      continue;
    char buf[4096];
    const ssize_t n = recv(sock, buf, sizeof buf, 0);
    if (n <= 0)
      break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  return answers;
}

// Whether the server has closed `sock` (after any answer it sent), waiting up to `within`.
bool closed_by_server(int sock, milliseconds within) {
  const auto deadline = steady_clock::now() + within;
  while (steady_clock::now() < deadline) {
    pollfd p{sock, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0)
      continue;
    char buf[1024];
    if (recv(sock, buf, sizeof buf, MSG_DONTWAIT) <= 0)
      return true;
  }
  return false;
}

std::string post_request(std::string_view body, bool close = false) {
  return "POST /trans2/index.asp HTTP/1.1\r\nHost: x\r\n" +
         std::string(close ? "Connection: close\r\n" : "") +
         "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

TEST(ServerProbes, SlowAndIdleClientsCostOthersNothing) {
  raise_descriptor_limit();
  ServerProcess server;
  ASSERT_NE(server.port(), 0);
  constexpr int kIdle = 500;
  constexpr int kSlow = 200;

  // 500 keep-alive connections, each idle after one answer.
  std::vector<int> idle;
  const std::string health = "GET /health HTTP/1.1\r\nHost: x\r\n\r\n";
  for (int i = 0; i < kIdle; ++i) {
    const int sock = connect_to(server.port());
    ASSERT_GE(sock, 0) << i;
    ASSERT_TRUE(send_all(sock, health));
    idle.push_back(sock);
  }
  for (const int sock : idle)
    ASSERT_EQ(read_answers(sock, 1, milliseconds(5000)).size(), 1u);
  const auto idle_since = steady_clock::now();

  // 200 clients that each send their request one byte at a time, every 250 ms.
  const std::string slow_request = post_request(plugin_body("你好", "02"));
  std::vector<int> slow;
  for (int i = 0; i < kSlow; ++i) {
    const int sock = connect_to(server.port());
    ASSERT_GE(sock, 0) << i;
    slow.push_back(sock);
  }
  std::atomic<bool> trickling{true};
  std::thread trickler([&] {
    for (std::size_t at = 0; trickling && at < slow_request.size(); ++at) {
      for (const int sock : slow)
        send(sock, slow_request.data() + at, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      for (int i = 0; i < 5 && trickling; ++i)
        std::this_thread::sleep_for(milliseconds(50));
    }
  });

  // Meanwhile a normal client is answered at once, every time.
  HttpClient client(server.port());
  milliseconds slowest{0};
  int answered = 0;
  int over_50ms = 0;
  for (int i = 0; i < 40; ++i) {
    const auto start = steady_clock::now();
    const auto res =
        i % 2 == 0 ? client.get("/health") : client.post(kPath, plugin_body("谢谢", "02"));
    const auto took = std::chrono::duration_cast<milliseconds>(steady_clock::now() - start);
    slowest = std::max(slowest, took);
    over_50ms += took > milliseconds(50) ? 1 : 0;
    if (res && res->status == 200 && res->body == (i % 2 == 0 ? "ok" : "Thank you"))
      ++answered;
    std::this_thread::sleep_for(milliseconds(50));
  }
  EXPECT_EQ(answered, 40);
  // Each answer comes within 50 ms; a couple of scheduler hiccups on a busy machine are let
  // pass, never the seconds a blocked server would take.
  EXPECT_LE(over_50ms, 2);
  EXPECT_LT(slowest, milliseconds(500));
  const long memory = peak_memory_kib(server.pid());
  EXPECT_LT(memory, kMemoryLimitKib);
  std::printf("[ memory ] 500 idle and 200 slow clients: %ld KiB; slowest answer %lld ms\n", memory,
              static_cast<long long>(slowest.count()));

  // The idle connections are closed 5 s after their answer.
  std::this_thread::sleep_until(idle_since + milliseconds(4000));
  int closed_early = 0;
  for (const int sock : idle)
    closed_early += closed_by_server(sock, milliseconds(0)) ? 1 : 0;
  EXPECT_EQ(closed_early, 0);
  int closed = 0;
  for (const int sock : idle)
    closed += closed_by_server(sock, std::chrono::duration_cast<milliseconds>(
                                         idle_since + milliseconds(6500) - steady_clock::now()))
                  ? 1
                  : 0;
  EXPECT_EQ(closed, kIdle);

  trickling = false;
  trickler.join();
  for (const int sock : idle)
    close(sock);
  for (const int sock : slow)
    close(sock);
}

TEST(ServerProbes, AWholeRequestHasItsDeadlineHoweverItTrickles) {
  ServerProcess server({"--read-timeout", "1"});
  ASSERT_NE(server.port(), 0);
  const int sock = connect_to(server.port());
  ASSERT_GE(sock, 0);
  const std::string request = post_request(plugin_body("你好", "02"));
  const auto start = steady_clock::now();
  bool closed = false;
  // One byte every 100 ms would take several seconds; the server ends it after one.
  for (std::size_t at = 0; at < request.size() && !closed; ++at) {
    send(sock, request.data() + at, 1, MSG_NOSIGNAL);
    closed = closed_by_server(sock, milliseconds(100));
  }
  EXPECT_TRUE(closed);
  EXPECT_LT(steady_clock::now() - start, milliseconds(2000));
  EXPECT_GT(steady_clock::now() - start, milliseconds(900));
  close(sock);
}

TEST(ServerProbes, HeaderLimitsAnswer431) {
  ServerProcess server;
  ASSERT_NE(server.port(), 0);
  auto with_fields = [](int count, std::size_t value_size) {
    std::string r = "GET /health HTTP/1.1\r\nHost: x\r\n";
    for (int i = 1; i < count; ++i)
      r += "X-" + std::to_string(i) + ": " + std::string(value_size, 'v') + "\r\n";
    return r + "\r\n";
  };
  struct Case {
    std::string request;
    const char* status;
  };
  const Case cases[] = {
      {with_fields(100, 10), "HTTP/1.1 200"},
      {with_fields(101, 1), "HTTP/1.1 431"},
      {with_fields(2, 15 * 1024), "HTTP/1.1 200"},
      {with_fields(2, 17 * 1024), "HTTP/1.1 431"},
  };
  for (const Case& c : cases) {
    const int sock = connect_to(server.port());
    ASSERT_GE(sock, 0);
    ASSERT_TRUE(send_all(sock, c.request));
    const auto answers = read_answers(sock, 1, milliseconds(5000));
    ASSERT_EQ(answers.size(), 1u) << c.request.size();
    EXPECT_EQ(answers[0].rfind(c.status, 0), 0u) << answers[0];
    close(sock);
  }

  // Two million header lines: refused early, and the server stays small.
  const int sock = connect_to(server.port());
  ASSERT_GE(sock, 0);
  std::thread flood([sock] {
    std::string lines = "POST /trans2/index.asp HTTP/1.1\r\nHost: x\r\n";
    std::string block;
    for (int i = 0; i < 10000; ++i)
      block += "X-Flood: y\r\n";
    send_all(sock, lines);
    for (int i = 0; i < 200 && send_all(sock, block); ++i) {
    }
  });
  const auto answers = read_answers(sock, 1, milliseconds(10000));
  flood.join();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].rfind("HTTP/1.1 431", 0), 0u) << answers[0];
  close(sock);
  const long memory = peak_memory_kib(server.pid());
  EXPECT_LT(memory, kMemoryLimitKib);
  std::printf("[ memory ] header flood: %ld KiB\n", memory);

  HttpClient client(server.port());
  const auto after = client.get("/health");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->status, 200);
}

TEST(ServerProbes, PipelinedRequestsAreAnsweredInOrder) {
  ServerProcess server;
  ASSERT_NE(server.port(), 0);
  const int sock = connect_to(server.port());
  ASSERT_GE(sock, 0);
  ASSERT_TRUE(send_all(sock, "GET /health HTTP/1.1\r\nHost: x\r\n\r\n" +
                                 post_request(plugin_body("你好", "02")) +
                                 post_request(plugin_body("谢谢", "02"), true)));
  const auto answers = read_answers(sock, 3, milliseconds(5000));
  ASSERT_EQ(answers.size(), 3u);
  const char* bodies[] = {"ok", "Hello", "Thank you"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(answers[i].rfind("HTTP/1.1 200", 0), 0u) << answers[i];
    EXPECT_TRUE(answers[i].ends_with(std::string("\r\n\r\n") + bodies[i])) << answers[i];
  }
  EXPECT_TRUE(closed_by_server(sock, milliseconds(2000)));  // the last one asked for it
  close(sock);
}

TEST(ServerProbes, ConnectionsOverTheLimitAreRefusedClearly) {
  ServerProcess server({"--max-connections", "5"});
  ASSERT_NE(server.port(), 0);
  // Five connections, each seen served (once the start-up check's connection has gone).
  std::this_thread::sleep_for(milliseconds(200));
  std::vector<int> held;
  for (int i = 0; i < 5; ++i) {
    held.push_back(connect_to(server.port()));
    ASSERT_TRUE(send_all(held.back(), "GET /health HTTP/1.1\r\nHost: x\r\n\r\n"));
    const auto answers = read_answers(held.back(), 1, milliseconds(3000));
    ASSERT_EQ(answers.size(), 1u);
    ASSERT_EQ(answers[0].rfind("HTTP/1.1 200", 0), 0u) << i;
  }
  const int extra = connect_to(server.port());
  ASSERT_GE(extra, 0);
  const auto refusal = read_answers(extra, 1, milliseconds(3000));
  ASSERT_EQ(refusal.size(), 1u);
  EXPECT_EQ(refusal[0].rfind("HTTP/1.1 503", 0), 0u) << refusal[0];
  EXPECT_TRUE(refusal[0].ends_with("too many connections, try again later"));
  close(extra);

  close(held.back());
  held.pop_back();
  std::this_thread::sleep_for(milliseconds(200));
  HttpClient client(server.port());
  const auto res = client.post(kPath, plugin_body("你好", "02"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, "Hello");
  for (const int sock : held)
    close(sock);
}

TEST(ServerProbes, FormattedMessagesAndProtectedPiecesWithThePhrasebook) {
  ServerProcess server;
  ASSERT_NE(server.port(), 0);
  HttpClient client(server.port());
  struct Case {
    const char* text;
    const char* code;
    const char* answer;
  };
  const Case cases[] = {
      {"<font color=red>你好</font>", "02", "Hello"},
      {"<font face=\"宋体\" color=#0000ff>thank you</font>", "01", "谢谢"},
      {"谢谢 @bob 😀 https://ex.am/a?b=1", "02", "Thank you @bob 😀 https://ex.am/a?b=1"},
      {"<b>😀</b>", "02", "😀"},
  };
  for (const Case& c : cases) {
    const auto res = client.post(kPath, plugin_body(c.text, c.code));
    ASSERT_TRUE(res) << c.text;
    EXPECT_EQ(res->status, 200) << c.text;
    EXPECT_EQ(res->body, c.answer) << c.text;
  }
}

TEST(ServiceProbes, ATricklingOrSlowServiceIsCutOffAtTheDeadline) {
  raise_descriptor_limit();
  FakeService fake;
  ServerProcess server(
      {"--backend", "libretranslate", "--upstream", fake.url(), "--upstream-timeout", "1"});
  ASSERT_NE(server.port(), 0);

  HttpClient client(server.port());
  auto start = steady_clock::now();
  const auto res = client.post(kPath, plugin_body("trickle", "01"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 502);
  EXPECT_EQ(res->body, "upstream unreachable: no answer in time");
  EXPECT_LT(steady_clock::now() - start, milliseconds(1800));

  // 40 different texts at once, each slower than the deadline: all cut off at it.
  start = steady_clock::now();
  std::vector<std::future<std::optional<HttpAnswer>>> answers;
  for (int i = 0; i < 40; ++i) {
    answers.push_back(std::async(std::launch::async, [&, i] {
      HttpClient one(server.port());
      return one.post(
          kPath, plugin_body("slow " + std::string{char('a' + i / 26), char('a' + i % 26)}, "01"));
    }));
  }
  int cut_off = 0;
  for (auto& a : answers) {
    const auto r = a.get();
    cut_off += r && r->status == 502 ? 1 : 0;
  }
  EXPECT_EQ(cut_off, 40);
  EXPECT_LT(steady_clock::now() - start, milliseconds(2000));
  const long memory = peak_memory_kib(server.pid());
  EXPECT_LT(memory, kMemoryLimitKib);
  std::printf("[ memory ] trickling and slow service: %ld KiB\n", memory);
}

TEST(ServiceProbes, IdenticalRequestsMakeOneServiceCall) {
  FakeService fake;
  ServerProcess server({"--backend", "libretranslate", "--upstream", fake.url()});
  ASSERT_NE(server.port(), 0);
  const std::string body = plugin_body("delay same text", "01");
  // The two engines of one translator: the second asks while the first is still waiting.
  auto first =
      std::async(std::launch::async, [&] { return HttpClient(server.port()).post(kPath, body); });
  std::this_thread::sleep_for(milliseconds(200));
  auto second =
      std::async(std::launch::async, [&] { return HttpClient(server.port()).post(kPath, body); });
  const auto a = first.get();
  const auto b = second.get();
  // And a later ask is answered from what was kept.
  const auto start = steady_clock::now();
  const auto c = HttpClient(server.port()).post(kPath, body);
  EXPECT_LT(steady_clock::now() - start, milliseconds(300));
  for (const auto& r : {a, b, c}) {
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->body, "en->zh:delay same text");
  }
  EXPECT_EQ(fake.calls_to("/translate"), 1u);
  // A different pair is a different question.
  const auto other = HttpClient(server.port()).post(kPath, plugin_body("same text", "en_ja"));
  ASSERT_TRUE(other);
  EXPECT_EQ(other->body, "en->ja:same text");
  EXPECT_EQ(fake.calls_to("/translate"), 2u);
}

TEST(ServiceProbes, TheServiceSeesOnlyTextRunsWithoutProtectedPieces) {
  FakeService fake;
  ServerProcess server({"--backend", "libretranslate", "--upstream", fake.url()});
  ASSERT_NE(server.port(), 0);
  HttpClient client(server.port());
  struct Case {
    const char* text;
    const char* q;  // what the service got last
    const char* answer;
  };
  const Case cases[] = {
      {"<font color=red>hello @bob https://x.y/z 😀</font>", "hello ⟦0⟧ ⟦1⟧ ⟦2⟧",
       "en->zh:hello @bob https://x.y/z 😀"},
      {"call 555-0100 or mail a.b@ex.am", "call ⟦0⟧-⟦1⟧ or mail ⟦2⟧",
       "en->zh:call 555-0100 or mail a.b@ex.am"},
      // A service that drops the placeholders gets the stretches between them one by one.
      {"mangle 👍 this", "this", "en->zh:mangle 👍 en->zh:this"},
  };
  for (const Case& c : cases) {
    const auto res = client.post(kPath, plugin_body(c.text, "01"));
    ASSERT_TRUE(res) << c.text;
    EXPECT_EQ(res->status, 200) << c.text;
    EXPECT_EQ(res->body, c.answer) << c.text;
    EXPECT_EQ(fake.calls().back().q, c.q) << c.text;
  }
}

TEST(ServiceProbes, ChineseCodesFollowTheServicesLanguages) {
  struct Case {
    const char* languages;
    const char* simplified;
    const char* traditional;
  };
  const Case cases[] = {
      {R"([{"code":"en"},{"code":"zh-Hans"},{"code":"zh-Hant"},{"code":"ja"}])", "zh-Hans",
       "zh-Hant"},
      {R"([{"code":"en"},{"code":"zh"},{"code":"zt"},{"code":"ja"}])", "zh", "zt"},
      {"not json", "zh", "zt"},
  };
  for (const Case& c : cases) {
    FakeService fake;
    fake.set_languages(c.languages);
    ServerProcess server({"--backend", "libretranslate", "--upstream", fake.url()});
    ASSERT_NE(server.port(), 0);
    HttpClient client(server.port());
    const auto to_english = client.post(kPath, plugin_body("a", "02"));
    const auto to_traditional = client.post(kPath, plugin_body("b", "zh_zt"));
    const auto japanese = client.post(kPath, plugin_body("c", "ja_en"));
    ASSERT_TRUE(to_english && to_traditional && japanese);
    EXPECT_EQ(to_english->body, std::string(c.simplified) + "->en:a");
    EXPECT_EQ(to_traditional->body, std::string(c.simplified) + "->" + c.traditional + ":b");
    EXPECT_EQ(japanese->body, "ja->en:c");
    EXPECT_EQ(fake.calls_to("/languages"), 1u) << c.languages;
  }
}

}  // namespace
}  // namespace brevant::trans_server::testing
