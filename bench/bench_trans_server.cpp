// Requests per second of the bundled translation server with the phrasebook, on loopback, and
// the cost of the phrase matcher alone.

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <thread>

#include "tools/trans-server/backend.h"
#include "tools/trans-server/form.h"
#include "tools/trans-server/phrasebook.h"
#include "tools/trans-server/server.h"

namespace {

using namespace brevant::trans_server;

// One quiet server for the whole run, in this process, on a free loopback port.
class LoopbackServer {
 public:
  LoopbackServer() {
    ServerOptions options;
    options.quiet = true;
    configure_server(server_, backend_, options);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    httplib::Client probe("127.0.0.1", port_);
    for (int i = 0; i < 200 && !probe.Get("/health"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~LoopbackServer() {
    server_.stop();
    thread_.join();
  }
  int port() const { return port_; }

 private:
  PhrasebookBackend backend_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

LoopbackServer& loopback_server() {
  static LoopbackServer server;
  return server;
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

// Each benchmark thread is one client with a keep-alive connection, as the plug-in's requests
// would be; items per second is requests per second.
void BM_LoopbackRequests(benchmark::State& state) {
  const int port = loopback_server().port();
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);  // headers and body are two writes here too
  const std::string body = "domain=00&text=" + form_escape(kChineseLine) + "&lang=02";
  std::int64_t failures = 0;
  for (auto _ : state) {
    auto res = client.Post("/trans2/index.asp", body, "application/x-www-form-urlencoded");
    if (!res || res->status != 200)
      ++failures;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["failures"] = static_cast<double>(failures);
}
BENCHMARK(BM_LoopbackRequests)->Threads(1)->Threads(8)->UseRealTime();

}  // namespace
