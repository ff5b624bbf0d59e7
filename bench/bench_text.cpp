// The text work the plug-in does per chat message: normalise, classify, build the request
// body and the answer record.
#include <benchmark/benchmark.h>

#include "net/engine_contract.h"
#include "net/utf8_escape.h"
#include "platform/text_classifiers.h"
#include "plugin/checkinputweb.h"

namespace brevant {
namespace {

const Str kChinese =
    u"\u4F60\u597D\uFF0C\u660E\u5929\u4E0B\u5348\u4E09\u70B9\u6211\u4EEC\u5728\u516C\u53F8\u95E8"
    u"\u53E3\u89C1\u9762\u5427\uFF1F\u8BB0\u5F97\u5E26\u4E0A\u4E0A\u6B21\u8BF4\u7684\u90A3\u4EFD"
    u"\u5408\u540C\uFF0C\u8C22\u8C22\uFF01";
const Str kEnglish = u"Hi there, are we still meeting at three tomorrow? Bring the contract!";

void per_message(benchmark::State& state, const Str& line) {
  auto code_page = make_system_code_page();
  for (auto _ : state) {
    Str text = replace_all(line, u" ", u"%20");
    checkinputweb(text);
    const auto width = WidthClass(StripTags(text), *code_page);
    const auto kana = KanaClass(text);
    const Str body =
        request_body(prepare_engine_text(text), server_code(width == 1 ? u"EZ" : u"ZE"));
    const Str record = answer_record(u"ZE", text, u"see you at the gate at three tomorrow");
    benchmark::DoNotOptimize(kana);
    benchmark::DoNotOptimize(body.data());
    benchmark::DoNotOptimize(record.data());
  }
}

void BM_PerMessageChinese(benchmark::State& state) {
  per_message(state, kChinese);
}
void BM_PerMessageEnglish(benchmark::State& state) {
  per_message(state, kEnglish);
}
void BM_ToUtf8Chinese(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(toUTF8(kChinese));
}

BENCHMARK(BM_PerMessageChinese);
BENCHMARK(BM_PerMessageEnglish);
BENCHMARK(BM_ToUtf8Chinese);

}  // namespace
}  // namespace brevant
