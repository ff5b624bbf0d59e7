// Companion windows on real user32 windows, beside stand-in host chat windows: the docked,
// moved and collapsed rectangles, the plain tool window without owner, the page loaded in the
// WebBrowser control, the Send button of each companion's own chat, and unloading.

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chatwin/frm_chat.h"
#include "host_windows.h"
#include "platform/services.h"
#include "platform/win32/win32_module.h"
#include "plugin/module.h"

namespace brevant {
namespace {

using wine::Clicks;
using wine::HostChatWindow;

std::wstring temp_folder() {
  wchar_t buffer[MAX_PATH];
  GetTempPathW(MAX_PATH, buffer);
  std::wstring folder = buffer;
  folder += L"brevant-chatwin-" + std::to_wstring(GetCurrentProcessId());
  return folder;
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
    ++module_->ChatWinCount;
    module_->ChatWins.push_back(std::make_unique<frmChat>(*module_));
    frmChat& w = *module_->ChatWins.back();
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

  for (auto& w : module_->ChatWins)
    w->unload();
  wine::pump_messages();
  EXPECT_EQ(loop_window(), nullptr);
  EXPECT_EQ(live_platform_objects(), baseline_);
}

}  // namespace
}  // namespace brevant
