// The plug-in's own work per incoming message, from the chat-message notification to the PushMsg
// line in the companion page (scripted server answering at once, virtual clock), and a burst of
// messages against the best that a pool of five receive translators allows.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/scenario/conversation.h"
#include "tests/scenario/scripted_server.h"

namespace brevant {
namespace {

using std::chrono::milliseconds;

// prefix + n (appended: "literal" + string trips a false -Wrestrict at -O3).
Str numbered(StrView prefix, int n) {
  Str s(prefix);
  s.append(from_utf8(std::to_string(n)));
  return s;
}

void BM_IncomingMessageToPage(benchmark::State& state) {
  testing::Conversation c;
  c.http.respond_with([](const RecordedRequest&) { return ScriptedReply::answer(u"salut"); });
  c.login();
  c.open(u"cnquorinbob");
  std::size_t shown = 0;
  for (auto _ : state) {
    c.incoming(u"cnquorinbob", u"hello, how are you today?");
    c.clock.run_until([&] { return c.browser(1).lines().size() > shown; }, milliseconds(50));
    shown = c.browser(1).lines().size();
    if (shown > 4096) {
      c.browser(1).clear();
      c.http.forget_requests();
      shown = 0;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IncomingMessageToPage);

// 100 messages over 10 chats within a second, answers after 50 to 400 ms, one in ten never:
// the last message's wait for its display, against an ideal pool of five translators that takes
// each message, in arrival order, on the first translator free (1 ms engine start + answer, or
// the engines' 31 s when no answer comes).
void BM_BurstOfOneHundred(benchmark::State& state) {
  constexpr int kNever = 1000 + KQNet::kRequestTimeoutMs;
  double actual = 0;
  double ideal = 0;
  for (auto _ : state) {
    testing::Conversation c;
    std::mt19937 random(11);
    std::uniform_int_distribution<int> latency(50, 400);
    std::vector<int> service(100);
    std::map<Str, int> latency_of;
    for (int n = 0; n < 100; ++n) {
      service[static_cast<std::size_t>(n)] = n % 10 == 3 ? kNever : latency(random);
      latency_of[numbered(u"m", n)] = service[static_cast<std::size_t>(n)];
    }
    c.http.respond_with([&](const RecordedRequest& r) {
      const int ms = latency_of[testing::form_value(r.body, u"text")];
      return ms == kNever ? ScriptedReply::never() : ScriptedReply::answer(u"ok", ms);
    });
    c.login();
    for (int i = 0; i < 10; ++i)
      c.open(numbered(u"cnquorinf", i));
    std::chrono::milliseconds last_arrival{0};
    for (int n = 0; n < 100; ++n) {
      if (n == 99)
        last_arrival = c.clock.now();
      c.incoming(numbered(u"cnquorinf", n % 10), numbered(u"m", n));
      c.clock.advance(milliseconds(10));
    }
    // m99 goes to chat 10 (99 % 10 = 9).
    c.clock.run_until(
        [&] {
          for (const Str& line : c.browser(10).lines()) {
            if (line.find(u"'m99'") != Str::npos)
              return true;
          }
          return false;
        },
        milliseconds(200000));
    actual = static_cast<double>((c.clock.now() - last_arrival).count());

    std::array<long, 5> free_at{};
    long last_done = 0;
    for (int n = 0; n < 100; ++n) {
      auto it = std::min_element(free_at.begin(), free_at.end());
      const long start = std::max<long>(*it, 10L * n);
      *it = start + 1 + service[static_cast<std::size_t>(n)];
      last_done = *it;
    }
    ideal = static_cast<double>(last_done - 10L * 99);
  }
  state.counters["last_wait_ms"] = actual;
  state.counters["ideal_wait_ms"] = ideal;
}
BENCHMARK(BM_BurstOfOneHundred)->Iterations(1)->Unit(benchmark::kMillisecond);

// 1,000 texts typed over 10 chats, 5 a second, the server answering each after 0 to 300 ms at
// random: how many were sent, sent twice, out of the order typed or to another contact, and how
// long the last one waited for its chat.
void BM_ThousandTypedTexts(benchmark::State& state) {
  constexpr int kTexts = 1000;
  constexpr int kChats = 10;
  double sent = 0, twice = 0, out_of_order = 0, elsewhere = 0, last_wait = 0, longest_queue = 0;
  for (auto _ : state) {
    testing::Conversation c;
    std::mt19937 random(5);
    std::uniform_int_distribution<int> latency(0, 300);
    c.http.respond_with([&](const RecordedRequest& r) {
      return ScriptedReply::answer(testing::form_value(r.body, u"text"), latency(random));
    });
    c.login();
    for (int i = 0; i < kChats; ++i)
      c.open(numbered(u"cnquorinf", i));
    std::chrono::milliseconds last_typed{0};
    for (int n = 0; n < kTexts; ++n) {
      last_typed = c.clock.now();
      c.type(1 + random() % kChats, numbered(u"t", n));
      longest_queue = std::max(longest_queue, double(c.coordinator().typed_waiting()));
      c.clock.advance(milliseconds(200));
    }
    c.clock.run_until([&] { return c.coordinator().typed_waiting() == 0; }, milliseconds(600000));
    last_wait = double((c.clock.now() - last_typed).count());
    std::map<Str, int> times_sent;
    for (const auto& chat : c.chats) {
      int last = -1;
      for (const auto& s : chat->chat->sent) {
        elsewhere += s.contact != chat->contact ? 1 : 0;
        const int n = std::stoi(to_utf8(s.text.substr(3)));  // "[ tN ]"
        out_of_order += n < last ? 1 : 0;
        last = n;
        ++times_sent[s.text];
      }
    }
    sent = double(times_sent.size());
    for (const auto& [text, times] : times_sent)
      twice += times > 1 ? 1 : 0;
  }
  state.counters["sent"] = sent;
  state.counters["sent_twice"] = twice;
  state.counters["out_of_order"] = out_of_order;
  state.counters["to_another_contact"] = elsewhere;
  state.counters["longest_queue"] = longest_queue;
  state.counters["last_wait_ms"] = last_wait;
}
BENCHMARK(BM_ThousandTypedTexts)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace brevant
