// The plug-in as the messenger drives it: login, chat windows with their items, incoming
// messages translated into the right companion, sent translations handed to the right chat,
// tabs, and the pool of receive translators under load.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <set>

#include "tests/scenario/conversation.h"
#include "tests/scenario/scripted_server.h"

namespace brevant {
namespace {

using std::chrono::milliseconds;
using testing::Conversation;
using testing::form_value;
using testing::incoming_line;

constexpr char16_t kBob[] = u"cnquorinbob";
constexpr char16_t kCarol[] = u"quillnetcarol";

// Answers every request with "T:" and the text it got, after `latency` (per text, default 20 ms);
// texts in `silent` never get an answer.
struct Translator {
  std::map<Str, int> latency;
  std::set<Str> silent;
  std::vector<Str> asked;  // the text of each request, as the server decoded it
  void install(ScriptedHttp& http) {
    http.respond_with([this](const RecordedRequest& r) {
      const Str text = form_value(r.body, u"text");
      asked.push_back(text);
      if (silent.count(text))
        return ScriptedReply::never();
      const auto it = latency.find(text);
      return ScriptedReply::answer(u"T:" + text, it == latency.end() ? 20 : it->second);
    });
  }
};

class ConversationTest : public ::testing::Test {
 protected:
  ConversationTest() {
    server.install(c.http);
    c.login();
  }
  Conversation c;
  Translator server;
};

TEST_F(ConversationTest, LoginKeepsTheOwnIdAndItsShortFormAndBringsUpTheCoordinator) {
  EXPECT_EQ(c.module.MainUin, u"cnquorinalice");
  EXPECT_EQ(c.module.MainUinShort, u"alice");
  EXPECT_TRUE(c.module.has_coordinator());
}

// A plain message is translated from the copy made for the server and shown as the contact
// wrote it, in the sender's own companion only.
TEST_F(ConversationTest, PlainMessageIsShownAsWrittenInTheSendersCompanion) {
  c.open(kBob);
  c.open(kCarol);
  c.incoming(kBob, u"Hi, see you: 8 & \"soon\"");
  c.clock.advance(milliseconds(100));
  ASSERT_EQ(server.asked.size(), 1u);
  EXPECT_EQ(server.asked[0], u"Hi  see you  8    soon ") << "the server gets the normalised copy";
  EXPECT_EQ(c.pushed(1), (std::vector<Str>{incoming_line(u"Hi, see you: 8 & 9kodysoon9kody",
                                                         u" T:Hi  see you  8    soon  ", u"bob")}));
  EXPECT_TRUE(c.pushed(2).empty());
  EXPECT_EQ(c.coordinator().recv_turn(), 1);
}

TEST_F(ConversationTest, MessagesThatAreNotTranslated) {
  c.open(kBob, /*translate=*/false);
  c.incoming(kBob, u"hello");
  c.incoming(u"cnquorinstranger", u"hello");  // no companion at all
  c.clock.advance(milliseconds(2000));
  EXPECT_TRUE(server.asked.empty());
  EXPECT_TRUE(c.pushed(1).empty());
  EXPECT_EQ(c.coordinator().recv_turn(), 0);

  c.open(kCarol);
  c.incoming(kCarol, u"unhandled", /*handle=*/false);
  c.clock.advance(milliseconds(2000));
  EXPECT_TRUE(server.asked.empty());
  EXPECT_TRUE(c.pushed(2).empty());
}

// The direction follows the sender's own companion, not the newest one.
TEST_F(ConversationTest, TheSendersCompanionDecidesTheLanguage) {
  std::ofstream(
      std::filesystem::path(to_utf8(c.module.settings().plugin_folder())) / "configUIN.ini",
      std::ios::binary)
      << "[config]\r\nlan=cn\r\n[cnquorinalicecnquorinbob]\r\nmainlan=ja\r\n"
         "[cnquorinalicequillnetcarol]\r\nmainlan=en\r\n";
  c.open(kBob);
  c.open(kCarol);
  c.incoming(kBob, u"konnichiwa");
  c.clock.advance(milliseconds(100));
  ASSERT_EQ(c.http.requests().size(), 1u);
  EXPECT_EQ(form_value(c.http.requests()[0]->body, u"lang"), u"03")
      << "Japanese without kana: Chinese to Japanese";
}

TEST_F(ConversationTest, BracketedMessagesAreShownWithoutTranslation) {
  struct Case {
    Str text;
    Str shown;  // what pushmsg_to_web receives, as the page line it makes
  };
  // Spaces are carried as "%20" on this path and turned back by the companion.
  const Case cases[] = {
      {u"[a] b", incoming_line(u"", u"a b", u"bob")},
      {u"hi\r\n[ salut ]", incoming_line(u"hi", u" salut ", u"bob")},
      {u"hi [x]\r\nthere", incoming_line(u"hi ", u"x\r\nthere", u"bob")},
  };
  c.open(kBob);
  for (const Case& k : cases) {
    c.incoming(kBob, k.text);
    EXPECT_EQ(c.pushed(1), std::vector<Str>{k.shown}) << to_utf8(k.text);
  }
  c.incoming(kBob, u"[x]\r\n");  // an empty second line: nothing to show, no empty bubble
  EXPECT_EQ(c.pushed(1), std::vector<Str>{});
  EXPECT_TRUE(server.asked.empty());
}

// No answer from either engine: the message is still shown, marked as untranslated.
TEST_F(ConversationTest, AMessageWithoutAnswerIsShownAsUntranslated) {
  c.open(kBob);
  server.silent.insert(u"lost");
  c.incoming(kBob, u"lost");
  c.clock.advance(milliseconds(40000));
  EXPECT_EQ(c.pushed(1), std::vector<Str>{incoming_line(u"lost", kNoTranslation, u"bob")});
}

// Six messages while five translators work: none is lost, and each is shown in its chat in the
// order it arrived, however the answers come back.
TEST_F(ConversationTest, BusyTranslatorsQueueMessagesAndChatsKeepTheirOrder) {
  c.open(kBob);
  c.open(kCarol);
  const Str texts[] = {u"m1", u"m2", u"m3", u"m4", u"m5", u"m6"};
  const int latency[] = {900, 100, 500, 50, 300, 10};
  for (int i = 0; i < 6; ++i)
    server.latency[texts[i]] = latency[i];
  for (int i = 0; i < 6; ++i)
    c.incoming(i % 2 ? kCarol : kBob, texts[i]);
  EXPECT_EQ(c.coordinator().waiting(), 1u);
  c.clock.advance(milliseconds(3000));
  EXPECT_EQ(server.asked.size(), 6u) << "each message asked once (every first engine in time)";
  EXPECT_EQ(c.pushed(1), (std::vector<Str>{incoming_line(u"m1", u" T:m1 ", u"bob"),
                                           incoming_line(u"m3", u" T:m3 ", u"bob"),
                                           incoming_line(u"m5", u" T:m5 ", u"bob")}));
  EXPECT_EQ(c.pushed(2), (std::vector<Str>{incoming_line(u"m2", u" T:m2 ", u"carol"),
                                           incoming_line(u"m4", u" T:m4 ", u"carol"),
                                           incoming_line(u"m6", u" T:m6 ", u"carol")}));
}

TEST_F(ConversationTest, ASlowMessageHoldsItsChatBackForFiveSecondsAtMost) {
  c.open(kBob);
  server.silent.insert(u"slow");
  c.incoming(kBob, u"slow");
  c.incoming(kBob, u"quick");
  c.clock.advance(milliseconds(4900));
  EXPECT_TRUE(c.pushed(1).empty());
  c.clock.advance(milliseconds(200));
  EXPECT_EQ(c.pushed(1), std::vector<Str>{incoming_line(u"quick", u" T:quick ", u"bob")});
  c.clock.advance(milliseconds(40000));
  EXPECT_EQ(c.pushed(1), std::vector<Str>{incoming_line(u"slow", kNoTranslation, u"bob")});
}

// A tab change brings the tab's chat window to the front; the notifications without their
// parameter say so.
TEST_F(ConversationTest, TabNotifications) {
  c.open(kBob);
  testing::HostChat& carol = c.open(kCarol);
  carol.main_item->OnNotify(1, std::make_shared<sim_host::TabChange>(kBob));
  EXPECT_EQ(c.coordinator().tab_contact(carol.top), kBob);
  EXPECT_EQ(c.desktop.foreground_calls().back(), c.chats[0]->top);

  carol.main_item->OnNotify(0, nullptr);
  carol.main_item->OnNotify(1, nullptr);
  ASSERT_EQ(c.ui.shown().size(), 2u);
  EXPECT_EQ(c.ui.shown()[0].text, kTabChangingMissing);
  EXPECT_EQ(c.ui.shown()[1].text, kTabChangedMissing);
}

// What the send translator's result does, by display format and preview state.
TEST_F(ConversationTest, SentTranslationsGoToTheRightChatAndAreShown) {
  struct Case {
    const char* name;
    Str format, preview, toggle, trantext;
    std::vector<Str> sent;
    Str typed = u"\u4F60\u597D";  // YuanWen
  };
  const Case cases[] = {
      {"single", u"Single", u"Pclose", u"true", u"[ hello ]", {u"[ hello ]"}},
      {"bilingual", u"Double", u"Pclose", u"true", u"[ hello ]", {u"\u4F60\u597D\r\n[ hello ]"}},
      {"notice", u"Single", u"Pclose", u"true", u"<Notice>[ x ]", {}},
      {"preview shown", u"Single", u"Popen", u"false", u"[ hello ]", {}},
      {"preview sent", u"Single", u"Popen", u"true", u"[ hello ]", {u"\u4F60\u597D"}},
      {"reviewed, with brackets",
       u"Single",
       u"Popen",
       u"true",
       u"[ x ]",
       {u"see [a] and [b]"},
       u"see [a] and [b]"},
      // Only the marker keeps a reviewed text out of the chat, not the word.
      {"reviewed, saying Notice",
       u"Single",
       u"Popen",
       u"true",
       u"[ x ]",
       {u"Notice: see you"},
       u"Notice: see you"},
      {"reviewed bilingual",
       u"Double",
       u"Popen",
       u"true",
       u"[ x ]",
       {u"\u4F60\u597D\r\n[ hello ]"},
       u"\u4F60\u597D[ hello ]"},
  };
  for (const Case& k : cases) {
    Conversation conv;
    conv.login();
    testing::HostChat& bob = conv.open(kBob);
    frmChat& w = conv.window(1);
    w.ShowFormat = k.format;
    w.PreviewMode = k.preview;
    w.PreviewToggle = k.toggle;
    const int clicks_before = conv.desktop.window(bob.button)->clicks;
    conv.coordinator().KQTranS_TisOK(k.trantext, kBob, k.typed);
    conv.clock.advance(milliseconds(200));
    std::vector<Str> sent;
    for (const auto& s : bob.chat->sent) {
      EXPECT_EQ(s.contact, kBob) << k.name;
      sent.push_back(s.text);
    }
    EXPECT_EQ(sent, k.sent) << k.name;
    EXPECT_EQ(conv.desktop.window(bob.button)->clicks - clicks_before,
              static_cast<int>(k.sent.size()))
        << k.name;
    const auto lines = conv.pushed(1);
    ASSERT_EQ(lines.size(), 1u) << k.name;
    EXPECT_EQ(lines[0].rfind(u"PushMsg('" + k.typed + u"',", 0), 0u) << k.name;
  }
}

TEST_F(ConversationTest, ItemsFollowTheirOwnWindows) {
  c.open(kBob);
  c.open(kCarol);
  c.open(u"cnvetmardave");
  c.chats[1]->input_item->OnDestroy();
  EXPECT_EQ(c.module.companions().count(), 3);
  EXPECT_FALSE(c.window(2).IsLive);
  c.open(kCarol);
  EXPECT_EQ(c.module.companions().count(), 4);
  EXPECT_EQ(c.window(4).ContactId, kCarol);

  // The same contact in a second window: closing one leaves the other's companion.
  testing::HostChat& again = c.open(kBob, /*translate=*/false);
  again.input_item->OnDestroy();
  EXPECT_TRUE(c.window(1).IsLive);
  EXPECT_FALSE(c.window(5).IsLive);

  // Clicking the item switches translation off (collapsed) and on again (docked).
  c.chats[0]->input_item->OnClick();
  EXPECT_FALSE(c.window(1).TranOn);
  EXPECT_EQ(c.window(1).ShowState, 2);
  c.chats[0]->input_item->OnClick();
  EXPECT_TRUE(c.window(1).TranOn);
  EXPECT_EQ(c.window(1).ShowState, 1);
}

// A chat window before any login: the coordinator comes up first and keeps the window.
TEST(ConversationWithoutLogin, TheFirstWindowIsKept) {
  Conversation c;
  Translator server;
  server.install(c.http);
  c.open(kBob);
  EXPECT_EQ(c.module.companions().count(), 1);
  c.incoming(kBob, u"hello");
  c.clock.advance(milliseconds(100));
  EXPECT_EQ(c.pushed(1).size(), 1u);
}

// 100 messages over 10 chats within a second, answers after 50 to 400 ms in random order, one
// in ten never answered: every message is shown once, in its own chat, the answered ones in the
// order they arrived, the others marked; nothing goes to the host.
TEST(ConversationBurst, EveryMessageShownOnceInItsOwnChat) {
  Conversation c;
  Translator server;
  server.install(c.http);
  c.login();
  std::vector<Str> contacts;
  for (int i = 0; i < 10; ++i) {
    contacts.push_back(u"cnquorinfriend" + from_utf8(std::to_string(i)));
    c.open(contacts.back());
  }
  std::mt19937 random(7);
  std::uniform_int_distribution<int> latency(50, 400);
  std::map<Str, Str> sender_of;
  for (int n = 0; n < 100; ++n) {
    const Str text = u"msg" + from_utf8(std::to_string(n));
    if (n % 10 == 3) {
      server.silent.insert(text);
    } else {
      server.latency[text] = latency(random);
    }
    const Str& from = contacts[static_cast<std::size_t>(random() % 10)];
    sender_of[text] = from;
    c.incoming(from, text);
    c.clock.advance(milliseconds(10));
  }
  c.clock.advance(milliseconds(120000));
  std::size_t shown = 0;
  for (int i = 1; i <= 10; ++i) {
    const Str name = strip_site_prefixes(contacts[static_cast<std::size_t>(i - 1)]);
    int last_answered = -1;
    for (const Str& line : c.pushed(i)) {
      ++shown;
      const auto start = line.find(u"'msg") + 4;
      const int n = std::stoi(to_utf8(line.substr(start, line.find(u'\'', start) - start)));
      const Str text = u"msg" + from_utf8(std::to_string(n));
      EXPECT_EQ(sender_of[text], contacts[static_cast<std::size_t>(i - 1)]);
      if (server.silent.count(text)) {
        EXPECT_EQ(line, incoming_line(text, kNoTranslation, name));
      } else {
        EXPECT_EQ(line, incoming_line(text, u" T:" + text + u" ", name));
        EXPECT_GT(n, last_answered) << "answered messages in arrival order";
        last_answered = n;
      }
    }
  }
  EXPECT_EQ(shown, 100u);
  for (const auto& chat : c.chats)
    EXPECT_TRUE(chat->chat->sent.empty());
}

}  // namespace
}  // namespace brevant
