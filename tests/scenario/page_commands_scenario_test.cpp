// The commands a companion page sends, as the browser reports them: typed texts handed to the
// send translator with the right language, text and routing tag, the voice text, collapse,
// reopen and stop, the settings dialogs and the interface-language switch.

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "config/settings_dialog.h"
#include "tests/scenario/conversation.h"
#include "tests/scenario/scripted_server.h"

namespace brevant {
namespace {

using std::chrono::milliseconds;
using testing::Conversation;
using testing::form_value;

constexpr char16_t kBob[] = u"cnquorinbob";
constexpr char16_t kCarol[] = u"quillnetcarol";

// One argument as the browser reports it: every byte but letters and digits percent-encoded.
Str url_encoded(StrView text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char b : to_utf8(text)) {
    if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
      out += static_cast<char>(b);
    } else {
      out += '%';
      out += hex[b >> 4];
      out += hex[b & 15];
    }
  }
  return from_utf8(out);
}

// The page of window `index` sends `word` with `args`, as the page builds the URL.
void send(Conversation& c, std::int32_t index, StrView word, std::vector<Str> args = {}) {
  if (args.empty())
    args.emplace_back();
  Str url = c.window(index).page_url() + u"#" + Str(word);
  for (const Str& a : args)
    url += u"%60" + url_encoded(a);
  c.browser(index).navigate(url);
}

// What the send translator was last handed; nullopt when it was not called.
std::optional<std::vector<Str>> handed(Conversation& c) {
  KQTran& s = c.coordinator().KQTranS;
  if (s.flag == u"-")
    return std::nullopt;
  return std::vector<Str>{s.MainLan, s.Text, s.flag};
}

void forget_handed(Conversation& c) {
  c.coordinator().KQTranS.flag = u"-";
}

TEST(PageCommands, TypedTextsReachTheSendTranslator) {
  struct Case {
    const char* name;
    std::vector<Str> args;
    std::optional<std::vector<Str>> handed;  // language, text, flag
  };
  const Case cases[] = {
      {"plain", {u"hello", u"english", u"Pclose", u"Single", u""}, {{u"en", u"hello", kBob}}},
      {"Japanese",
       {u"\u4F60\u597D", u"japaness", u"Popen", u"Double", u"x9"},
       {{u"ja", u"\u4F60\u597D", kBob}}},
      {"empty", {u"", u"english", u"Pclose", u"Single", u""}, {{u"en", u"~?", kBob}}},
      {"question marks",
       {u"???", u"english", u"Pclose", u"Single", u""},
       {{u"en", u"???~?", kBob}}},
      {"full-width marks",
       {u"\uFF1F\uFF1F", u"english", u"Pclose", u"Single", u""},
       {{u"en", u"??~?", kBob}}},
      {"a mark after a word",
       {u"ok?", u"english", u"Pclose", u"Single", u""},
       {{u"en", u"ok?", kBob}}},
      {"quote tokens",
       {u"it9kosys 9kodyok9kody", u"english", u"Pclose", u"Single", u""},
       {{u"en", u"it's \"ok\"", kBob}}},
      {"markup refused", {u"a<td>b", u"english", u"Pclose", u"Single", u""}, std::nullopt},
      {"markup refused (DIV)", {u"<DIV>x", u"english", u"Pclose", u"Single", u""}, std::nullopt},
      {"markup words are case-sensitive",
       {u"<div>x", u"english", u"Pclose", u"Single", u""},
       {{u"en", u"<div>x", kBob}}},
      {"an unknown language is handed on",
       {u"hi", u"french", u"Pclose", u"Single", u""},
       {{u"french", u"hi", kBob}}},
  };
  for (const Case& k : cases) {
    Conversation c;
    c.login();
    c.open(kBob);
    forget_handed(c);
    send(c, 1, u"Word_From_User", k.args);
    EXPECT_EQ(handed(c), k.handed) << k.name;
    const frmChat& w = c.window(1);
    EXPECT_EQ(w.ForeignLan, k.args[1]) << k.name;
    EXPECT_EQ(w.PreviewMode, k.args[2]) << k.name;
    EXPECT_EQ(w.ShowFormat, k.args[3]) << k.name;
    EXPECT_EQ(w.PageExtra, k.args[4]) << k.name;
  }

  // Missing arguments leave their fields as they were.
  Conversation c;
  c.login();
  c.open(kBob);
  send(c, 1, u"Word_From_User", {u"one", u"japaness", u"Popen", u"Double", u"x"});
  c.clock.advance(milliseconds(3000));  // no answer: "two" is not queued behind it
  send(c, 1, u"Word_From_User", {u"two"});
  EXPECT_EQ(handed(c), (std::vector<Str>{u"ja", u"two", kBob}));
  const frmChat& w = c.window(1);
  EXPECT_EQ((std::vector<Str>{w.ForeignLan, w.PreviewMode, w.ShowFormat, w.PageExtra}),
            (std::vector<Str>{u"japaness", u"Popen", u"Double", u"x"}));
}

// Which chat a typed text is routed through: its own, or the tab shown in its own chat window.
// A tab change in another window, or the newest chat's companion gone, change nothing.
TEST(PageCommands, TheRoutingTagFollowsTheTabOfTheOwnWindow) {
  struct Case {
    const char* name;
    bool tabs;              // carol's window shows bob's tab
    bool newest_gone;       // carol's companion closed, her window still open
    std::int32_t typed_in;  // 1 bob, 2 carol (the newest)
    Str text;
    std::optional<Str> flag;
  };
  const Case cases[] = {
      {"the newest chat itself", false, false, 2, u"hi", Str(kCarol)},
      {"an older chat", false, false, 1, u"hi", Str(kBob)},
      {"an older chat, markup", false, false, 1, u"<table>", std::nullopt},
      {"newest gone", false, true, 1, u"hi", Str(kBob)},
      {"newest gone, markup", false, true, 1, u"<td>", std::nullopt},
      {"tabs", true, false, 2, u"hi", Str(kBob) + u"<9koduo>" + kCarol},
      {"tabs, markup", true, false, 2, u"<td>", Str(kBob) + u"<9koduo>" + kCarol},
      {"tabs in another window", true, false, 1, u"hi", Str(kBob)},
  };
  for (const Case& k : cases) {
    Conversation c;
    c.login();
    c.open(kBob);
    testing::HostChat& carol = c.open(kCarol);
    if (k.tabs)
      carol.main_item->OnNotify(1, std::make_shared<sim_host::TabChange>(kBob));
    if (k.newest_gone)
      carol.input_item->OnDestroy();
    forget_handed(c);
    send(c, k.typed_in, u"Word_From_User", {k.text, u"english", u"Pclose", u"Single", u""});
    const auto got = handed(c);
    EXPECT_EQ(got ? std::optional<Str>((*got)[2]) : std::nullopt, k.flag) << k.name;
  }
}

// Preview on: a text is offered for review first, and only the text that answers an offered
// translation goes to the chat as it stands. A translation that never came back, or preview
// switched off and on again (also during a review), starts over: the next text is shown first,
// never sent untranslated and unseen.
TEST(PageCommands, PreviewSendsOnlyTheTextThatAnswersAReview) {
  Conversation c;
  c.login();
  testing::HostChat& bob = c.open(kBob);
  struct Step {
    const char16_t* word;
    const char16_t* preview;  // of a Word_From_User
    bool answered;            // its translation comes back
    const char16_t* toggle;
    bool sent;
  };
  const Step steps[] = {
      {u"Word_From_User", u"Popen", true, u"false", false},  // offered for review
      {u"Word_From_User", u"Popen", true, u"true", true},    // the reviewed text
      {u"Word_From_User", u"Popen", true, u"false", false},
      {u"Word_From_User", u"Pclose", true, u"false", true},  // preview off: sent at once
      {u"Word_From_User", u"Popen", true, u"false", false},  // on again: shown first
      {u"Word_From_User", u"Popen", true, u"true", true},
      {u"Word_From_User", u"Popen", false, u"false", false},    // no translation came back ...
      {u"Word_From_User", u"Popen", true, u"false", false},     // ... so this one is shown first
      {u"set_previewcclose", nullptr, false, u"false", false},  // the review is left
      {u"set_previewopen", nullptr, false, u"false", false},
      {u"Word_From_User", u"Popen", true, u"false", false},
      {u"Word_From_User", u"Popen", true, u"true", true},
  };
  std::size_t sent = 0;
  for (const Step& step : steps) {
    const std::string label =
        to_utf8(step.word) + " " + (step.preview ? to_utf8(step.preview) : "");
    if (step.preview)
      send(c, 1, step.word, {u"x", u"english", step.preview, u"Single", u""});
    else
      send(c, 1, step.word);
    EXPECT_EQ(c.window(1).PreviewToggle, step.toggle) << label;
    if (step.answered)
      c.coordinator().KQTranS_TisOK(u"[ y ]", kBob, u"x");
    sent += step.sent ? 1 : 0;
    EXPECT_EQ(bob.chat->sent.size(), sent) << label;
  }
}

// Commands that change the window or the voice text, in one sequence on one window.
TEST(PageCommands, WindowAndVoiceCommands) {
  Conversation c;
  c.login();
  testing::HostChat& bob = c.open(kBob);
  frmChat& w = c.window(1);
  c.clock.advance(milliseconds(20));
  auto fields = [&] {
    return std::vector<Str>{w.InputText,
                            w.ForeignLan,
                            w.PreviewMode,
                            w.ShowFormat,
                            w.PageExtra,
                            w.PreviewToggle,
                            w.VoiceText(),
                            Str(1, char16_t(u'0' + w.ShowState)),
                            w.TranOn ? u"on" : u"off",
                            w.Stopped() ? u"stopped" : u"following",
                            w.ShowOn ? u"shown" : u"hidden"};
  };
  auto companion_left = [&] {
    Rect r;
    c.desktop.GetWindowRect(w.hwnd(), r);
    return r.left;
  };
  ASSERT_EQ(companion_left(), 700) << "docked at the host's right edge";

  // Words that change nothing natively, and words that are not commands.
  const auto before = fields();
  for (const char16_t* word : {u"set_en", u"set_ja", u"set_single", u"set_double",
                               u"set_previewopen", u"set_previewcclose", u"msn_set_voice",
                               u"send_to_skype", u"Setclose", u"setclose ", u"skype_re_read2"}) {
    send(c, 1, word, {u"[a] b"});
    EXPECT_EQ(fields(), before) << to_utf8(word);
  }

  struct Voice {
    Str arg;
    Str voice;
  };
  const Voice voices[] = {
      {u"hello<9kovoice>\u4F60\u597D", u"hello"},
      {u"\u4F60\u597D<9kovoice>hello", u"hello"},
      {u"it\uFF07s ok\uFF1F<9kovoice>\u597D\u7684", u"it's ok?"},
      {u"undefined", u"it's ok?"},  // kept
      {u" one%20two ", u"one two"},
      {u"a<9kovoice>b<9kovoice>c", u"a<9kovoice>b<9kovoice>c"},
      {u"\u3053\u3093\u306B\u3061\u306F<9kovoice>\u4F60\u597D", u""},
      {u"hi<9kovoice>\u30AB\u30BF", u""},
  };
  for (const Voice& v : voices) {
    send(c, 1, u"voice", {v.arg});
    EXPECT_EQ(w.VoiceText(), v.voice) << to_utf8(v.arg);
  }
  send(c, 1, u"skype_re_read");
  EXPECT_EQ(w.VoiceText(), u"welcome to use kq!");
  send(c, 1, u"voice", {u"hello"});
  send(c, 1, u"skype_re_read");
  EXPECT_EQ(w.VoiceText(), u"hello");

  // Collapse, dock again, stop following.
  send(c, 1, u"setclose");
  EXPECT_EQ(w.ShowState, 2);
  EXPECT_FALSE(w.TranOn);
  c.clock.advance(milliseconds(20));
  EXPECT_EQ(companion_left(), 700 - kCollapsedInset);
  send(c, 1, u"skype_open");
  EXPECT_EQ(w.ShowState, 1);
  c.clock.advance(milliseconds(20));
  EXPECT_EQ(companion_left(), 700);
  send(c, 1, u"skype_stop");
  EXPECT_EQ(w.ShowState, 0);
  EXPECT_TRUE(w.Stopped());
  c.desktop.set_rect(bob.top, Rect{300, 50, 900, 450});
  c.clock.advance(milliseconds(20));
  EXPECT_EQ(companion_left(), 700) << "a stopped companion stays where it is";
  send(c, 1, u"skype_open");
  EXPECT_FALSE(w.Stopped());
  c.clock.advance(milliseconds(20));
  EXPECT_EQ(companion_left(), 900);
}

// In their language, and owned by the companion that asked, not by whatever window is active
// (often the host chat).
TEST(PageCommands, SettingsDialogsOpenInTheirLanguageOverTheirCompanion) {
  Conversation c;
  c.login();
  c.open(kBob);
  const Hwnd companion = c.window(1).hwnd();
  ASSERT_NE(companion, 0);
  send(c, 1, u"setfull");
  send(c, 1, u"setfullen");
  ASSERT_EQ(c.ui.dialogs().size(), 2u);
  EXPECT_EQ(c.ui.dialogs()[0].text.title, settings_dialog_text(DialogLanguage::kChinese).title);
  EXPECT_EQ(c.ui.dialogs()[1].text.title, settings_dialog_text(DialogLanguage::kEnglish).title);
  for (const ScriptedUi::Dialog& d : c.ui.dialogs())
    EXPECT_EQ(d.owner, companion);
}

TEST(PageCommands, InterfaceLanguageSwitch) {
  struct Case {
    const char* name;
    const char* lan;  // the page's interface language
    bool chinese_code_page;
    Str lan_after;
    Notice notice;
  };
  const Case cases[] = {
      {"Chinese page", "cn", false, u"en", Notice::Frmchangedcn},
      {"Chinese page, Chinese system", "cn", true, u"en", Notice::Frmchangedcn},
      {"English page, Chinese system", "en", true, u"cn", Notice::Frmchangeden},
      {"English page, no Chinese", "en", false, u"en", Notice::Frmlanguage},
  };
  for (const Case& k : cases) {
    Conversation c(std::string("[config]\r\nlan=") + k.lan + "\r\nconfiglan=ja\r\n");
    if (k.chinese_code_page) {
      c.module.registry().set_value(RootKey::LocalMachine,
                                    "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", "50227",
                                    kRegSz, "c_50227.nls");
    }
    c.login();
    c.open(kBob);
    const Str page = c.window(1).page_url();
    send(c, 1, u"msn_buy");
    CIniFile& ini = c.module.settings().use(kConfigUinFile);
    EXPECT_EQ(ini.GetValue(kConfigSection, kKeyLan), k.lan_after) << k.name;
    EXPECT_EQ(ini.GetValue(kConfigSection, kKeyConfigLan), u"ja") << k.name;
    ASSERT_EQ(c.ui.notices().size(), 1u) << k.name;
    EXPECT_EQ(c.ui.notices()[0].text, notice_text(k.notice).text) << k.name;
    EXPECT_EQ(c.ui.notice_owners(), std::vector<Hwnd>{c.window(1).hwnd()}) << k.name;
    EXPECT_EQ(c.window(1).page_url(), page) << "the page on screen stays";
  }
}

// From the typed text to the contact: the server's answer goes into the own host chat, its
// Send button is pressed, and the page shows the sent text as the own.
TEST(PageCommands, ATypedTextIsTranslatedAndSent) {
  Conversation c;
  c.http.respond_with([](const RecordedRequest& r) {
    return ScriptedReply::answer(u"T:" + form_value(r.body, u"text"), 20);
  });
  c.login();
  c.open(kCarol);
  testing::HostChat& bob = c.open(kBob);
  const int clicks = c.desktop.window(bob.button)->clicks;
  send(c, 2, u"Word_From_User", {u"\u4F60\u597D", u"english", u"Pclose", u"Single", u""});
  c.clock.advance(milliseconds(300));
  ASSERT_EQ(bob.chat->sent.size(), 1u);
  EXPECT_EQ(bob.chat->sent[0].contact, kBob);
  EXPECT_EQ(bob.chat->sent[0].text, u"[ T:\u4F60\u597D ]");
  EXPECT_EQ(c.desktop.window(bob.button)->clicks - clicks, 1);
  EXPECT_TRUE(c.chats[0]->chat->sent.empty());
  const auto lines = c.pushed(2);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            u"PushMsg('\u4F60\u597D','T:\u4F60\u597D','true','Pclose','Single','alice','true')");
}

}  // namespace
}  // namespace brevant
