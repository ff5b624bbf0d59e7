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

// A connection to the server from `source` (another loopback address stands for another
// client machine).
int connect_to(int port, const char* source = nullptr) {
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  if (sock >= 0 && source != nullptr) {
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source, &from.sin_addr);
    if (bind(sock, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
      close(sock);
      return -1;
    }
  }
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

// The Host field a client of the server on `port` sends.
std::string host_line(int port) {
  return "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
}

std::string post_request(int port, std::string_view body, bool close = false) {
  return "POST /trans2/index.asp HTTP/1.1\r\n" + host_line(port) +
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

  // 500 keep-alive connections from three client addresses, each idle after one answer.
  std::vector<int> idle;
  const std::string health = "GET /health HTTP/1.1\r\n" + host_line(server.port()) + "\r\n";
  const char* idle_clients[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4"};
  for (int i = 0; i < kIdle; ++i) {
    const int sock = connect_to(server.port(), idle_clients[i % 3]);
    ASSERT_GE(sock, 0) << i;
    ASSERT_TRUE(send_all(sock, health));
    idle.push_back(sock);
  }
  for (const int sock : idle)
    ASSERT_EQ(read_answers(sock, 1, milliseconds(5000)).size(), 1u);
  const auto idle_since = steady_clock::now();

  // 200 clients that each send their request one byte at a time, every 250 ms.
  const std::string slow_request = post_request(server.port(), plugin_body("你好", "02"));
  std::vector<int> slow;
  for (int i = 0; i < kSlow; ++i) {
    const int sock = connect_to(server.port(), "127.0.0.5");
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
  const std::string request = post_request(server.port(), plugin_body("你好", "02"));
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
  const std::string host = host_line(server.port());
  auto with_fields = [&host](int count, std::size_t value_size) {
    std::string r = "GET /health HTTP/1.1\r\n" + host;
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
  std::thread flood([sock, &host] {
    std::string lines = "POST /trans2/index.asp HTTP/1.1\r\n" + host;
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
  ASSERT_TRUE(send_all(sock, "GET /health HTTP/1.1\r\n" + host_line(server.port()) + "\r\n" +
                                 post_request(server.port(), plugin_body("你好", "02")) +
                                 post_request(server.port(), plugin_body("谢谢", "02"), true)));
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

TEST(ServerProbes, AtTheLimitAnIdleConnectionMakesRoomElseARefusal) {
  ServerProcess server({"--max-connections", "4", "--max-connections-per-client", "2"});
  ASSERT_NE(server.port(), 0);
  std::this_thread::sleep_for(milliseconds(200));  // the start-up check's connection has gone
  const std::string health = "GET /health HTTP/1.1\r\n" + host_line(server.port()) + "\r\n";
  const std::string partial = "GET /health HTTP/1.1\r\n" + host_line(server.port());
  auto status_of = [](int sock) {
    const auto answers = read_answers(sock, 1, milliseconds(3000));
    return answers.empty() ? std::string("none") : answers[0].substr(0, 12);
  };
  auto open_with = [&](const char* client, const std::string& request) {
    const int sock = connect_to(server.port(), client);
    EXPECT_GE(sock, 0) << client;
    EXPECT_TRUE(send_all(sock, request));
    return sock;
  };

  // A client at its own limit with requests under way is refused; another is served.
  const int busy_a = open_with("127.0.0.2", partial);
  const int busy_b = open_with("127.0.0.2", partial);
  std::this_thread::sleep_for(milliseconds(100));
  const int third = open_with("127.0.0.2", health);
  const auto refusal = read_answers(third, 1, milliseconds(3000));
  ASSERT_EQ(refusal.size(), 1u);
  EXPECT_EQ(refusal[0].rfind("HTTP/1.1 503", 0), 0u) << refusal[0];
  EXPECT_TRUE(refusal[0].ends_with("too many connections, try again later"));
  close(third);

  // At the server's limit the longest idle connection is closed for a new client.
  const int idle_a = open_with("127.0.0.3", health);
  EXPECT_EQ(status_of(idle_a), "HTTP/1.1 200");
  const int idle_b = open_with("127.0.0.3", health);
  EXPECT_EQ(status_of(idle_b), "HTTP/1.1 200");
  const int newcomer = open_with("127.0.0.4", health);
  EXPECT_EQ(status_of(newcomer), "HTTP/1.1 200");
  EXPECT_TRUE(closed_by_server(idle_a, milliseconds(2000)));
  EXPECT_FALSE(closed_by_server(idle_b, milliseconds(0)));

  // With none idle, the next one is refused.
  EXPECT_TRUE(send_all(idle_b, partial));
  EXPECT_TRUE(send_all(newcomer, partial));
  std::this_thread::sleep_for(milliseconds(100));
  const int late = open_with("127.0.0.5", health);
  EXPECT_EQ(status_of(late), "HTTP/1.1 503");
  close(late);

  close(busy_a);
  std::this_thread::sleep_for(milliseconds(200));
  HttpClient client(server.port());
  const auto res = client.post(kPath, plugin_body("你好", "02"));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, "Hello");
  for (const int sock : {busy_b, idle_a, idle_b, newcomer})
    close(sock);
}

TEST(ServerProbes, OnlyItsOwnNamesAndStrictFraming) {
  ServerProcess server({"--allow-origin", "http://app.example", "--allow-host", "mt.example.org"});
  ASSERT_NE(server.port(), 0);
  const std::string port = std::to_string(server.port());
  const std::string host = host_line(server.port());
  // A request hidden in a body: answered only by a server that takes the body for the next
  // request.
  const std::string smuggled = "GET /health HTTP/1.1\r\n" + host + "\r\n";
  const std::string length = std::to_string(smuggled.size());
  struct Case {
    std::string request;
    const char* status;
    bool closed;
    const char* header;  // a field the answer has ("" none), or with "!" one it must not have
  };
  const Case cases[] = {
      {"GET /health HTTP/1.1\r\n" + host + "\r\n", "HTTP/1.1 200", false, "!Access-Control"},
      {"GET /health HTTP/1.1\r\nHost: localhost:" + port + "\r\n\r\n", "HTTP/1.1 200", false, ""},
      {"GET /health HTTP/1.1\r\nHost: mt.example.org\r\n\r\n", "HTTP/1.1 200", false, ""},
      // DNS rebinding: a foreign name, or the right address on another port.
      {"GET /health HTTP/1.1\r\nHost: evil.example:" + port + "\r\n\r\n", "HTTP/1.1 421", true, ""},
      {"GET /health HTTP/1.1\r\nHost: 127.0.0.1:1\r\n\r\n", "HTTP/1.1 421", true, ""},
      // Web pages: only an allowed origin, and only it gets CORS headers.
      {"POST /trans2/index.asp HTTP/1.1\r\n" + host +
           "Origin: http://evil.example\r\nContent-Length: 0\r\n\r\n",
       "HTTP/1.1 403", true, "!Access-Control"},
      {"GET /health HTTP/1.1\r\n" + host + "Origin: http://app.example\r\n\r\n", "HTTP/1.1 200",
       false, "Access-Control-Allow-Origin: http://app.example"},
      {"OPTIONS /trans2/index.asp HTTP/1.1\r\n" + host +
           "Origin: http://app.example\r\nAccess-Control-Request-Method: POST\r\n\r\n",
       "HTTP/1.1 204", false, "Access-Control-Allow-Methods: GET, HEAD, POST"},
      // One Host, and the absolute form's authority counts.
      {"GET /health HTTP/1.1\r\n\r\n", "HTTP/1.1 400", true, ""},
      {"GET /health HTTP/1.1\r\n" + host + host + "\r\n", "HTTP/1.1 400", true, ""},
      {"GET /health HTTP/1.0\r\n\r\n", "HTTP/1.0 200", true, ""},
      {"GET http://127.0.0.1:" + port + "/health HTTP/1.1\r\nHost: whatever\r\n\r\n",
       "HTTP/1.1 200", false, ""},
      {"GET http://evil.example:" + port + "/health HTTP/1.1\r\n" + host + "\r\n", "HTTP/1.1 421",
       true, ""},
      // Versions: a later HTTP/1 minor version reads as 1.1, another major one is refused.
      {"GET /health HTTP/1.2\r\n" + host + "\r\n", "HTTP/1.1 200", false, ""},
      {"GET /health HTTP/2.0\r\n" + host + "\r\n", "HTTP/1.1 505", true, ""},
      // Bodies whose end cannot be told: 400 and close, never a second answer.
      {"POST /trans2/index.asp HTTP/1.1\r\n" + host + "Transfer-Encoding: gzip\r\n\r\n" + smuggled,
       "HTTP/1.1 400", true, ""},
      {"POST /trans2/index.asp HTTP/1.1\r\n" + host +
           "Transfer-Encoding: identity\r\nContent-Length: " + length + "\r\n\r\n" + smuggled,
       "HTTP/1.1 400", true, ""},
      {"POST /trans2/index.asp HTTP/1.1\r\n" + host +
           "Transfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n0\r\n\r\n" + smuggled,
       "HTTP/1.1 400", true, ""},
      {"POST /trans2/index.asp HTTP/1.1\r\n" + host +
           "Transfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n" + smuggled,
       "HTTP/1.1 501", true, ""},
  };
  for (const Case& c : cases) {
    const std::string first_line = c.request.substr(0, c.request.find('\r'));
    const int sock = connect_to(server.port());
    ASSERT_GE(sock, 0);
    ASSERT_TRUE(send_all(sock, c.request));
    const auto answers = read_answers(sock, 1, milliseconds(3000));
    ASSERT_EQ(answers.size(), 1u) << first_line;
    EXPECT_EQ(answers[0].rfind(c.status, 0), 0u) << first_line << "\n" << answers[0];
    const std::string_view header = c.header;
    if (header.starts_with('!')) {
      EXPECT_EQ(answers[0].find(header.substr(1)), std::string::npos) << first_line;
    } else if (!header.empty()) {
      EXPECT_NE(answers[0].find(header), std::string::npos) << first_line << "\n" << answers[0];
    }
    // Closed means closed without another answer; open means still open.
    EXPECT_EQ(closed_by_server(sock, milliseconds(c.closed ? 2000 : 0)), c.closed) << first_line;
    close(sock);
  }
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

  // However many runs and pieces a message has, it costs at most 16 calls.
  std::string runs;
  std::string mangled = "mangle";
  for (int i = 0; i < 300; ++i) {
    runs += "<b>x" + std::to_string(i) + "</b>";
    mangled += " w 😀";
  }
  for (const std::string& text : {runs, mangled}) {
    const std::size_t before = fake.calls_to("/translate");
    const auto res = client.post(kPath, plugin_body(text, "01"));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_LE(fake.calls_to("/translate") - before, text == runs ? 1u : 16u);
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

  // A service that matches codes exactly and whose first /languages fails: both forms of the
  // codes are tried meanwhile, and /languages is asked again seconds later.
  FakeService exact;
  exact.set_languages(cases[0].languages);
  exact.exact_codes(true);
  exact.fail_languages(1);
  ServerProcess server({"--backend", "libretranslate", "--upstream", exact.url()});
  ASSERT_NE(server.port(), 0);
  HttpClient client(server.port());
  const auto first = client.post(kPath, plugin_body("a", "02"));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->body, "zh-Hans->en:a");
  EXPECT_EQ(exact.calls_to("/languages"), 1u);
  std::this_thread::sleep_for(milliseconds(2100));
  const auto later = client.post(kPath, plugin_body("b", "zh_zt"));
  ASSERT_TRUE(later);
  EXPECT_EQ(later->body, "zh-Hans->zh-Hant:b");
  EXPECT_EQ(exact.calls_to("/languages"), 2u);
}

}  // namespace
}  // namespace brevant::trans_server::testing
