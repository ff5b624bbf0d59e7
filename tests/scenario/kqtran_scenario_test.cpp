// The translator on a virtual clock: direction codes, the two engines one second apart, the
// acceptance rules, the fallback order, and the answers that must never be reported.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/scenario/scripted_server.h"
#include "translate/kqtran.h"

namespace brevant {
namespace {

using std::chrono::milliseconds;
using testing::form_value;
using testing::ScriptedServer;

struct Result {
  Str trantext;
  Str flag;
  Str yuanwen;
  long at_ms;
};

class KQTranTest : public ::testing::Test {
 protected:
  KQTranTest() : tran(server.clock, server.http, fixed_server_address({})) {
    tran.TisOK = [this](const Str& trantext, const Str& flag, const Str& yuanwen) {
      results.push_back({trantext, flag, yuanwen, static_cast<long>(server.clock.now().count())});
    };
  }
  std::size_t sent() const { return server.http.sent_count(); }
  Str sent_lang(std::size_t i) const {
    return form_value(server.http.requests().at(i)->body, u"lang");
  }
  void reply(ScriptedReply r) { server.replies.push_back(std::move(r)); }

  ScriptedServer server;
  KQTran tran;
  std::vector<Result> results;
};

TEST_F(KQTranTest, FastFirstEngineAnswersAndTheSecondIsNeverAsked) {
  reply(ScriptedReply::answer(u("ni hao"), 200));
  tran.tranit(u("en"), u("hello"), u("quillnetbob"));
  EXPECT_EQ(sent(), 0u) << "the first engine starts after 1 ms";
  server.clock.advance(milliseconds(1));
  EXPECT_EQ(sent(), 1u);
  server.clock.advance(milliseconds(5000));
  EXPECT_EQ(sent(), 1u) << "the second engine is never asked";
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].trantext, u("[ ni hao ]"));
  EXPECT_EQ(results[0].flag, u("quillnetbob"));
  EXPECT_EQ(results[0].yuanwen, u("hello"));
  EXPECT_EQ(results[0].at_ms, 201);
  EXPECT_TRUE(tran.Yahoo.stopped);
  EXPECT_FALSE(tran.TimerYahoo.enabled());
}

TEST_F(KQTranTest, SlowFirstEngineLetsTheSecondStartAtOneSecondAndTheFirstAnswerWins) {
  reply(ScriptedReply::answer(u("from hj"), 1500));    // hj, sent at 1 ms
  reply(ScriptedReply::answer(u("from yahoo"), 100));  // yahoo, sent at 1000 ms
  tran.tranit(u("en"), u("hello"), u("f"));
  server.clock.advance(milliseconds(999));
  EXPECT_EQ(sent(), 1u);
  server.clock.advance(milliseconds(1));
  EXPECT_EQ(sent(), 2u);
  EXPECT_EQ(server.http.requests()[1]->body, server.http.requests()[0]->body)
      << "both engines send the same request";
  server.clock.advance(milliseconds(5000));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].trantext, u("[ from yahoo ]"));
  EXPECT_EQ(results[0].at_ms, 1100);
  EXPECT_TRUE(tran.HJ.stopped) << "the slower engine's answer is dropped";
}

TEST_F(KQTranTest, FirstEngineStillWinsWhenItAnswersBeforeTheSecond) {
  reply(ScriptedReply::answer(u("from hj"), 1200));
  reply(ScriptedReply::answer(u("from yahoo"), 800));
  tran.tranit(u("en"), u("hello"), u("f"));
  server.clock.advance(milliseconds(5000));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].trantext, u("[ from hj ]"));
}

TEST_F(KQTranTest, SecondEngineAnswersThatFailItsChecksAreIgnored) {
  // The bracket wrapping means a braces-only answer is never blank; the markup checks bite.
  const char* rejected[] = {"see href here", "a <h1>b", "x <> y", "{hr}ef"};
  for (const char* answer : rejected) {
    results.clear();
    reply(ScriptedReply::answer(u("from hj"), 1500));
    reply(ScriptedReply::answer(u(answer), 10));
    tran.tranit(u("en"), u("hello"), u("f"));
    server.clock.advance(milliseconds(1200));
    EXPECT_TRUE(results.empty()) << answer;
    server.clock.advance(milliseconds(1000));
    ASSERT_EQ(results.size(), 1u) << answer;
    EXPECT_EQ(results[0].trantext, u("[ from hj ]")) << "a later first-engine answer still wins";
  }
}

TEST_F(KQTranTest, FirstEngineHasNoContentChecks) {
  const char* accepted[] = {"{}", "see href here", "a <h1>b", "x <> y", ""};
  for (const char* answer : accepted) {
    results.clear();
    reply(ScriptedReply::answer(u(answer), 10));
    tran.tranit(u("en"), u("hello"), u("f"));
    server.clock.advance(milliseconds(100));
    ASSERT_EQ(results.size(), 1u) << answer;
    EXPECT_EQ(results[0].trantext, u("[ ") + u(answer) + u(" ]"));
  }
  // The empty translation shows as the two brackets with two spaces.
  EXPECT_EQ(results.back().trantext, u("[  ]"));
}

TEST_F(KQTranTest, AnswerRecordIsCleanedBeforeItIsShown) {
  struct Case {
    const char* main_lan;
    const char* text;
    const char* answer;
    const char* trantext;
    const char* yuanwen;
  };
  const Case cases[] = {
      {"en", "hello", "ni%20hao", "[ ni hao ]", "hello"},
      {"en", "hello", "what?", "[ what ]", "hello"},  // "?" removed for English -> Chinese
      {"en", "你好", "what?", "[ what? ]", "你好"},
      // The direction code is taken off the front of the record only.
      {"en", "It's EZ", "c'est facile", "[ c'est facile ]", "It's EZ"},
      {"en", "EZ EZ", "EZ code", "[ EZ code ]", "EZ EZ"},
      {"en", "零", "ZERO", "[ ZERO ]", "零"},
      {"en", "<font color=red>hello</font>", "ni hao", "<font color=red>[ ni hao ]</font>",
       "<font color=red>hello</font>"},
      {"en", "  hi  ", "x", "[ x ]", "hi"},
  };
  for (const Case& c : cases) {
    results.clear();
    reply(ScriptedReply::answer(u(c.answer), 5));
    tran.tranit(u(c.main_lan), u(c.text), u("f"));
    server.clock.advance(milliseconds(50));
    ASSERT_EQ(results.size(), 1u) << c.text;
    EXPECT_EQ(results[0].trantext, u(c.trantext)) << c.text;
    EXPECT_EQ(results[0].yuanwen, u(c.yuanwen)) << c.text;
  }
}

TEST_F(KQTranTest, DirectionFollowsTheForeignLanguageAndTheScript) {
  struct Case {
    const char* main_lan;
    const char* text;
    const char* code;
    const char* server_code;
  };
  const Case cases[] = {
      {"en", "hello there", "EZ", "01"},
      {"en", "你好", "ZE", "02"},
      {"en", "ab你", "ZE", "02"},
      {"en", "<b>你好</b>", "ZE", "02"},  // tags do not count
      // English by script, whatever its width in a Chinese code page.
      {"en", "café au lait", "EZ", "01"},
      {"en", "£5 for the naïve résumé", "EZ", "01"},
      {"en", "<b>你好</b> café", "ZE", "02"},
      {"en", "ok。", "ZE", "02"},
      {"en", "ｏｋ", "ZE", "02"},
      {"en", "こんにちは", "ZE", "02"},
      {"ja", "これはペンです", "RBZ", "10"},
      {"ja", "カ", "RBZ", "10"},
      {"ja", "你好", "ZRB", "03"},
      {"ja", "ん", "ZRB", "03"},  // outside the kana bounds
      {"ja", "hello", "ZRB", "03"},
      {"fr", "hello", "", ""},
      {"", "hello", "", ""},
  };
  std::size_t i = 0;
  for (const Case& c : cases) {
    reply(ScriptedReply::answer(u("x"), 5));
    tran.tranit(u(c.main_lan), u(c.text), u("f"));
    EXPECT_EQ(tran.LangCode, u(c.code)) << c.text;
    EXPECT_EQ(tran.MainLan, u(c.main_lan));
    server.clock.advance(milliseconds(50));
    ASSERT_EQ(sent(), i + 1) << "the engines are asked even with an empty code";
    EXPECT_EQ(sent_lang(i), u(c.server_code)) << c.text;
    ++i;
  }
}

TEST_F(KQTranTest, BlankTextRaisesNothingAndStartsNoTimer) {
  for (const char* blank : {"", " ", "     "}) {
    tran.tranit(u("en"), u(blank), u("f"));
    EXPECT_FALSE(tran.Timerhj.enabled());
    EXPECT_FALSE(tran.TimerYahoo.enabled());
    EXPECT_EQ(server.clock.pending(), 0u);
  }
  server.clock.advance(milliseconds(5000));
  EXPECT_EQ(sent(), 0u);
  EXPECT_TRUE(results.empty());
}

TEST_F(KQTranTest, TextInSpacedBracesCountsAsTranslated) {
  tran.tranit(u("en"), u("see { hello } here"), u("f"));
  ASSERT_EQ(results.size(), 1u) << "raised at once";
  EXPECT_EQ(results[0].trantext, u("see { hello } here"));
  EXPECT_EQ(results[0].yuanwen, u("see { hello } here"));
  EXPECT_EQ(results[0].flag, u("f"));
  server.clock.advance(milliseconds(5000));
  EXPECT_EQ(sent(), 0u);

  // Both markers anywhere, in any order, count; unspaced braces are translated normally.
  tran.tranit(u("en"), u(" }x{ "), u("g"));
  EXPECT_EQ(results.size(), 2u);
  reply(ScriptedReply::answer(u("ni hao"), 5));
  tran.tranit(u("en"), u("{hello}"), u("h"));
  server.clock.advance(milliseconds(50));
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[2].trantext, u("[ ni hao ]"));
}

// No accepted answer: TisOK never comes, and TisNone comes once, when the second of the two
// engines is out of the running (the translator is busy until then).
TEST_F(KQTranTest, NoAnswerFromEitherEngineRaisesNothingButTheEnd) {
  struct Case {
    ScriptedReply failure;
    long ends_at_ms;
  };
  const Case cases[] = {
      {ScriptedReply::refused(5), 1005},
      {ScriptedReply::reset(300), 1300},
      {ScriptedReply::answer(u("Bad Gateway"), 5, 502), 1005},
      {ScriptedReply::never(), 1000 + KQNet::kRequestTimeoutMs},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<Str, long>> ends;
    tran.TisNone = [&](const Str& flag) {
      ends.push_back({flag, static_cast<long>(server.clock.now().count())});
    };
    const auto start = server.clock.now().count();
    reply(c.failure);
    reply(c.failure);
    tran.tranit(u("en"), u("hello"), u("f"));
    EXPECT_TRUE(tran.busy());
    server.clock.advance(milliseconds(40000));
    EXPECT_EQ(sent(), 2u);
    EXPECT_TRUE(results.empty());
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].first, u("f"));
    EXPECT_EQ(ends[0].second - start, c.ends_at_ms);
    EXPECT_FALSE(tran.busy());
    for (const auto& r : server.http.requests()) {
      EXPECT_TRUE(r->completed || r->aborted) << "nothing holds a connection forever";
    }
    server.http.forget_requests();
  }
}

TEST_F(KQTranTest, ServerErrorFromTheFirstEngineLeavesItToTheSecond) {
  reply(ScriptedReply::answer(u("<html>500 Internal Server Error</html>"), 10, 500));
  reply(ScriptedReply::answer(u("ni hao"), 10));
  tran.tranit(u("en"), u("hello"), u("f"));
  server.clock.advance(milliseconds(5000));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].trantext, u("[ ni hao ]"));
  EXPECT_EQ(results[0].at_ms, 1010);
}

TEST_F(KQTranTest, NewTranitWhileWaitingDropsTheOldTextsAnswers) {
  // The old text's first engine is in flight when the next message arrives; its reply comes
  // before the new engines have answered and must not be shown under the new flag.
  reply(ScriptedReply::answer(u("old translation"), 300));
  tran.tranit(u("en"), u("old text"), u("old-contact"));
  server.clock.advance(milliseconds(100));
  reply(ScriptedReply::answer(u("new translation"), 500));
  tran.tranit(u("en"), u("new text"), u("new-contact"));
  server.clock.advance(milliseconds(5000));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].trantext, u("[ new translation ]"));
  EXPECT_EQ(results[0].flag, u("new-contact"));
  EXPECT_EQ(results[0].yuanwen, u("new text"));
  EXPECT_TRUE(server.http.requests()[0]->aborted);
}

TEST_F(KQTranTest, BlankOrAlreadyTranslatedTextLeavesTheWaitingTranslationAlone) {
  reply(ScriptedReply::answer(u("waiting"), 300));
  tran.tranit(u("en"), u("first"), u("a"));
  server.clock.advance(milliseconds(100));
  tran.tranit(u("en"), u("   "), u("b"));
  tran.tranit(u("en"), u("ok { done }"), u("c"));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].flag, u("c"));
  server.clock.advance(milliseconds(5000));
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[1].trantext, u("[ waiting ]"));
  EXPECT_EQ(results[1].flag, u("a")) << "the waiting text keeps its own routing tag";
  EXPECT_EQ(results[1].yuanwen, u("first"));
  EXPECT_EQ(sent(), 1u);
}

TEST_F(KQTranTest, NewTranitAfterOneSecondAlsoDropsTheOldSecondEngine) {
  reply(ScriptedReply::answer(u("old hj"), 3000));
  reply(ScriptedReply::answer(u("old yahoo"), 400));
  tran.tranit(u("en"), u("old"), u("a"));
  server.clock.advance(milliseconds(1100));
  EXPECT_EQ(sent(), 2u);
  reply(ScriptedReply::answer(u("new hj"), 1500));
  reply(ScriptedReply::answer(u("new yahoo"), 2000));
  tran.tranit(u("en"), u("new"), u("b"));
  server.clock.advance(milliseconds(10000));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].trantext, u("[ new hj ]"));
  EXPECT_EQ(results[0].flag, u("b"));
}

TEST_F(KQTranTest, OneTranitGivesAtMostOneResultWhateverTheEnginesDo) {
  // Both engines answer at the very same moment.
  reply(ScriptedReply::answer(u("hj"), 1999));
  reply(ScriptedReply::answer(u("yahoo"), 1000));
  tran.tranit(u("en"), u("hello"), u("f"));
  server.clock.advance(milliseconds(10000));
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].trantext, u("[ hj ]")) << "the first engine was asked first";
}

TEST_F(KQTranTest, HandlerMayTranslateTheNextTextOnTheSameControl) {
  reply(ScriptedReply::answer(u("one"), 10));
  reply(ScriptedReply::answer(u("two"), 10));
  tran.TisOK = [this](const Str& trantext, const Str& flag, const Str& yuanwen) {
    results.push_back({trantext, flag, yuanwen, 0});
    if (results.size() == 1)
      tran.tranit(u("en"), u("second"), u("g"));
  };
  tran.tranit(u("en"), u("first"), u("f"));
  server.clock.advance(milliseconds(5000));
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[1].trantext, u("[ two ]"));
  EXPECT_EQ(results[1].flag, u("g"));
  EXPECT_EQ(sent(), 2u) << "the second engine of neither text was needed";
}

}  // namespace
}  // namespace brevant
