// The Windows desktop on real user32 windows: lookups by class and Unicode title on a Western
// code page, owners and extended styles, posted clicks, the companion form's geometry in twips,
// the hosted WebBrowser control, and the live count that keeps the DLL loaded.

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <optional>
#include <vector>

#include "host_windows.h"
#include "platform/browser.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_event_loop.h"
#include "platform/win32/win32_module.h"

namespace brevant {
namespace {

using wine::HostChatWindow;

Hwnd id(HWND h) {
  return to_hwnd_id(h);
}

TEST(Win32Desktop, FindsHostWindowsByUnicodeTitleOnAnyCodePage) {
  // The ctest entry runs on a Western code page, where an ANSI lookup of "发送" finds nothing.
  EXPECT_NE(GetACP(), 936u);
  HostChatWindow chinese(L"alice - me", L"发送", {100, 50, 700, 450});
  HostChatWindow english(L"bob - me", L"Send", {200, 60, 500, 360});
  auto desktop = make_win32_desktop();
  const Hwnd cn = id(chinese.frame()), en = id(english.frame());
  ASSERT_NE(cn, 0);
  ASSERT_NE(en, 0);

  struct Lookup {
    const char* what;
    Hwnd parent;
    std::optional<Str> cls, title;
    Hwnd want;
  };
  const std::vector<Lookup> lookups = {
      {"frame by title", 0, u"StandardFrame", u"bob - me", en},
      {"Chinese button", cn, u"StandardButton", u"发送", id(chinese.button())},
      {"button of any title", en, u"StandardButton", std::nullopt, id(english.button())},
      {"no Chinese button in the English chat", en, u"StandardButton", u"发送", 0},
      {"no English button in the Chinese chat", cn, u"StandardButton", u"Send", 0},
      {"title only", 0, std::nullopt, u"alice - me", cn},
      {"unknown title", 0, u"StandardFrame", u"carol - me", 0},
  };
  for (const auto& l : lookups) {
    const std::optional<StrView> cls = l.cls ? std::optional<StrView>(*l.cls) : std::nullopt;
    const std::optional<StrView> title = l.title ? std::optional<StrView>(*l.title) : std::nullopt;
    const Hwnd got = l.parent == 0 ? desktop->FindWindowA(cls, title)
                                   : desktop->FindWindowExA(l.parent, 0, cls, title);
    EXPECT_EQ(got, l.want) << l.what;
  }
  EXPECT_NE(desktop->FindWindowA(u"StandardFrame", std::nullopt), 0);

  EXPECT_EQ(desktop->GetWindowTextA(id(chinese.button()), 800), u"发送");
  EXPECT_EQ(desktop->GetWindowTextA(cn, 4), u"ali");  // a buffer of 4 holds 3 characters
  EXPECT_EQ(desktop->GetWindowTextA(0, 800), u"");
  EXPECT_EQ(desktop->GetParent(id(chinese.button())), cn);

  Rect r;
  ASSERT_TRUE(desktop->GetWindowRect(cn, r));
  EXPECT_EQ(r, (Rect{100, 50, 700, 450}));
  r = Rect{1, 2, 3, 4};
  EXPECT_FALSE(desktop->GetWindowRect(0, r));
  EXPECT_EQ(r, (Rect{1, 2, 3, 4}));

  // The click lands on the button only after the caller returns to the message loop.
  ASSERT_TRUE(desktop->PostMessageA(id(english.button()), kWmLButtonDown, 0, kClickAt2x2));
  ASSERT_TRUE(desktop->PostMessageA(id(english.button()), kWmLButtonUp, 0, kClickAt2x2));
  EXPECT_EQ(english.button_clicks(), (wine::Clicks{0, 0}));
  wine::pump_messages();
  EXPECT_EQ(english.button_clicks(), (wine::Clicks{1, 1}));
  EXPECT_EQ(chinese.button_clicks(), (wine::Clicks{0, 0}));

  EXPECT_TRUE(desktop->SetForegroundWindow(en));
  EXPECT_EQ(desktop->GetForegroundWindow(), en);

  HDC screen = GetDC(nullptr);
  EXPECT_EQ(desktop->TwipsPerPixelX(), 1440 / GetDeviceCaps(screen, LOGPIXELSX));
  EXPECT_EQ(desktop->TwipsPerPixelY(), 1440 / GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
}

TEST(Win32Desktop, CompanionFormIsAToolWindowPlacedInTwipsHostingTheBrowser) {
  HostChatWindow host(L"alice - me", L"发送", {100, 50, 700, 450});
  auto desktop = make_win32_desktop();
  const int baseline = live_platform_objects();
  auto form = desktop->create_form();
  const HWND hwnd = to_hwnd(form->hwnd());
  ASSERT_NE(hwnd, nullptr);
  EXPECT_GT(live_platform_objects(), baseline);
  EXPECT_EQ(GetWindowLongW(hwnd, GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | WS_EX_APPWINDOW),
            WS_EX_TOOLWINDOW);

  // The owner is pointer-sized on x64; the previous owner comes back from each change.
  const Hwnd me = form->hwnd(), owner = id(host.frame());
  EXPECT_EQ(desktop->SetWindowLongA(me, kGwlHwndParent, owner), 0);
  EXPECT_EQ(GetWindow(hwnd, GW_OWNER), host.frame());
  EXPECT_EQ(desktop->SetWindowLongA(me, kGwlHwndParent, 0), owner);
  EXPECT_EQ(GetWindow(hwnd, GW_OWNER), nullptr);

  const int tx = desktop->TwipsPerPixelX(), ty = desktop->TwipsPerPixelY();
  struct Placement {
    int left, top, width, height;  // twips
    RECT want;                     // pixels
  };
  const std::vector<Placement> placements = {
      {700 * tx, 92 * ty, 328 * tx, 358 * ty, {700, 92, 1028, 450}},
      {(700 - 50) * tx, (50 - 50) * ty, 1, 1, {650, 0, 651, 1}},  // under a pixel: one pixel
      {10 * tx, -20 * ty, 40 * tx, 0, {10, -20, 50, -20}},        // zero stays zero
  };
  for (const auto& p : placements) {
    form->move(p.left, p.top, p.width, p.height);
    RECT got;
    ASSERT_TRUE(GetWindowRect(hwnd, &got));
    EXPECT_EQ(got.left, p.want.left);
    EXPECT_EQ(got.top, p.want.top);
    EXPECT_EQ(got.right, p.want.right);
    EXPECT_EQ(got.bottom, p.want.bottom);
    EXPECT_EQ(form->left(), p.left);
    EXPECT_EQ(form->height(), p.height);
  }

  // The WebBrowser control sits in the form, filling it, and reports navigation to the page.
  form->move(0, 0, 300 * tx, 200 * ty);
  form->refit_browser();
  const HWND control = FindWindowExW(hwnd, nullptr, L"Shell Embedding", nullptr);
  ASSERT_NE(control, nullptr) << "the WebBrowser control is not in the form";
  RECT inner;
  GetWindowRect(control, &inner);
  EXPECT_EQ(inner.right - inner.left, 300);
  EXPECT_EQ(inner.bottom - inner.top, 200);

  wchar_t page[MAX_PATH];
  GetTempPathW(MAX_PATH, page);
  lstrcatW(page, L"brevant page test.htm");
  std::vector<Str> navigations;
  form->browser().on_before_navigate([&](const Str& url) { navigations.push_back(url); });
  const Str url = form->browser().navigate_file(reinterpret_cast<const char16_t*>(page));
  EXPECT_EQ(url.rfind(u"file:///", 0), 0u);
  EXPECT_NE(url.find(u"brevant%20page%20test.htm"), Str::npos);
  Win32EventLoop loop;
  loop.run_until([&] { return !navigations.empty(); }, std::chrono::milliseconds(3000));
  ASSERT_FALSE(navigations.empty()) << "no before-navigate event";
  EXPECT_EQ(navigations.front(), url);
  // Wine's control has no document (no HTML engine): a script call fails and says so.
  EXPECT_ANY_THROW(form->browser().exec_script(u"bfocus()"));
  form->browser().focus();

  form->close();
  EXPECT_TRUE(form->closed());
  EXPECT_FALSE(IsWindow(hwnd));
  form->close();
  form->move(0, 0, 15, 15);
  wine::pump_messages();
  EXPECT_EQ(live_platform_objects(), baseline);
}

TEST(Win32EventLoop, HidesItsWindowOnlyWhileWorkIsPending) {
  const auto loop_window = [] {
    return FindWindowExW(HWND_MESSAGE, nullptr, L"brevant.EventLoop", nullptr);
  };
  const int baseline = live_platform_objects();
  Win32EventLoop loop;
  EXPECT_EQ(loop_window(), nullptr);
  int ran = 0;
  const auto cancelled = loop.call_later(std::chrono::milliseconds(10000), [&] { ran += 100; });
  EXPECT_NE(loop_window(), nullptr);
  EXPECT_EQ(live_platform_objects(), baseline + 1);
  loop.cancel(cancelled);
  EXPECT_EQ(loop_window(), nullptr);
  EXPECT_EQ(live_platform_objects(), baseline);

  loop.call_later(std::chrono::milliseconds(20), [&] {
    ++ran;
    loop.post([&] { ++ran; });  // work queued from work keeps the window
  });
  EXPECT_TRUE(loop.run_until([&] { return ran == 2; }, std::chrono::milliseconds(3000)));
  wine::pump_messages();
  EXPECT_EQ(loop_window(), nullptr);
  EXPECT_EQ(live_platform_objects(), baseline);
}

}  // namespace
}  // namespace brevant
