// The whole system as a person uses it: the stand-in messenger carries out a script (chats, a
// contact writing, Chinese typed into the companion page with key strokes, the page's controls
// and dialogs, windows moved, the server stopped and started) and the checks read its
// transcript: what each page shows, what each contact received, what was pressed.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Outcome {
  int status = -1;
  json transcript;
  std::string output;  // what the messenger logged (standard error)
};

std::string read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Carries out `script` (a file) in a fresh messenger with a fresh plug-in folder.
Outcome run(const fs::path& script) {
  char name[] = "/tmp/brevant-e2e-XXXXXX";
  const fs::path dir = mkdtemp(name);
  const std::string command = std::string(BREVANT_MESSENGER_SIM) + " --script '" + script.string() +
                              "' --transcript '" + (dir / "t.json").string() + "' --out '" +
                              dir.string() + "' > /dev/null 2> '" + (dir / "log").string() + "'";
  Outcome r;
  const int raw = std::system(command.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.output = read(dir / "log");
  r.transcript = json::parse(read(dir / "t.json"), nullptr, false);
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return r;
}

// The record of `contact` among `chats` (the last one when it was opened twice).
const json& chat(const json& chats, const std::string& contact) {
  static const json none = json::object();
  const json* found = &none;
  for (const json& c : chats) {
    if (c.value("contact", "") == contact)
      found = &c;
  }
  return *found;
}

std::string text_of(const json& v) {
  return v.is_string() ? v.get<std::string>() : "(none)";
}

// Each message as "who|source|translation|state".
std::vector<std::string> messages(const json& c) {
  std::vector<std::string> list;
  for (const json& m : c.value("messages", json::array()))
    list.push_back(text_of(m["who"]) + "|" + text_of(m["source"]) + "|" +
                   text_of(m["translation"]) + "|" + m.value("state", ""));
  return list;
}

std::vector<std::string> strings(const json& v) {
  std::vector<std::string> list;
  for (const json& s : v)
    list.push_back(s.get<std::string>());
  return list;
}

std::vector<int> rect(const json& c, const char* key) {
  return c.contains(key) ? c[key].get<std::vector<int>>() : std::vector<int>{};
}

// Docked: at the host's right edge, 630 twips (42 px) below its top, 4930 twips wide, down to
// its bottom.
std::vector<int> docked_beside(const std::vector<int>& host) {
  return {host[2], host[1] + 42, host[2] + 329, host[3]};
}

class MessengerE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY"))
      GTEST_SKIP() << "no X display (run the e2e tier under xvfb-run)";
  }
};

TEST_F(MessengerE2e, ConversationThroughThePlugin) {
  const Outcome r = run(fs::path(BREVANT_E2E_DIR) / "conversation.json");
  ASSERT_EQ(r.status, 0) << r.output;
  const json& t = r.transcript;
  ASSERT_TRUE(t.value("ok", false)) << r.output;
  const json& chats = t["chats"];

  // What each page shows, in order, and what each contact received: English and Japanese
  // incoming in their own companions; typed Chinese sent single, bilingual, after a preview;
  // a bracketed message shown as it came; a tab's own conversation; during the server's
  // absence incoming texts untranslated and the typed one kept for editing (not sent); after
  // its return the conversation goes on.
  const std::tuple<std::string, std::vector<std::string>, std::vector<std::string>> kChats[] = {
      {"cnquorinemma",
       {"emma|Hello! How are you？|你好！你好吗？|shown",
        "我|我很好，谢谢|I'm fine, thank you|shown", "我|#标签 100% `x`|#标签 100% `x`|shown",
        "我|你好|Hello|shown", "emma|Where are you？|你在哪里？|shown"},
       {"[ I'm fine, thank you ]", "[ #标签 100% `x` ]", "你好\r\n[ Hello ]"}},
      {"cnvetmaryuki",
       {"yuki|こんにちは、お元気ですか|你好你好吗|shown", "我|ありがとう|谢谢|shown",
        "我|再见|(none)|failed", "yuki|ありがとう|(none)|failed", "yuki|さようなら|再见|shown",
        "我|晚安|おやすみなさい|shown"},
       {"ありがとう", "[ おやすみなさい ]"}},
      {"cnquorinsophie",
       {"sophie|Good morning|早上好|shown", "我|早上好|Good morning|shown"},
       {"[ Good morning ]"}},
      {"quillnetoliver", {"oliver|お久しぶりです|好久不见|shown"}, {}},
  };
  for (const auto& [contact, shown, received] : kChats) {
    const json& c = chat(chats, contact);
    EXPECT_EQ(messages(c), shown) << contact;
    EXPECT_EQ(strings(c["received"]), received) << contact;
    // Send was pressed once for every message the contact received, never twice.
    const std::vector<std::string> pressed = strings(c["pressed"]);
    EXPECT_EQ(std::count(pressed.begin(), pressed.end(), "Send"),
              static_cast<long>(received.size()))
        << contact;
  }
  // The text typed while the server was away stays in the page, with "edit again".
  const json& unsent = chat(chats, "cnvetmaryuki")["messages"][2];
  EXPECT_TRUE(unsent.value("edit_again", false));

  // Two chats side by side, each companion glued to its own chat; the moved chat's companion
  // followed; the input item collapsed the companion to a point above the chat and docked it
  // again.
  const json& snaps = t["snapshots"];
  for (const char* contact : {"cnquorinemma", "cnvetmaryuki"}) {
    const json& c = chat(snaps["side by side"], contact);
    EXPECT_EQ(rect(c, "companion_rect"), docked_beside(rect(c, "host_rect"))) << contact;
  }
  const json& moved = chat(snaps["moved"], "cnquorinemma");
  EXPECT_EQ(rect(moved, "host_rect"), (std::vector<int>{60, 100, 460, 580}));
  EXPECT_EQ(rect(moved, "companion_rect"), docked_beside(rect(moved, "host_rect")));
  const json& collapsed = chat(snaps["collapsed"], "cnvetmaryuki");
  EXPECT_EQ(collapsed.value("show_state", -1), 2);
  EXPECT_FALSE(collapsed.value("translation_on", true));
  const std::vector<int> host = rect(collapsed, "host_rect");
  EXPECT_EQ(rect(collapsed, "companion_rect"),
            (std::vector<int>{host[2] - 50, host[1] - 50, host[2] - 49, host[1] - 49}));
  const json& docked = chat(snaps["moved"], "cnvetmaryuki");
  EXPECT_EQ(docked.value("show_state", -1), 1);
  EXPECT_EQ(rect(docked, "companion_rect"), docked_beside(rect(docked, "host_rect")));

  // Preview: the translation waits in the input for review.
  const json& review = chat(snaps["review"], "cnvetmaryuki");
  EXPECT_TRUE(review.value("reviewing", false));
  EXPECT_EQ(review.value("input", ""), "ありがとう");

  // Tabs: both contacts in one window, titled after the shown one.
  for (const char* contact : {"cnquorinemma", "cnquorinsophie"}) {
    const json& c = chat(snaps["tabs"], contact);
    EXPECT_EQ(c.value("tabs", 0), 2) << contact;
    EXPECT_EQ(c.value("title", ""), "emma - xiaoming") << contact;
  }

  // The settings dialog set the defaults and the interface-language switch the page of the
  // next chat; the chats already open kept theirs.
  const json& oliver = chat(chats, "quillnetoliver");
  EXPECT_EQ(oliver.value("page", ""), "IOEN");
  EXPECT_EQ(oliver.value("language", ""), "japaness");
  EXPECT_EQ(oliver.value("format", ""), "Double");
  EXPECT_TRUE(oliver.value("preview", false));
  EXPECT_EQ(chat(chats, "cnquorinemma").value("page", ""), "IO11");
  const std::string settings = t.value("settings", "");
  for (const char* line : {"configlan=ja", "configformat=double", "configpreview=on"})
    EXPECT_NE(settings.find(std::string(line) + "\r\n"), std::string::npos) << line;
  // In the fresh plug-in folder the English page switches back to Chinese for the next chat.
  EXPECT_EQ(chat(snaps["back to chinese"], "cnvetmarsakura").value("page", ""), "IO11");
  EXPECT_NE(settings.find("lan=cn\r\n"), std::string::npos);
  ASSERT_EQ(t["dialogs"].size(), 3u);
  EXPECT_EQ(t["dialogs"][0].value("kind", ""), "settings");
  EXPECT_EQ(t["dialogs"][1].value("kind", ""), "notice");
  EXPECT_EQ(t["dialogs"][2].value("kind", ""), "notice");

  // No chat text reaches the log of the messenger, the plug-in or the server.
  for (const char* text : {"Hello", "你好", "ありがとう", "Good morning"})
    EXPECT_EQ(r.output.find(text), std::string::npos) << text;
}

// Several chats at once against a server that answers after 0.8 s: texts typed quickly in one
// chat, messages interleaved both ways; a tabbed window; a chat closed and opened again. Every
// text reaches its own chat, once, in the order typed, and every message its sender's page.
TEST_F(MessengerE2e, EveryTextReachesItsOwnChat) {
  const Outcome r = run(fs::path(BREVANT_E2E_DIR) / "routing.json");
  ASSERT_EQ(r.status, 0) << r.output;
  const json& chats = r.transcript["chats"];
  ASSERT_TRUE(r.transcript.value("ok", false)) << r.output;
  const std::tuple<std::string, std::vector<std::string>, std::vector<std::string>,
                   std::vector<std::string>>
      kChats[] = {
          {"cnquorinemma",
           {"我|你好|Hello|shown", "我|早上好|Good morning|shown", "我|晚安|Good night|shown"},
           {"emma|Good night|晚安|shown", "emma|Hello|你好|shown",
            "emma|Where are you？|你在哪里？|shown"},
           {"[ Hello ]", "[ Good morning ]", "[ Good night ]"}},
          {"cnvetmaryuki",
           {"我|晚安|おやすみなさい|shown", "我|你好|こんにちは|shown"},
           {"yuki|ありがとう|谢谢|shown"},
           {"[ おやすみなさい ]", "[ こんにちは ]"}},
          {"quillnetoliver", {}, {}, {}},
          // The chat opened again: its new page and chat only.
          {"cnquorinsophie", {"我|你好|Hello|shown"}, {"sophie|Hello|你好|shown"}, {"[ Hello ]"}},
      };
  for (const auto& [contact, mine, theirs, received] : kChats) {
    const json& c = chat(chats, contact);
    std::vector<std::string> own, other;
    for (const std::string& m : messages(c))
      (m.rfind("我|", 0) == 0 ? own : other).push_back(m);
    EXPECT_EQ(own, mine) << contact;
    EXPECT_EQ(other, theirs) << contact;
    EXPECT_EQ(strings(c["received"]), received) << contact;
  }
  // The chat before it was closed got its own text, typed between incoming messages.
  for (const json& c : chats) {
    if (c.value("contact", "") == "cnquorinsophie") {
      EXPECT_EQ(strings(c["received"]), std::vector<std::string>{"[ Goodbye ]"});
      break;
    }
  }
}

// 50 messages from 5 contacts at once, interleaved: every page shows its own ten, in order,
// each translated.
TEST_F(MessengerE2e, BurstOfFiftyOverFiveChats) {
  const std::pair<const char*, const char*> kContacts[] = {
      {"cnquorinemma", "en"},   {"cnvetmaryuki", "ja"},   {"quillnetoliver", "en"},
      {"cnpelsodharuto", "ja"}, {"cnquorinsophie", "en"},
  };
  json steps = json::array();
  for (const auto& [contact, lang] : kContacts) {
    steps.push_back({{"do", "open"}, {"chat", contact}});
    steps.push_back({{"do", "item"}, {"chat", contact}});
  }
  for (int n = 1; n <= 10; ++n) {
    for (const auto& [contact, lang] : kContacts) {
      const std::string text = std::string(lang) == "en" ? "Thank you " + std::to_string(n)
                                                         : "ありがとう " + std::to_string(n);
      steps.push_back({{"do", "say"}, {"chat", contact}, {"text", text}});
    }
  }
  steps.push_back({{"do", "wait"}, {"until", "idle"}});
  char name[] = "/tmp/brevant-burst-XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  std::ofstream(name) << json{{"steps", steps}}.dump();
  const Outcome r = run(name);
  fs::remove(name);
  ASSERT_EQ(r.status, 0) << r.output;

  for (const auto& [contact, lang] : kContacts) {
    const json& c = chat(r.transcript["chats"], contact);
    const std::string who = std::string(contact).substr(8);
    std::vector<std::string> expected;
    for (int n = 1; n <= 10; ++n) {
      const std::string source = std::string(lang) == "en" ? "Thank you " + std::to_string(n)
                                                           : "ありがとう " + std::to_string(n);
      expected.push_back(who + "|" + source + "|谢谢 " + std::to_string(n) + "|shown");
    }
    EXPECT_EQ(messages(c), expected) << contact;
  }
}

}  // namespace
