// Companion windows on real user32 windows, beside stand-in host chat windows: the docked,
// moved and collapsed rectangles, the plain tool window without owner, the page loaded in the
// WebBrowser control, the page's commands and script lines through a stand-in control, the
// Send button of each companion's own chat, and unloading.

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chatwin/frm_chat.h"
#include "host_windows.h"
#include "platform/failure.h"
#include "platform/services.h"
#include "platform/win32/win32_module.h"
#include "plugin/module.h"
#include "stand_in_browser.h"

namespace brevant {
namespace {

using wine::Clicks;
using wine::DocumentAnswer;
using wine::HostChatWindow;
using wine::StandInControls;

// With a space: the control reports such a page in more than one spelling.
std::wstring temp_folder() {
  wchar_t buffer[MAX_PATH];
  GetTempPathW(MAX_PATH, buffer);
  std::wstring folder = buffer;
  folder += L"brevant chatwin-" + std::to_wstring(GetCurrentProcessId());
  return folder;
}

BOOL CALLBACK count_dialog(HWND wnd, LPARAM counter) {
  wchar_t cls[16] = {};
  GetClassNameW(wnd, cls, 16);
  if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(wnd))
    ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

// Message boxes or dialogs this thread shows.
int dialogs_shown() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), count_dialog, reinterpret_cast<LPARAM>(&count));
  return count;
}

void write_file(const std::wstring& path, const char* text) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(f, text, static_cast<DWORD>(lstrlenA(text)), &written, nullptr);
  CloseHandle(f);
}

HWND loop_window() {
  return FindWindowExW(HWND_MESSAGE, nullptr, L"brevant.EventLoop", nullptr);
}

class Companion : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = temp_folder();
    CreateDirectoryW(folder_.c_str(), nullptr);
    CreateDirectoryW((folder_ + L"\\IO11").c_str(), nullptr);
    write_file(folder_ + L"\\configUIN.ini", "[config]\r\nlan=cn\r\n");
    write_file(folder_ + L"\\IO11\\IO.htm", "<html><body>page</body></html>");
    baseline_ = live_platform_objects();
    module_ = std::make_unique<Module>(
        make_platform_services(Str(reinterpret_cast<const char16_t*>(folder_.c_str()))));
  }
  void TearDown() override {
    module_.reset();
    DeleteFileW((folder_ + L"\\IO11\\IO.htm").c_str());
    DeleteFileW((folder_ + L"\\configUIN.ini").c_str());
    RemoveDirectoryW((folder_ + L"\\IO11").c_str());
    RemoveDirectoryW(folder_.c_str());
  }

  // A companion for `host`, created the way the chat input item does it, and shown.
  frmChat& open(const HostChatWindow& host, const char16_t* contact) {
    frmChat& w =
        *module_->companions().at(module_->companions().add(std::make_unique<frmChat>(*module_)));
    w.HostWnd = w.HostTopWnd = to_hwnd_id(host.frame());
    w.ContactId = contact;
    w.frminit();
    ShowWindow(to_hwnd(w.hwnd()), SW_SHOWNOACTIVATE);
    w.ShowState = 1;
    return w;
  }

  bool run_until(const std::function<bool()>& done) {
    return module_->loop().run_until(done, std::chrono::milliseconds(3000));
  }

  // The companion's rectangle once it has settled there, or what it ended at.
  RECT settles_at(frmChat& w, RECT want) {
    RECT got{};
    run_until([&] {
      GetWindowRect(to_hwnd(w.hwnd()), &got);
      return EqualRect(&got, &want) != FALSE;
    });
    return got;
  }

  std::wstring folder_;
  int baseline_ = 0;
  std::unique_ptr<Module> module_;
};

::testing::AssertionResult same(const RECT& got, const RECT& want) {
  if (EqualRect(&got, &want))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "{" << got.left << ", " << got.top << ", " << got.right << ", " << got.bottom
         << "} instead of {" << want.left << ", " << want.top << ", " << want.right << ", "
         << want.bottom << "}";
}

TEST_F(Companion, DocksBesideItsHostFollowsItCollapsesAndUnloads) {
  HostChatWindow host(L"alice - me", L"发送", {100, 50, 700, 450});
  frmChat& w = open(host, u"cnquorinalice");
  const HWND self = to_hwnd(w.hwnd());
  ASSERT_NE(self, nullptr);
  EXPECT_GT(live_platform_objects(), baseline_);

  // A plain tool window, owned by nobody.
  EXPECT_EQ(GetWindowLongW(self, GWL_EXSTYLE), 0x80);
  EXPECT_EQ(GetWindow(self, GW_OWNER), nullptr);
  EXPECT_EQ(GetAncestor(self, GA_ROOT), self);

  // The page of "lan" = "cn", loaded into the WebBrowser control in the form.
  EXPECT_EQ(w.PageLan, u"chinese");
  EXPECT_EQ(w.page_url().rfind(u"file:///", 0), 0u);
  EXPECT_NE(w.page_url().find(u"/IO11/IO.htm"), Str::npos);
  EXPECT_NE(FindWindowExW(self, nullptr, L"Shell Embedding", nullptr), nullptr);
  // Without an HTML engine the page never reports ready; nothing is pushed into it.
  EXPECT_FALSE(w.ShowOn);

  // Twips to pixels by the screen's factors: 630 twips below the top, 4930 wide.
  const int tx = module_->desktop().TwipsPerPixelX(), ty = module_->desktop().TwipsPerPixelY();
  const auto px = [](int twips, int factor) { return MulDiv(twips, 1, factor); };
  const auto docked = [&](RECT h) {
    const int top = px(h.top * ty + 630, ty);
    return RECT{h.right, top, h.right + px(4930, tx), top + px((h.bottom - h.top) * ty - 630, ty)};
  };
  EXPECT_TRUE(same(settles_at(w, docked({100, 50, 700, 450})), docked({100, 50, 700, 450})));

  MoveWindow(host.frame(), 200, 100, 500, 300, FALSE);
  EXPECT_TRUE(same(settles_at(w, docked({200, 100, 700, 400})), docked({200, 100, 700, 400})));

  // Collapsed: one pixel, 50 pixels left of the host's right edge and above its top.
  w.ShowState = 2;
  EXPECT_TRUE(same(settles_at(w, {650, 50, 651, 51}), {650, 50, 651, 51}));
  w.ShowState = 1;
  EXPECT_TRUE(same(settles_at(w, docked({200, 100, 700, 400})), docked({200, 100, 700, 400})));

  // The companion in the foreground hands it back to the host chat.
  SetForegroundWindow(self);
  EXPECT_TRUE(run_until([&] { return GetForegroundWindow() == host.frame(); }));

  // The input item's way out: not live, then closed by the next tick; its timers end with it.
  w.IsLive = false;
  EXPECT_TRUE(run_until([&] { return !IsWindow(self); }));
  EXPECT_TRUE(w.unloaded());
  EXPECT_EQ(w.hwnd(), 0);
  EXPECT_FALSE(w.TimerPos.enabled());
  wine::pump_messages();
  EXPECT_EQ(loop_window(), nullptr) << "a timer of the unloaded window is still pending";
  EXPECT_EQ(live_platform_objects(), baseline_);
}

// Closed from outside (WM_CLOSE): the input item's way out, at once for the router and by the
// next tick for the companion, which then holds nothing of the platform any more.
TEST_F(Companion, ClosedFromOutsideUnloads) {
  HostChatWindow host(L"bob - me", L"发送", {100, 50, 700, 450});
  frmChat& w = open(host, u"cnquorinbob");
  const HWND self = to_hwnd(w.hwnd());
  w.ShowOn = true;  // as if its page had reported ready
  SendMessageW(self, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(self));
  EXPECT_EQ(module_->companions().live_of_contact(u"cnquorinbob"), nullptr);
  EXPECT_TRUE(run_until([&] { return w.unloaded(); }));
  EXPECT_FALSE(w.IsLive);
  EXPECT_FALSE(w.ShowOn);
  wine::pump_messages();
  EXPECT_EQ(loop_window(), nullptr);
  EXPECT_EQ(live_platform_objects(), baseline_);
}

// The page's side through a stand-in control: command URLs in each spelling the control reports
// reach the companion's handler, its script lines arrive exactly as built, and a document or
// script that fails costs nothing but that line.
TEST_F(Companion, TalksToItsPageThroughTheBrowserControl) {
  StandInControls controls;
  ASSERT_TRUE(controls.registered());
  HostChatWindow host(L"alice - me", L"\u53D1\u9001", {100, 50, 700, 450});
  frmChat& w = open(host, u"cnquorinalice");
  wine::StandInRecord* control = controls.in(to_hwnd(w.hwnd()));
  ASSERT_NE(control, nullptr) << "the companion made no stand-in control";
  ASSERT_EQ(control->navigations.size(), 1u);
  const std::wstring page = control->navigations[0];
  EXPECT_EQ(Str(page.begin(), page.end()), w.page_url());
  const std::wstring path = control->page_path();
  ASSERT_NE(path.find(L"\\IO11\\IO.htm"), std::wstring::npos);

  const auto navigate = [&](std::wstring url) {
    return [&, url] { EXPECT_TRUE(control->before_navigate(url)); };
  };
  const std::wstring init = L"init_web('false','','','','')";
  struct Step {
    const char* what;
    std::function<void()> act;
    DocumentAnswer document;
    HRESULT script;
    std::vector<std::wstring> want;  // script lines that reach the window
    bool fails;                      // a step is skipped, silently
  };
  const Step steps[] = {
      {"another page's command",
       navigate(L"file:///C:/elsewhere/IO.htm#WebOk`"),
       DocumentAnswer::kPage,
       S_OK,
       {},
       false},
      {"no command word", navigate(page + L"#WebOk"), DocumentAnswer::kPage, S_OK, {}, false},
      {"WebOk by the page's URL",
       navigate(page + L"#WebOk`"),
       DocumentAnswer::kPage,
       S_OK,
       {init},
       false},
      {"WebOk by the page's path",
       navigate(path + L"#WebOk`"),
       DocumentAnswer::kPage,
       S_OK,
       {init},
       false},
      {"WebOk escaped",
       navigate(page + L"#%57ebOk%60"),
       DocumentAnswer::kPage,
       S_OK,
       {init},
       false},
      {"an incoming message",
       [&] { w.push_incoming(u"\u4F60\u597D 'a' <b>", u"[Hello]", u"cnquorinbob"); },
       DocumentAnswer::kPage,
       S_OK,
       {L"PushMsg('\u4F60\u597D 9kosya9kosy \\x3Cb>','Hello','false','Pclose','','bob','true')"},
       false},
      {"focus", [&] { w.web_set_foucs(); }, DocumentAnswer::kPage, S_OK, {L"bfocus()"}, false},
      {"no document", [&] { w.web_set_foucs(); }, DocumentAnswer::kNull, S_OK, {}, true},
      {"the document fails", navigate(path + L"#WebOk`"), DocumentAnswer::kFails, S_OK, {}, true},
      {"its window fails",
       [&] { w.web_set_foucs(); },
       DocumentAnswer::kWindowFails,
       S_OK,
       {},
       true},
      {"the script fails",
       [&] { w.web_set_foucs(); },
       DocumentAnswer::kPage,
       E_FAIL,
       {L"bfocus()"},
       true},
      {"the page again", navigate(path + L"#WebOk`"), DocumentAnswer::kPage, S_OK, {init}, false},
  };
  for (const Step& s : steps) {
    control->scripts.clear();
    control->document = s.document;
    control->script_result = s.script;
    const auto skipped = skipped_failures("page script");
    s.act();
    std::vector<std::wstring> got;
    for (const auto& call : control->scripts) {
      got.push_back(call.code);
      EXPECT_EQ(call.language, L"JAVAscript") << s.what;
    }
    EXPECT_EQ(got, s.want) << s.what;
    EXPECT_EQ(skipped_failures("page script") > skipped, s.fails) << s.what;
    EXPECT_EQ(dialogs_shown(), 0) << s.what;
  }
  EXPECT_TRUE(w.ShowOn);

  // Closing lets go of every object of the control.
  w.IsLive = false;
  EXPECT_TRUE(run_until([&] { return w.unloaded() && w.hwnd() == 0; }));
  wine::pump_messages();
  EXPECT_TRUE(control->closed);
  EXPECT_FALSE(control->site) << "the control still holds its container";
  EXPECT_FALSE(control->sink) << "the events are still advised";
  EXPECT_EQ(StandInControls::live(), 0);
  EXPECT_EQ(live_platform_objects(), baseline_);
}

TEST_F(Companion, PressesSendInItsOwnChatOnly) {
  // The later window lies on top: the system lists it first among the host's chat windows.
  HostChatWindow alice(L"alice - me", L"发送", {100, 50, 700, 450});
  HostChatWindow bob(L"bob - me", L"发送", {150, 80, 750, 480});
  HostChatWindow carol(L"carol - me", L"Send", {200, 90, 800, 490});
  HostChatWindow dave(L"dave - me", L"", {250, 100, 850, 500});
  frmChat& to_alice = open(alice, u"cnquorinalice");
  frmChat& to_bob = open(bob, u"cnquorinbob");
  frmChat& to_carol = open(carol, u"cnquorincarol");
  frmChat& to_dave = open(dave, u"cnquorindave");
  frmChat& to_nobody = open(alice, u"cnquorinerin");
  to_nobody.HostWnd = 0;
  const HostChatWindow* hosts[] = {&alice, &bob, &carol, &dave};

  struct Press {
    const char* what;
    frmChat& companion;
    Clicks want[4];  // alice, bob, carol, dave
  };
  const Press presses[] = {
      {"the first of two Chinese chats", to_alice, {{1, 1}, {}, {}, {}}},
      {"the second of two Chinese chats", to_bob, {{}, {1, 1}, {}, {}}},
      {"an English host", to_carol, {{}, {}, {1, 1}, {}}},
      {"a chat without Send button", to_dave, {{}, {}, {}, {}}},
      {"no host window", to_nobody, {{}, {}, {}, {}}},
  };
  Clicks before[4];
  for (const auto& p : presses) {
    for (int i = 0; i < 4; ++i)
      before[i] = hosts[i]->button_clicks();
    p.companion.getreg();
    wine::pump_messages();
    for (int i = 0; i < 4; ++i) {
      const Clicks now = hosts[i]->button_clicks();
      EXPECT_EQ(now.down - before[i].down, p.want[i].down) << p.what << ", host " << i;
      EXPECT_EQ(now.up - before[i].up, p.want[i].up) << p.what << ", host " << i;
    }
  }

  for (std::int32_t i = 1; i <= module_->companions().count(); ++i)
    module_->ChatWin(i)->unload();
  wine::pump_messages();
  EXPECT_EQ(loop_window(), nullptr);
  EXPECT_EQ(live_platform_objects(), baseline_);
}

}  // namespace
}  // namespace brevant
