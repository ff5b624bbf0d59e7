// The companion windows' cost to the messenger's user-interface thread on the sim desktop: the
// placement tick of 20 docked companions, idle and with every host moving, and the longest block
// of the thread while the user clicks back and forth between a host and its companion.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "chatwin/frm_chat.h"
#include "platform/sim/sim_services.h"
#include "plugin/module.h"

namespace brevant {
namespace {

constexpr int kCompanions = 20;

struct Desk {
  SimServices sim = make_sim_services(u"/nonexistent-brevant-bench");
  SimDesktop& desk = *sim.desktop;
  VirtualClock& clock = *sim.clock;
  std::unique_ptr<Module> module = std::make_unique<Module>(std::move(sim.services));
  std::vector<Hwnd> hosts;

  explicit Desk(int companions) {
    for (int i = 0; i < companions; ++i) {
      const Hwnd host = desk.create_window(kHostFrameClass, u"chat - me", 0,
                                           {10 * i, 20 * i, 10 * i + 600, 20 * i + 400});
      desk.create_window(kHostButtonClass, kSendChinese, host);
      frmChat& w =
          *module->companions().at(module->companions().add(std::make_unique<frmChat>(*module)));
      w.HostWnd = host;
      w.HostTopWnd = host;
      w.ShowState = 1;
      hosts.push_back(host);
    }
    step(5);
  }
  frmChat& win(int i) { return *module->ChatWin(i + 1); }
  void step(int ms) { clock.advance(std::chrono::milliseconds(ms)); }
};

// One placement tick of every companion (1 ms of the virtual clock), the hosts still.
void BM_PlacementTick20Idle(benchmark::State& state) {
  Desk d(kCompanions);
  d.desk.activate(d.hosts[0]);
  for (auto _ : state)
    d.step(1);
  d.desk.clear_records();
  state.counters["ticks_per_round"] = kCompanions;
  state.counters["per_companion_ns"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kCompanions,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PlacementTick20Idle)->Unit(benchmark::kMicrosecond);

// The same with every host moving one pixel before each tick: 20 moves and refits a round.
void BM_PlacementTick20Moving(benchmark::State& state) {
  Desk d(kCompanions);
  int shift = 0;
  for (auto _ : state) {
    ++shift;
    for (int i = 0; i < kCompanions; ++i) {
      const Hwnd h = d.hosts[static_cast<std::size_t>(i)];
      d.desk.set_rect(h, {shift, 20 * i, shift + 600, 20 * i + 400});
    }
    d.step(1);
  }
  state.counters["per_companion_ns"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kCompanions,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PlacementTick20Moving)->Unit(benchmark::kMicrosecond);

// The user clicks into the host, then into its companion, 200 ms each, with 19 more companions
// beside other hosts; then nothing changes for a second. Reports the longest single block of
// the thread (a wait recorded by the desktop plus the measured work of that 1 ms step).
void BM_ClickBackAndForthLongestBlock(benchmark::State& state) {
  Desk d(kCompanions);
  const Hwnd host = d.hosts[0];
  const Hwnd companion = d.win(0).hwnd();
  double longest_ms = 0;
  double slept_per_round = 0;
  std::int64_t idle_slept = 0;
  std::int64_t rounds = 0;
  auto run = [&](int ms) {
    for (int i = 0; i < ms; ++i) {
      const std::int64_t before = d.desk.slept_ms();
      const auto start = std::chrono::steady_clock::now();
      d.step(1);
      const std::chrono::duration<double, std::milli> work =
          std::chrono::steady_clock::now() - start;
      longest_ms = std::max(longest_ms, work.count() + double(d.desk.slept_ms() - before));
    }
  };
  for (auto _ : state) {
    const std::int64_t before = d.desk.slept_ms();
    d.desk.activate(host);
    run(200);
    d.desk.activate(companion);
    run(200);
    slept_per_round += double(d.desk.slept_ms() - before);
    const std::int64_t idle_before = d.desk.slept_ms();
    run(1000);
    idle_slept += d.desk.slept_ms() - idle_before;
    ++rounds;
    d.desk.clear_records();
  }
  state.counters["longest_block_ms"] = longest_ms;
  state.counters["slept_ms_per_round"] =
      slept_per_round / double(std::max<std::int64_t>(rounds, 1));
  state.counters["idle_slept_ms"] = double(idle_slept);
}
BENCHMARK(BM_ClickBackAndForthLongestBlock)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace brevant
