// Requests per second of the bundled translation server with the phrasebook, on loopback, the
// latency of /health while slow clients trickle, and the cost of the phrase matcher alone.
//
// Other servers already running on loopback can be measured in the same run beside the one in
// this process: BREVANT_BENCH_SERVERS="name=port,name=port" adds the same benchmarks for each.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <thread>

#include "tests/server/http_client.h"
#include "tools/trans-server/backend.h"
#include "tools/trans-server/phrasebook.h"
#include "tools/trans-server/server.h"

namespace {

using namespace brevant::trans_server;
using brevant::trans_server::testing::HttpClient;
using brevant::trans_server::testing::plugin_body;

// One quiet server for the whole run, in this process, on a free loopback port.
class LoopbackServer {
 public:
  LoopbackServer() : server_(backend_, options()) {
    std::string error;
    if (server_.listen(error))
      thread_ = std::thread([this] { server_.run(); });
  }
  ~LoopbackServer() {
    server_.stop();
    if (thread_.joinable())
      thread_.join();
  }
  int port() const { return server_.port(); }

 private:
  static ServerOptions options() {
    ServerOptions o;
    o.quiet = true;
    o.port = 0;
    return o;
  }
  PhrasebookBackend backend_;
  HttpServer server_;
  std::thread thread_;
};

int loopback_port() {
  static LoopbackServer server;
  return server.port();
}

const std::string kChineseLine = "我很好，谢谢。你呢？你现在在哪里？我在北京。现在几点？";
const std::string kEnglishLine = "Hello! How are you? I'm fine, thank you. What are you doing?";

void BM_PhrasebookChineseToEnglish(benchmark::State& state) {
  const PhraseTable* table = Phrasebook::builtin().table("zh", "en");
  for (auto _ : state)
    benchmark::DoNotOptimize(table->translate(kChineseLine));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PhrasebookChineseToEnglish);

void BM_PhrasebookEnglishToChinese(benchmark::State& state) {
  const PhraseTable* table = Phrasebook::builtin().table("en", "zh");
  for (auto _ : state)
    benchmark::DoNotOptimize(table->translate(kEnglishLine));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PhrasebookEnglishToChinese);

// A plain blocking keep-alive client, as cheap as it gets, so that the server's own cost shows:
// one request written at once, the answer read to its Content-Length. Opens a new connection
// when the server closes one.
class RawClient {
 public:
  explicit RawClient(int port) : port_(port) {}
  ~RawClient() { disconnect(); }

  // The status of the answer, or 0 when there was none.
  int exchange(const std::string& request) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (sock_ < 0 && !connect_now())
        return 0;
      if (send(sock_, request.data(), request.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(request.size())) {
        if (const int status = read_answer())
          return status;
      }
      disconnect();
    }
    return 0;
  }

 private:
  bool connect_now() {
    sock_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port_));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    setsockopt(sock_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval tv{5, 0};
    setsockopt(sock_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (connect(sock_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      disconnect();
      return false;
    }
    buffer_.clear();
    return true;
  }
  void disconnect() {
    if (sock_ >= 0)
      close(sock_);
    sock_ = -1;
  }
  int read_answer() {
    while (true) {
      const std::size_t head_end = buffer_.find("\r\n\r\n");
      if (head_end != std::string::npos) {
        std::size_t length = 0;
        const std::size_t at = find_ci(buffer_.substr(0, head_end), "content-length:");
        if (at != std::string::npos)
          length = std::strtoul(buffer_.c_str() + at + 15, nullptr, 10);
        if (buffer_.size() >= head_end + 4 + length) {
          const int status = std::atoi(buffer_.c_str() + 9);
          const bool close_after =
              find_ci(buffer_.substr(0, head_end), "connection: close") != std::string::npos;
          buffer_.erase(0, head_end + 4 + length);
          if (close_after)
            disconnect();
          return status;
        }
      }
      char chunk[16384];
      const ssize_t n = recv(sock_, chunk, sizeof chunk, 0);
      if (n <= 0)
        return 0;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }
  static std::size_t find_ci(std::string s, std::string_view what) {
    for (char& c : s)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s.find(what);
  }

  int port_;
  int sock_ = -1;
  std::string buffer_;
};

// Each benchmark thread is one client with a keep-alive connection, as the plug-in's requests
// would be; items per second is requests per second.
void requests(benchmark::State& state, int port) {
  RawClient client(port);
  const std::string body = plugin_body(kChineseLine, "02");
  const std::string request =
      "POST /trans2/index.asp HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
      "\r\n"
      "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body;
  std::int64_t failures = 0;
  for (auto _ : state) {
    if (client.exchange(request) != 200)
      ++failures;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["failures"] = benchmark::Counter(static_cast<double>(failures));
}

// Latency of GET /health while 200 clients each send one byte of a request every 250 ms.
// Bounded: 400 probes at most, ended early after 5 that get no answer within 2 s.
void health_under_slow_clients(benchmark::State& state, int port) {
  constexpr int kSlow = 200;
  std::vector<int> slow;
  for (int i = 0; i < kSlow; ++i) {
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (sock >= 0 && connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
      slow.push_back(sock);
    else if (sock >= 0)
      close(sock);
  }
  const std::string request =
      "POST /trans2/index.asp HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
      "\r\nContent-Length: 60\r\n\r\n" + std::string(60, 'a');
  std::atomic<bool> trickling{true};
  std::thread trickler([&] {
    for (std::size_t at = 0; trickling && at < request.size(); ++at) {
      for (const int sock : slow)
        send(sock, request.data() + at, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      for (int i = 0; i < 5 && trickling; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  std::vector<double> ms;
  int failures = 0;
  for (auto _ : state) {
    HttpClient client(port, std::chrono::seconds(2));
    for (int i = 0; i < 400 && failures < 5; ++i) {
      const auto start = std::chrono::steady_clock::now();
      const auto res = client.get("/health");
      const double took =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count();
      if (res && res->status == 200)
        ms.push_back(took);
      else
        ++failures;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  trickling = false;
  trickler.join();
  for (const int sock : slow)
    close(sock);
  std::sort(ms.begin(), ms.end());
  auto percentile = [&](double p) {
    return ms.empty() ? -1.0 : ms[static_cast<std::size_t>(p * static_cast<double>(ms.size() - 1))];
  };
  state.counters["slow_clients"] = static_cast<double>(slow.size());
  state.counters["p50_ms"] = percentile(0.50);
  state.counters["p99_ms"] = percentile(0.99);
  state.counters["answered"] = static_cast<double>(ms.size());
  state.counters["failures"] = static_cast<double>(failures);
}

// The servers to measure: the one in this process, and any named in BREVANT_BENCH_SERVERS.
std::vector<std::pair<std::string, int>> servers() {
  std::vector<std::pair<std::string, int>> out{{"inprocess", 0}};
  const char* env = std::getenv("BREVANT_BENCH_SERVERS");
  std::string list = env != nullptr ? env : "";
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    const std::string item = list.substr(0, comma);
    list = comma == std::string::npos ? "" : list.substr(comma + 1);
    const std::size_t eq = item.find('=');
    if (eq != std::string::npos)
      out.emplace_back(item.substr(0, eq), std::atoi(item.c_str() + eq + 1));
  }
  return out;
}

const bool registered = [] {
  for (const auto& [name, given_port] : servers()) {
    const int port = given_port;
    auto port_of = [port] { return port != 0 ? port : loopback_port(); };
    benchmark::RegisterBenchmark(("BM_Requests/" + name).c_str(),
                                 [port_of](benchmark::State& s) { requests(s, port_of()); })
        ->Threads(1)
        ->Threads(8)
        ->UseRealTime()
        ->MinTime(2.0);
    benchmark::RegisterBenchmark(
        ("BM_HealthUnder200SlowClients/" + name).c_str(),
        [port_of](benchmark::State& s) { health_under_slow_clients(s, port_of()); })
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
