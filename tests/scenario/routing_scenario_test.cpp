// Where typed and incoming texts go with several chats, closed companions, tabs and a slow
// translation server: each to its own chat, once, in order; a result whose chat closed meanwhile
// goes to the contact's live companion, or is dropped (incoming) or shown as failed (typed).

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

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

std::vector<Str> texts(const testing::HostChat& chat) {
  std::vector<Str> out;
  for (const auto& s : chat.chat->sent) {
    EXPECT_EQ(s.contact, chat.contact) << "sent to another person";
    out.push_back(s.text);
  }
  return out;
}

// The page lines of own messages (sent or failed) window `index` received.
std::vector<Str> own(Conversation& c, std::int32_t index) {
  std::vector<Str> out;
  for (const Str& line : c.pushed(index)) {
    if (line.find(u",'true',") != Str::npos)
      out.push_back(line);
  }
  return out;
}

Str sent_line(StrView text) {
  return u"PushMsg('" + Str(text) + u"','T:" + Str(text) +
         u"','true','Pclose','Single','alice','true')";
}
Str failed_line(StrView text) {
  return u"PushMsg('" + Str(text) + u"','9konotran','true','Pclose','Single','','true')";
}

TEST(Routing, EveryTextReachesItsOwnChatOnceInOrder) {
  struct Case {
    const char* name;
    std::function<void(Conversation&)> run;
  };
  const Case cases[] = {
      {"quick typing against a slow server: none is lost or cancelled",
       [](Conversation& c) {
         testing::HostChat& bob = c.open(kBob);
         testing::HostChat& carol = c.open(kCarol);
         c.type(1, u"one");
         c.clock.advance(milliseconds(300));
         c.type(2, u"two");
         c.clock.advance(milliseconds(300));
         c.type(1, u"three");
         c.clock.advance(milliseconds(10000));
         EXPECT_EQ(texts(bob), (std::vector<Str>{u"[ T:one ]", u"[ T:three ]"}));
         EXPECT_EQ(texts(carol), (std::vector<Str>{u"[ T:two ]"}));
         EXPECT_EQ(own(c, 1), (std::vector<Str>{sent_line(u"one"), sent_line(u"three")}));
         EXPECT_EQ(own(c, 2), (std::vector<Str>{sent_line(u"two")}));
       }},
      {"two windows of one contact, the later one closed",
       [](Conversation& c) {
         testing::HostChat& first = c.open(kBob);
         testing::HostChat& second = c.open(kBob, /*translate=*/false);
         second.input_item->OnDestroy();
         EXPECT_EQ(c.coordinator().WinIsExist(kBob), 1);
         c.incoming(kBob, u"hello");
         c.type(1, u"hi");
         c.clock.advance(milliseconds(2000));
         EXPECT_EQ(c.pushed(1).size(), 2u) << "the message and the own text, in the live one";
         EXPECT_EQ(texts(first), (std::vector<Str>{u"[ T:hi ]"}));
         EXPECT_TRUE(second.chat->sent.empty());
       }},
      {"a tab change in another window: a plain window's text stays in its chat",
       [](Conversation& c) {
         testing::HostChat& bob = c.open(kBob);
         testing::HostChat& carol = c.open(kCarol);
         c.open(u"cnvetmardave");
         carol.main_item->OnNotify(1, std::make_shared<sim_host::TabChange>(u"cnvetmardave"));
         c.type(1, u"hi");
         c.clock.advance(milliseconds(2000));
         EXPECT_EQ(texts(bob), (std::vector<Str>{u"[ T:hi ]"}));
         EXPECT_TRUE(carol.chat->sent.empty());
         EXPECT_TRUE(c.chats[2]->chat->sent.empty());
       }},
      {"tabs: incoming messages, bracketed ones too, in the sender's companion",
       [](Conversation& c) {
         c.open(kBob);
         testing::HostChat& carol = c.open(kCarol);
         carol.main_item->OnNotify(0, std::make_shared<sim_host::TabChange>(kCarol));
         carol.main_item->OnNotify(1, std::make_shared<sim_host::TabChange>(kCarol));
         c.incoming(kBob, u"hello");
         c.incoming(kBob, u"hi\r\n[ salut ]");
         c.clock.advance(milliseconds(2000));
         EXPECT_EQ(c.pushed(1), (std::vector<Str>{incoming_line(u"hello", u" T:hello ", u"bob"),
                                                  incoming_line(u"hi", u" salut ", u"bob")}));
         EXPECT_TRUE(c.pushed(2).empty());
       }},
      {"the newest chat's companion closed: an older chat's text goes to its own chat",
       [](Conversation& c) {
         testing::HostChat& bob = c.open(kBob);
         testing::HostChat& carol = c.open(kCarol);
         carol.input_item->OnDestroy();
         c.type(1, u"hi");
         c.clock.advance(milliseconds(2000));
         EXPECT_EQ(texts(bob), (std::vector<Str>{u"[ T:hi ]"}));
         EXPECT_TRUE(carol.chat->sent.empty());
         EXPECT_EQ(own(c, 1), (std::vector<Str>{sent_line(u"hi")}));
       }},
      {"the chat closed and opened again while translating: the new companion gets both",
       [](Conversation& c) {
         testing::HostChat& old_chat = c.open(kBob);
         c.incoming(kBob, u"slow");
         c.type(1, u"later");
         old_chat.input_item->OnDestroy();
         testing::HostChat& again = c.open(kBob);
         c.clock.advance(milliseconds(3000));
         EXPECT_EQ(c.pushed(2).size(), 2u);
         EXPECT_EQ(texts(again), (std::vector<Str>{u"[ T:later ]"}));
         EXPECT_TRUE(old_chat.chat->sent.empty());
       }},
      {"closed with no other companion: the message is dropped and counted",
       [](Conversation& c) {
         testing::HostChat& bob = c.open(kBob);
         c.incoming(kBob, u"slow");
         c.type(1, u"later");
         bob.input_item->OnDestroy();
         c.clock.advance(milliseconds(3000));
         EXPECT_EQ(c.coordinator().dropped(), 1u);
         EXPECT_TRUE(bob.chat->sent.empty());
       }},
      {"a companion closed from outside: not live at once, unloaded by its next tick",
       [](Conversation& c) {
         c.open(kBob);
         c.incoming(kBob, u"slow");
         c.desktop.form(c.window(1).hwnd())->close();
         EXPECT_EQ(c.coordinator().WinIsExist(kBob), 0);
         c.clock.advance(milliseconds(3000));
         EXPECT_TRUE(c.window(1).unloaded());
         EXPECT_FALSE(c.window(1).IsLive);
         EXPECT_FALSE(c.window(1).ShowOn);
         EXPECT_EQ(c.coordinator().dropped(), 1u);
       }},
      {"no translation came back: the typed text is shown as failed, the next one goes",
       [](Conversation& c) {
         testing::HostChat& bob = c.open(kBob);
         c.type(1, u"lost");
         c.type(1, u"next");
         c.clock.advance(milliseconds(60000));
         EXPECT_EQ(texts(bob), (std::vector<Str>{u"[ T:next ]"}));
         EXPECT_EQ(own(c, 1), (std::vector<Str>{failed_line(u"lost"), sent_line(u"next")}));
       }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Conversation c;
    c.http.respond_with([](const RecordedRequest& r) {
      const Str text = form_value(r.body, u"text");
      if (text == u"lost")
        return ScriptedReply::never();
      return ScriptedReply::answer(u"T:" + text, text == u"slow" ? 1500 : 800);
    });
    c.login();
    k.run(c);
  }
}

}  // namespace
}  // namespace brevant
