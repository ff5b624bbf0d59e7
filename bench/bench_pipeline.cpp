// The plug-in's own work per translation, from tranit to TisOK, with the translation server
// answering instantly (scripted) on a virtual clock: request building, the engine timers, the
// completion sink, the answer record and the acceptance steps.

#include <benchmark/benchmark.h>

#include <memory>

#include "platform/sim/scripted_http.h"
#include "platform/sim/virtual_clock.h"
#include "translate/kqtran.h"

namespace brevant {
namespace {

void run_pipeline(benchmark::State& state, const Str& main_lan, const Str& text,
                  const Str& answer) {
  VirtualClock clock;
  ScriptedHttp http(clock,
                    [&answer](const RecordedRequest&) { return ScriptedReply::answer(answer); });
  KQTran tran(clock, http, fixed_server_address({}));
  long results = 0;
  tran.TisOK = [&results](const Str&, const Str&, const Str&) { ++results; };
  const Str flag = u("quillnetalice");
  long expected = 0;
  for (auto _ : state) {
    tran.tranit(main_lan, text, flag);
    ++expected;
    clock.run_until([&] { return results == expected; }, std::chrono::milliseconds(10));
    if ((expected & 1023) == 0)
      http.forget_requests();
  }
  if (results != expected)
    state.SkipWithError("a translation was not reported");
  state.SetItemsProcessed(state.iterations());
}

void BM_TranslationEnglish(benchmark::State& state) {
  run_pipeline(state, u("en"), u("hello, how are you today?"), u("你好，你今天好吗？"));
}
BENCHMARK(BM_TranslationEnglish);

void BM_TranslationChinese(benchmark::State& state) {
  run_pipeline(state, u("en"), u("你好，今天我们去哪里吃饭？"),
               u("Hello, where shall we eat today?"));
}
BENCHMARK(BM_TranslationChinese);

void BM_TranslationFormatted(benchmark::State& state) {
  run_pipeline(
      state, u("ja"),
      u("<font face=\"SimSun\" color=\"#000000\" size=\"10\">你好，今天我们去哪里吃饭？</font>"),
      u("こんにちは、今日はどこで食べましょうか？"));
}
BENCHMARK(BM_TranslationFormatted);

}  // namespace
}  // namespace brevant
