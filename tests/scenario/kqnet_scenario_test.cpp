// The fetch control on scripted HTTP: the request as the server sees it, which replies become
// events, and the faults it must not have (repeated or stale reports, error pages taken as
// answers, requests that never end).

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/kqnet.h"
#include "tests/scenario/scripted_server.h"

namespace brevant {
namespace {

using std::chrono::milliseconds;
using testing::form_value;
using testing::ScriptedServer;

struct Event {
  Str record;
  Str lang;
  Str who;
};

class KQNetTest : public ::testing::Test {
 protected:
  KQNetTest() : net(server.clock, server.http, [this] { return address; }) {
    net.TisOK = [this](const Str& record, const Str& lang, const Str& who) {
      events.push_back({record, lang, who});
    };
  }
  const RecordedRequest& request(std::size_t i) { return *server.http.requests().at(i); }

  ScriptedServer server;
  Str address;
  KQNet net;
  std::vector<Event> events;
};

TEST_F(KQNetTest, PostsTheFormToTheTranslationPath) {
  server.replies.push_back(ScriptedReply::answer(u("ni hao"), 40));
  net.tranit(u("hello"), u("EZ"), u("hj"), u("who"));
  ASSERT_EQ(server.http.sent_count(), 1u);
  const RecordedRequest& sent = request(0);
  EXPECT_EQ(sent.method, u("post"));
  EXPECT_EQ(sent.url, u("http://127.0.0.1:17380/trans2/index.asp"));
  EXPECT_TRUE(sent.async);
  ASSERT_EQ(sent.headers.size(), 2u);
  EXPECT_EQ(sent.headers[0].first, u("content-length"));
  EXPECT_EQ(sent.headers[0].second, u("28"));
  EXPECT_EQ(sent.headers[1].first, u("content-type"));
  EXPECT_EQ(sent.headers[1].second, u("application/x-www-form-urlencoded"));
  EXPECT_EQ(sent.body, u("domain=00&text=hello&lang=01"));
  EXPECT_TRUE(events.empty()) << "nothing before the answer arrives";

  server.clock.advance(milliseconds(39));
  EXPECT_TRUE(events.empty());
  server.clock.advance(milliseconds(1));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].record, u("EZhello<brbr>9kocnsns[ ni hao ]"));
  EXPECT_EQ(events[0].lang, u("EZ"));
  EXPECT_EQ(events[0].who, u("who"));
}

TEST_F(KQNetTest, BodyCarriesPreparedTextAndMappedCode) {
  struct Case {
    const char* text;
    const char* lang;
    const char* sent_text;  // decoded on the server side
    const char* sent_lang;
  };
  const Case cases[] = {
      {"a &lt b", "EZ", "a < b", "01"},
      {"<font color=red>hello</font>", "EZ", "<font color=red>hello</font>", "01"},
      {"你好", "ZE", "你好", "02"},
      {"x", "", "x", ""},
      {"x", "XX", "x", "XX"},
      {"fish & chips + 1", "EZ", "fish & chips + 1", "01"},
  };
  for (const Case& c : cases) {
    server.replies.push_back(ScriptedReply::answer(u("ok")));
    net.tranit(u(c.text), u(c.lang), u("yahoo"), {});
    const RecordedRequest& sent = *server.http.requests().back();
    EXPECT_EQ(form_value(sent.body, u"text"), u(c.sent_text)) << c.text;
    EXPECT_EQ(form_value(sent.body, u"lang"), u(c.sent_lang)) << c.text;
    EXPECT_EQ(form_value(sent.body, u"domain"), u("00"));
    EXPECT_EQ(sent.header(u"content-length"), from_utf8(std::to_string(sent.body.size())));
    server.clock.advance(milliseconds(1));
  }
  EXPECT_EQ(events.size(), std::size(cases));
}

TEST_F(KQNetTest, MarkupAroundTheTextWrapsTheTranslation) {
  server.replies.push_back(ScriptedReply::answer(u("ni hao")));
  net.tranit(u("<font color=red>hello</font>"), u("EZ"), u("hj"), {});
  server.clock.advance(milliseconds(1));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].record,
            u("EZ<font color=red>hello</font><brbr>9kocnsns<font color=red>[ ni hao ]</font>"));
}

TEST_F(KQNetTest, StartsNothingForUnknownEnginesBadAddressesOrMissingRequestObjects) {
  net.tranit(u("hello"), u("EZ"), u("HJ"), {});  // names are case-sensitive
  net.tranit(u("hello"), u("EZ"), u("google"), {});
  EXPECT_EQ(server.http.requests().size(), 0u);

  for (const char* bad : {"ftp://example.org", "127.0.0.1:17380", "http://", "http://h:0",
                          "http://h:99999", "http://user@h", "http://h/x?y=1"}) {
    address = u(bad);
    net.tranit(u("hello"), u("EZ"), u("hj"), {});
    EXPECT_EQ(server.http.requests().size(), 0u) << bad;
  }

  address.clear();
  server.http.set_unavailable(true);
  net.tranit(u("hello"), u("EZ"), u("hj"), {});
  server.clock.advance(milliseconds(60000));
  EXPECT_TRUE(events.empty());
}

TEST_F(KQNetTest, ServerSettingIsReadForEveryRequest) {
  address = u("https://mt.example.org:8443");
  server.replies.push_back(ScriptedReply::answer(u("a")));
  net.tranit(u("hello"), u("EZ"), u("hj"), {});
  address = u("http://[::1]:9000/");
  server.replies.push_back(ScriptedReply::answer(u("b")));
  net.tranit(u("hello"), u("EZ"), u("hj"), {});
  EXPECT_EQ(request(0).url, u("https://mt.example.org:8443/trans2/index.asp"));
  EXPECT_EQ(request(1).url, u("http://[::1]:9000/trans2/index.asp"));
}

// A translation is text: an answer that is not (bytes that were not UTF-8, NUL or other control
// characters) is no translation, and nothing of it is shown or sent.
TEST_F(KQNetTest, OnlyCompleteTwoHundredTextAnswersAreReported) {
  struct Case {
    ScriptedReply reply;
    bool reported;
  };
  const Case cases[] = {
      {ScriptedReply::answer(u("fine"), 5, 200), true},
      {ScriptedReply::answer(u(""), 5, 200), true},  // an empty translation is still one
      {ScriptedReply::answer(u("fine"), 5, 204), true},
      {ScriptedReply::answer(u("<h1>Internal Server Error</h1>"), 5, 500), false},
      {ScriptedReply::answer(u("Not Found"), 5, 404), false},
      {ScriptedReply::answer(u("moved"), 5, 302), false},
      {ScriptedReply::refused(5), false},
      {ScriptedReply::reset(5), false},
      {ScriptedReply::answer(u("two\r\nlines\tand a tab"), 5, 200), true},
      {ScriptedReply::answer(Str(u"bad \uFFFD bytes"), 5, 200), false},
      {ScriptedReply::answer(Str(u"nul \0 inside", 12), 5, 200), false},
      {ScriptedReply::answer(u("bell \x07"), 5, 200), false},
      {ScriptedReply::answer(u("escape \x1b[2J"), 5, 200), false},
      {ScriptedReply::answer(u("del \x7f"), 5, 200), false},
      {ScriptedReply::answer(Str(u"half ") + char16_t(0xD800) + u" a pair", 5, 200), false},
  };
  for (const Case& c : cases) {
    events.clear();
    server.replies.push_back(c.reply);
    net.tranit(u("hello"), u("EZ"), u("hj"), {});
    server.clock.advance(milliseconds(100));
    EXPECT_EQ(events.size(), c.reported ? 1u : 0u) << to_utf8(c.reply.body) << c.reply.status;
  }
}

TEST_F(KQNetTest, EachRequestReportsOnlyItsOwnReplyAndAtMostOnce) {
  // The first reply arrives after the second request has completed: a sink that looked at the
  // control's current request would report the second reply twice.
  server.replies.push_back(ScriptedReply::answer(u("first"), 300));
  server.replies.push_back(ScriptedReply::answer(u("second"), 100));
  net.tranit(u("one"), u("EZ"), u("hj"), {});
  server.clock.advance(milliseconds(50));
  net.tranit(u("two"), u("EZ"), u("hj"), {});
  server.clock.advance(milliseconds(1000));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].record, u("EZtwo<brbr>9kocnsns[ second ]"));
  EXPECT_TRUE(request(0).aborted) << "the replaced request is given up";
  EXPECT_TRUE(request(0).released);
  EXPECT_GE(server.http.callbacks(), 3u) << "states before completion were delivered";
}

TEST_F(KQNetTest, StoppedSuppressesTheReplyUntilTheNextTranit) {
  server.replies.push_back(ScriptedReply::answer(u("late"), 100));
  net.tranit(u("hello"), u("EZ"), u("hj"), {});
  net.stopped = true;
  server.clock.advance(milliseconds(200));
  EXPECT_TRUE(events.empty());
  server.replies.push_back(ScriptedReply::answer(u("again"), 100));
  net.tranit(u("hello"), u("EZ"), u("hj"), {});
  EXPECT_FALSE(net.stopped);
  server.clock.advance(milliseconds(200));
  EXPECT_EQ(events.size(), 1u);
}

TEST_F(KQNetTest, RequestWithoutAnAnswerIsGivenUpAfterThirtySeconds) {
  server.replies.push_back(ScriptedReply::never());
  net.tranit(u("hello"), u("EZ"), u("hj"), {});
  server.clock.advance(milliseconds(29999));
  EXPECT_FALSE(request(0).aborted);
  EXPECT_NE(net.xmlhttp(), nullptr);
  server.clock.advance(milliseconds(1));
  EXPECT_TRUE(request(0).aborted);
  EXPECT_EQ(net.xmlhttp(), nullptr);
  server.clock.advance(milliseconds(10));
  EXPECT_TRUE(request(0).released);
  EXPECT_TRUE(events.empty());

  // An answer inside the limit is not disturbed by the time-out.
  server.replies.push_back(ScriptedReply::answer(u("slow"), 29000));
  net.tranit(u("hello"), u("EZ"), u("hj"), {});
  server.clock.advance(milliseconds(60000));
  EXPECT_EQ(events.size(), 1u);
  EXPECT_FALSE(request(1).aborted);
}

TEST_F(KQNetTest, HandlerMayStartTheNextRequestFromInsideTheEvent) {
  server.replies.push_back(ScriptedReply::answer(u("a"), 10));
  server.replies.push_back(ScriptedReply::answer(u("b"), 10));
  net.TisOK = [this](const Str& record, const Str& lang, const Str& who) {
    events.push_back({record, lang, who});
    if (events.size() == 1)
      net.tranit(u("next"), u("EZ"), u("hj"), {});
  };
  net.tranit(u("first"), u("EZ"), u("hj"), {});
  server.clock.advance(milliseconds(100));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].record, u("EZnext<brbr>9kocnsns[ b ]"));
}

TEST(KQNetLifetime, ControlDestroyedWithARequestInFlightReleasesIt) {
  ScriptedServer server;
  server.replies.push_back(ScriptedReply::answer(u("late"), 100));
  int events = 0;
  auto net = std::make_unique<KQNet>(server.clock, server.http, fixed_server_address({}));
  net->TisOK = [&](const Str&, const Str&, const Str&) { ++events; };
  net->tranit(u("hello"), u("EZ"), u("hj"), {});
  net.reset();
  server.clock.advance(milliseconds(60000));
  EXPECT_EQ(events, 0);
  EXPECT_TRUE(server.http.requests()[0]->aborted);
  EXPECT_TRUE(server.http.requests()[0]->released);
}

}  // namespace
}  // namespace brevant
