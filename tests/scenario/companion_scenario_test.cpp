// The companion window on the sim desktop with a virtual clock: placement beside the host chat,
// the foreground steps, the settings it reads, the script lines its page receives, the commands
// it accepts and the Send button it presses.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chatwin/frm_chat.h"
#include "config/settings.h"
#include "platform/path.h"
#include "platform/sim/sim_services.h"
#include "plugin/module.h"
#include "tests/support/profile_cases.h"

namespace brevant {
namespace {

using profile_cases::TempFolder;

// The host messenger's side: its chat windows on the sim desktop, and the plug-in's module.
struct Host {
  TempFolder folder;
  Str plugin_folder = from_utf8(folder.path().string());
  SimServices sim = make_sim_services(plugin_folder);
  SimDesktop& desk = *sim.desktop;
  VirtualClock& clock = *sim.clock;
  std::unique_ptr<Module> module;

  explicit Host(const char16_t* lan = u"en") {
    module = std::make_unique<Module>(std::move(sim.services));
    module->MainUin = u"quillnetme";
    if (lan)
      ini(kConfigSection, kKeyLan, lan);
  }

  void ini(StrView section, StrView key, StrView value) {
    module->settings().use(kConfigUinFile).WriteValue(section, key, value);
  }

  // A chat window titled as the host titles it, with its Send button.
  Hwnd chat_window(StrView title, Rect rect = {100, 50, 700, 450}, StrView send = kSendChinese) {
    const Hwnd frame = desk.create_window(kHostFrameClass, title, 0, rect);
    desk.create_window(kHostButtonClass, send, frame);
    return frame;
  }
  Hwnd send_button(Hwnd frame) {
    return desk.FindWindowExA(frame, 0, kHostButtonClass, std::nullopt);
  }

  // What the chat's input item does when the host opens a chat window.
  frmChat& open(StrView contact, Hwnd frame) {
    frmChat& w =
        *module->companions().at(module->companions().add(std::make_unique<frmChat>(*module)));
    w.HostTopWnd = frame;
    w.HostWnd = frame;
    w.ContactId = Str(contact);
    desk.ShowWindow(w.hwnd(), kSwShowNoActivate);
    w.frminit();
    return w;
  }

  SimForm& form(frmChat& w) { return *desk.form(w.hwnd()); }
  RecordingBrowser& page(frmChat& w) { return form(w).recording_browser(); }
  void run(int ms) { clock.advance(std::chrono::milliseconds(ms)); }
  // Where the form stands, in twips.
  std::vector<int> placed(frmChat& w) {
    SimForm& f = form(w);
    return {f.left(), f.top(), f.width(), f.height()};
  }
};

TEST(Companion, PlacementBesideTheHost) {
  struct Case {
    const char* name;
    Rect host;
    int tx, ty, state;
    std::vector<int> twips;
  };
  const Case cases[] = {
      {"docked", {100, 50, 700, 450}, 15, 15, 1, {10500, 1380, 4930, 5370}},
      {"minimised", {-32000, -32000, -31840, -31973}, 15, 15, 1, {-477600, -479370, 4920, 0}},
      {"exactly 630 high", {0, 0, 300, 42}, 15, 15, 1, {4500, 630, 4930, 0}},
      {"other factors", {10, 20, 410, 320}, 12, 20, 1, {4920, 1030, 4930, 5370}},
      {"collapsed", {100, 50, 700, 450}, 15, 15, 2, {9750, 0, 1, 1}},
  };
  for (const Case& c : cases) {
    Host h;
    h.desk.set_twips_per_pixel(c.tx, c.ty);
    frmChat& w = h.open(u"quillnetbob", h.chat_window(u"bob - me", c.host));
    w.ShowState = c.state;
    h.run(20);
    EXPECT_EQ(h.placed(w), c.twips) << c.name;
    Rect px;
    ASSERT_TRUE(h.desk.GetWindowRect(w.hwnd(), px));
    EXPECT_EQ(px, h.desk.twips_to_pixels(c.twips[0], c.twips[1], c.twips[2], c.twips[3])) << c.name;
    // Twenty ticks, one move: nothing changed after the first.
    EXPECT_EQ(h.form(w).moves(), 1) << c.name;
    EXPECT_EQ(h.form(w).refits(), 1) << c.name;
  }
}

TEST(Companion, StatesFollowCloseAndStop) {
  Host h;
  const Hwnd bob = h.chat_window(u"bob - me");
  frmChat& w = h.open(u"quillnetbob", bob);
  frmChat& other = h.open(u"quillnetann", h.chat_window(u"ann - me", {0, 0, 300, 300}));
  const Hwnd companion = w.hwnd();
  EXPECT_EQ(w.WinIndex, 1);
  EXPECT_EQ(other.WinIndex, 2);
  const SimWindow& win = *h.desk.window(companion);
  EXPECT_EQ(win.ex_style, kWsExToolWindow);
  EXPECT_EQ(win.owner, 0);
  EXPECT_TRUE(win.visible);

  h.run(50);  // state 0: not placed
  EXPECT_EQ(h.form(w).moves(), 0);

  w.ShowState = 1;
  other.ShowState = 1;
  h.run(5);
  EXPECT_EQ(h.placed(w), (std::vector<int>{10500, 1380, 4930, 5370}));
  h.desk.set_rect(bob, {200, 100, 900, 600});  // the user moves and sizes the host
  h.run(2);
  EXPECT_EQ(h.placed(w), (std::vector<int>{13500, 2130, 4930, 6870}));
  h.desk.set_rect(companion, {0, 0, 10, 10});  // the companion dragged away snaps back
  h.run(2);
  EXPECT_EQ(h.placed(w), (std::vector<int>{13500, 2130, 4930, 6870}));
  EXPECT_EQ(h.form(w).moves(), 3);

  w.ShowState = 2;  // translation switched off: collapsed
  h.run(2);
  EXPECT_EQ(h.placed(w), (std::vector<int>{12750, 750, 1, 1}));
  w.opener();
  EXPECT_EQ(w.ShowState, 1);
  EXPECT_FALSE(w.Stopped());
  h.run(2);
  EXPECT_EQ(h.placed(w), (std::vector<int>{13500, 2130, 4930, 6870}));

  w.stopr();  // stays where it is and stops following
  EXPECT_TRUE(w.Stopped());
  h.desk.set_rect(bob, {0, 0, 600, 400});
  h.run(20);
  EXPECT_EQ(h.placed(w), (std::vector<int>{13500, 2130, 4930, 6870}));

  // A chat that went away: not live. State 0 does not look; the next placed tick closes it.
  w.IsLive = false;
  h.run(20);
  EXPECT_FALSE(w.unloaded());
  w.opener();
  h.run(1);
  EXPECT_TRUE(w.unloaded());
  EXPECT_FALSE(h.desk.exists(companion));
  EXPECT_FALSE(w.TimerPos.enabled() || w.setalwinpre.enabled() || w.setWinpre.enabled());
  EXPECT_EQ(w.hwnd(), 0);
  // The other chat's companion goes on.
  h.desk.set_rect(h.desk.FindWindowA(kHostFrameClass, u"ann - me"), {0, 0, 400, 300});
  h.run(2);
  EXPECT_EQ(h.placed(other), (std::vector<int>{6000, 630, 4930, 3870}));
  // Calls into a closed window do nothing.
  w.pushmsg_to_web(u"hi");
  w.focuswin();
  w.getreg();
  h.run(100);
}

// The user-interface thread never sleeps: the give-back waits on its timer.
TEST(Companion, RaisesOnceAndGivesBackOnceWithoutBlocking) {
  Host h;
  const Hwnd host = h.chat_window(u"bob - me");
  frmChat& w = h.open(u"quillnetbob", host);
  const Hwnd c = w.hwnd();
  w.ShowState = 1;
  h.run(5);
  RecordingBrowser& page = h.page(w);

  struct Step {
    const char* name;
    Hwnd user_activates;  // 0: the user does nothing
    bool foreground_locked;
    std::vector<Hwnd> foreground_calls;
    int bfocus;
  };
  const Hwnd someone_else = h.desk.create_window(u"Notepad", u"notes");
  const Step steps[] = {
      {"host activated: raise once", host, false, {c, c, host}, 0},
      {"nothing changes", 0, false, {}, 0},
      // Give back once (after a wait for the click), then the host is active again: raise.
      {"companion clicked", c, false, {c, host, c, c, host}, 1},
      {"nothing changes again", 0, false, {}, 0},
      {"another program", someone_else, false, {}, 0},
      // Windows refuses the give-back: the companion stays active, with one give-back only.
      {"give-back refused", c, true, {c, host}, 1},
  };
  for (const Step& s : steps) {
    h.desk.set_foreground_lock(s.foreground_locked);
    if (s.user_activates)
      h.desk.activate(s.user_activates);
    h.desk.clear_records();
    page.clear();
    h.run(1000);
    EXPECT_EQ(h.desk.foreground_calls(), s.foreground_calls) << s.name;
    EXPECT_TRUE(h.desk.sleeps().empty()) << s.name;
    EXPECT_EQ(page.lines(), std::vector<Str>(s.bfocus, u"bfocus()")) << s.name;
  }
  EXPECT_TRUE(w.RefocusDone);
  EXPECT_FALSE(w.HostActive);
}

// On a desktop that reports its changes the placement tick rests while nothing changes, and
// any change brings it back within one tick: what it does is the same as when it polls.
TEST(Companion, RestsWhileNothingChangesAndWakesOnAnyChange) {
  Host h;
  h.desk.set_change_watch(true);
  const Hwnd host = h.chat_window(u"bob - me");
  frmChat& w = h.open(u"quillnetbob", host);
  w.ShowState = 1;
  h.run(1000);
  ASSERT_EQ(w.TimerPos.interval(), kRestingInterval);
  const std::size_t resting_tasks = h.clock.pending();

  struct Change {
    const char* name;
    std::function<void()> make;
    std::function<bool()> done;  // within 20 ms of the change
  };
  const Change changes[] = {
      {"host moved",
       [&] {
         h.desk.set_rect(host, {200, 100, 800, 500});
       },
       [&] {
         return h.placed(w) == std::vector<int>{12000, 2130, 4930, 5370};
       }},
      {"host activated", [&] { h.desk.activate(host); },
       [&] { return h.desk.foreground_calls().size() == 3; }},
      {"collapsed by the input item", [&] { w.ShowState = 2, w.wake_placement(); },
       [&] {
         return h.placed(w) == std::vector<int>{11250, 750, 1, 1};
       }},
      {"companion dragged away",
       [&] {
         h.desk.set_rect(w.hwnd(), {0, 0, 1, 1});
       },
       [&] {
         return h.placed(w) == std::vector<int>{11250, 750, 1, 1} && h.form(w).moves() == 4;
       }},
  };
  for (const Change& c : changes) {
    h.desk.clear_records();
    c.make();
    h.run(20);
    EXPECT_TRUE(c.done()) << c.name;
    h.run(1000);
    EXPECT_EQ(w.TimerPos.interval(), kRestingInterval) << c.name;
  }
  EXPECT_LE(h.clock.pending(), resting_tasks);

  // A desktop that cannot tell keeps the tick polling.
  Host polling;
  frmChat& p = polling.open(u"quillnetbob", polling.chat_window(u"bob - me"));
  p.ShowState = 1;
  polling.run(1000);
  EXPECT_EQ(p.TimerPos.interval(), kPlacementInterval);
}

TEST(Companion, SettingsPerChatWinOverTheDefaults) {
  struct Case {
    const char* name;
    std::vector<const char16_t*> chat;    // mainlan, shuangdan, preview ("" = none)
    std::vector<const char16_t*> global;  // configlan, configformat, configpreview
    Str ForeignLan, ShowFormat, PreviewMode;
    bool UseDefaultLan;
  };
  const Case cases[] = {
      {"nothing stored", {u"", u"", u""}, {u"", u"", u""}, u"", u"", u"", true},
      {"defaults",
       {u"", u"", u""},
       {u"en", u"double", u"on"},
       u"english",
       u"Double",
       u"Popen",
       true},
      {"other defaults",
       {u"", u"", u""},
       {u"ja", u"single", u"off"},
       u"japaness",
       u"Single",
       u"Pclose",
       true},
      {"per chat wins",
       {u"ja", u"shuang", u"off"},
       {u"en", u"single", u"on"},
       u"japaness",
       u"Double",
       u"Pclose",
       false},
      {"per chat only",
       {u"en", u"dan", u"on"},
       {u"", u"", u""},
       u"english",
       u"Single",
       u"Popen",
       false},
      {"unknown words block the defaults",
       {u"EN", u"zz", u"yes"},
       {u"en", u"double", u"on"},
       u"",
       u"",
       u"",
       false},
      {"unknown defaults", {u"", u"", u""}, {u"EN", u"Double", u"ON"}, u"", u"", u"", true},
  };
  const Str chat = ChatSection(u"quillnetme", u"cnquorinbob");
  for (const Case& c : cases) {
    Host h;
    const char16_t* chat_keys[] = {kKeyMainLan, kKeyShuangdan, kKeyPreview};
    const char16_t* global_keys[] = {kKeyConfigLan, kKeyConfigFormat, kKeyConfigPreview};
    for (int i = 0; i < 3; ++i) {
      if (*c.chat[i])
        h.ini(chat, chat_keys[i], c.chat[i]);
      if (*c.global[i])
        h.ini(kConfigSection, global_keys[i], c.global[i]);
    }
    h.ini(ChatSection(u"quillnetme", u"cnquorinann"), kKeyMainLan, u"ja");  // not this chat
    frmChat& w = h.open(u"cnquorinbob", h.chat_window(u"bob - me"));
    EXPECT_EQ(w.ChatSection, chat);
    EXPECT_EQ(w.ForeignLan, c.ForeignLan) << c.name;
    EXPECT_EQ(w.ShowFormat, c.ShowFormat) << c.name;
    EXPECT_EQ(w.PreviewMode, c.PreviewMode) << c.name;
    EXPECT_EQ(w.UseDefaultLan, c.UseDefaultLan) << c.name;
  }
}

TEST(Companion, LoadsThePageOfTheLanguageAndAnswersItsCommands) {
  const Str sep(1, kPathSeparator);
  struct Case {
    const char16_t* lan;
    Str folder;  // the page's folder, "" for none
    Str PageLan;
  };
  const Case cases[] = {
      {u"cn", u"IO11", u"chinese"},
      {u"en", u"IOEN", u"english"},
      {nullptr, u"", u""},
      {u"CN", u"", u""},
  };
  for (const Case& c : cases) {
    Host h(c.lan);
    frmChat& w = h.open(u"quillnetbob", h.chat_window(u"bob - me"));
    RecordingBrowser& page = h.page(w);
    const std::string name = c.lan ? to_utf8(c.lan) : "missing";
    EXPECT_EQ(w.PageLan, c.PageLan) << name;
    EXPECT_EQ(w.PreviewToggle, u"true");
    EXPECT_EQ(w.StartFlag, u"false");
    EXPECT_TRUE(w.IsLive);
    if (c.folder.empty()) {
      EXPECT_TRUE(page.navigations().empty()) << name;
      EXPECT_EQ(w.page_url(), u"") << name;
      // Whatever navigates, no page of ours reports ready.
      page.navigate(u"file:///IO.htm#WebOk%60");
      EXPECT_FALSE(w.ShowOn) << name;
      continue;
    }
    const Str path = h.plugin_folder + sep + c.folder + sep + u"IO.htm";
    EXPECT_EQ(page.navigations(), std::vector<Str>{path}) << name;
    EXPECT_EQ(w.page_url(), RecordingBrowser::file_url(path)) << name;
  }

  // The command channel: only our page's own fragment navigations with a backtick, and only
  // the exact words.
  Host h;
  h.ini(kConfigSection, kKeyConfigFormat, u"double");
  frmChat& w = h.open(u"quillnetbob", h.chat_window(u"bob - me"));
  RecordingBrowser& page = h.page(w);
  const Str own = w.page_url();
  struct Nav {
    Str url;
    bool ready;
  };
  const Nav navs[] = {
      {own + u"#", false},
      {own + u"#WebOk", false},
      {u"http://127.0.0.1:8080/IO.htm#WebOk%60", false},
      {u"file:///tmp/other/IO.htm#WebOk%60", false},
      {own + u"#webok%60", false},
      {own + u"#WebOk%20%60", false},
      {own + u"#WebOkay%60", false},
      {own + u"#WebOk%60", true},
  };
  for (const Nav& n : navs) {
    w.ShowOn = false;
    page.clear();
    page.navigate(n.url);
    EXPECT_EQ(w.ShowOn, n.ready) << to_utf8(n.url);
    EXPECT_EQ(page.lines().size(), n.ready ? 1u : 0u) << to_utf8(n.url);
    EXPECT_EQ(w.ShowState, 0);
  }
  EXPECT_EQ(page.lines(), std::vector<Str>{u"init_web('false','','Double','','')"});
}

TEST(Companion, ScriptLinesCarryEveryTextSafely) {
  Host h;
  h.ini(kConfigSection, kKeyConfigLan, u"ja");
  h.ini(kConfigSection, kKeyConfigFormat, u"double");
  h.ini(kConfigSection, kKeyConfigPreview, u"on");
  frmChat& w = h.open(u"quillnetbob", h.chat_window(u"bob - me"));
  RecordingBrowser& page = h.page(w);
  page.navigate(w.page_url() + u"#WebOk%60");
  w.pushmsg_to_web(u"it's ok?\r\n[ c'est bon ][9kovera]cnquorinbob");
  w.pushmsg_to_web(u"plain%20text\r\n  its translation  \r\nquillnetann");
  w.pushmsg_to_web(u"short");
  w.send_to_web(u"what's \"up\"?", u"[ hello ]", u"quillnetme");
  // Hostile texts from a contact and from the server stay inside their arguments.
  w.pushmsg_to_web(u"x\\\r\n[ a\u2028b\");trap();// ][9kovera]cnquorinbob'</script>");
  w.send_to_web(u"\\", u"';trap();'\r\nz", u"me\\");
  w.web_set_foucs();
  const std::vector<Str> expected = {
      u"init_web('false','Popen','Double','','japaness')",
      u"PushMsg('it9kosys ok\uFF1F',' c9kosyest bon ','false','Pclose','Double','bob','true')",
      u"PushMsg('plain text','its translation','false','Pclose','Double','ann','true')",
      u"PushMsg('short','','false','Pclose','Double','','true')",
      u"PushMsg('what9kosys 9kodyup9kody\uFF1F','hello','true','Popen','Double','me','true')",
      u"PushMsg('x\\\\',' a\\u2028b9kody);trap();// ','false','Pclose','Double',"
      u"'bob\\'\\x3C/script>','true')",
      u"PushMsg('\\\\','9kosy;trap();9kosy\\r\\nz','true','Popen','Double','me\\\\','true')",
      u"bfocus()",
  };
  EXPECT_EQ(page.lines(), expected);

  // focuswin clicks into the companion (the browser takes the focus) and focuses the input;
  // the coordinator's set_foucs does the latter once, 50 ms later.
  page.clear();
  w.focuswin();
  w.set_foucs.set_enabled(true);
  h.run(49);
  EXPECT_EQ(page.focuses(), 1);
  EXPECT_EQ(page.lines().size(), 1u);
  h.run(200);
  EXPECT_EQ(page.lines(), std::vector<Str>(2, u"bfocus()"));
  EXPECT_FALSE(w.set_foucs.enabled());

  // A page without a document takes nothing and breaks nothing.
  page.clear();
  page.set_document(false);
  w.InitWeb();
  w.pushmsg_to_web(u"a\r\n[b][9kovera]c");
  w.web_set_foucs();
  EXPECT_TRUE(page.lines().empty());
  EXPECT_EQ(page.failed_scripts(), 3);
}

TEST(Companion, SendPressesOnlyTheOwnChatsButton) {
  struct Case {
    const char* name;
    const char16_t* send_title;  // our window's button
    bool own_button;             // our window has its Send button as a child
    bool twin_frame;             // another top-level frame with our title has one
    bool host_gone;
    int own_clicks, twin_clicks;
  };
  const Case cases[] = {
      {"Chinese host", kSendChinese, true, false, false, 1, 0},
      {"English host", kSendEnglish, true, false, false, 1, 0},
      {"button in the frame titled like ours", kSendChinese, false, true, false, 0, 1},
      {"no button at all", kSendChinese, false, false, false, 0, 0},
      {"host closed", kSendChinese, true, false, true, 0, 0},
  };
  for (const Case& c : cases) {
    Host h;
    const Hwnd ours = h.desk.create_window(kHostFrameClass, u"bob - me");
    const Hwnd our_button =
        c.own_button ? h.desk.create_window(kHostButtonClass, c.send_title, ours) : 0;
    const Hwnd twin = h.desk.create_window(kHostFrameClass, u"bob - me");
    const Hwnd twin_button =
        c.twin_frame ? h.desk.create_window(kHostButtonClass, kSendChinese, twin) : 0;
    frmChat& w = h.open(u"quillnetbob", ours);
    // Another chat, in front of ours, with a draft of its own.
    const Hwnd ann = h.chat_window(u"ann - me");
    frmChat& other = h.open(u"quillnetann", ann);
    h.desk.activate(ann);
    if (c.host_gone)
      h.desk.destroy_window(ours);
    w.getreg();
    h.run(1);
    auto clicks = [&](Hwnd b) { return h.desk.exists(b) ? h.desk.window(b)->clicks : 0; };
    EXPECT_EQ(clicks(our_button), c.own_clicks) << c.name;
    EXPECT_EQ(clicks(twin_button), c.twin_clicks) << c.name;
    EXPECT_EQ(clicks(h.send_button(ann)), 0) << c.name;
    if (our_button && !c.host_gone) {
      EXPECT_EQ(h.desk.received(our_button),
                (std::vector<SimMessage>{{kWmLButtonDown, 0, kClickAt2x2},
                                         {kWmLButtonUp, 0, kClickAt2x2}}));
    }
    other.getreg();
    h.run(1);
    EXPECT_EQ(clicks(h.send_button(ann)), 1) << c.name;
  }
  // Without a host window there is nothing to press.
  Host h;
  const Hwnd ann = h.chat_window(u"ann - me");
  frmChat& w = h.open(u"quillnetbob", 0);
  w.getreg();
  h.run(1);
  EXPECT_EQ(h.desk.window(h.send_button(ann))->clicks, 0);
}

}  // namespace
}  // namespace brevant
