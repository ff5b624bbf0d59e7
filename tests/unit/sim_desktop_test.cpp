#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/virtual_clock.h"

namespace brevant {
namespace {

// The user32 behaviour the companion and the Linux registry rely on, in one run.
TEST(SimDesktop, BehavesLikeUser32) {
  VirtualClock clock;
  SimDesktop d(clock);
  const Hwnd a = d.create_window(u"StandardFrame", u"bob - me", 0, {100, 50, 700, 450});
  const Hwnd b = d.create_window(u"StandardFrame", u"ann - me");
  const Hwnd a_send = d.create_window(u"StandardButton", u"发送", a);
  const Hwnd a_other = d.create_window(u"StandardButton", u"发送", a);
  const Hwnd inner = d.create_window(u"Edit", u"", a_send);

  // Newest top-level window first; activation brings a window's top-level window to the front.
  EXPECT_EQ(d.FindWindowA(u"StandardFrame", std::nullopt), b);
  EXPECT_EQ(d.FindWindowA(u"StandardFrame", u"bob - me"), a);
  EXPECT_EQ(d.FindWindowA(u"StandardFrame", u"Bob - me"), 0);
  d.activate(inner);
  EXPECT_EQ(d.FindWindowA(u"StandardFrame", std::nullopt), a);
  EXPECT_EQ(d.GetForegroundWindow(), inner);
  EXPECT_TRUE(d.foreground_calls().empty());

  EXPECT_EQ(d.FindWindowExA(a, 0, u"StandardButton", u"发送"), a_send);
  EXPECT_EQ(d.FindWindowExA(a, a_send, u"StandardButton", u"发送"), a_other);
  EXPECT_EQ(d.FindWindowExA(a, a_other, u"StandardButton", std::nullopt), 0);
  EXPECT_EQ(d.FindWindowExA(b, 0, u"StandardButton", std::nullopt), 0);
  EXPECT_EQ(d.GetParent(d.GetParent(inner)), a);
  EXPECT_EQ(d.GetWindowTextA(a, 4), u"bob");
  EXPECT_EQ(d.GetWindowTextA(a, 0), u"");

  // Window longs return the previous value; the owner is what GetParent reports.
  EXPECT_EQ(d.SetWindowLongA(b, kGwlHwndParent, a), 0);
  EXPECT_EQ(d.SetWindowLongA(b, kGwlHwndParent, 0), a);
  EXPECT_EQ(d.SetWindowLongA(b, kGwlExStyle, 0x40080), 0);
  EXPECT_EQ(d.SetWindowLongA(b, kGwlExStyle, kWsExToolWindow), 0x40080);
  EXPECT_EQ(d.GetWindowLongA(b, kGwlExStyle), kWsExToolWindow);

  // Posted messages arrive through the loop, after the caller returns.
  EXPECT_TRUE(d.PostMessageA(a_send, kWmLButtonDown, 0, kClickAt2x2));
  EXPECT_TRUE(d.PostMessageA(a_send, kWmLButtonUp, 0, kClickAt2x2));
  EXPECT_EQ(d.window(a_send)->clicks, 0);
  clock.run_due();
  EXPECT_EQ(d.window(a_send)->clicks, 1);
  EXPECT_EQ(d.received(a_send).back(), (SimMessage{kWmLButtonUp, 0, kClickAt2x2}));

  // A queued message to a window destroyed meanwhile reaches nobody; a destroyed window's
  // children go with it and the foreground goes to nobody.
  EXPECT_TRUE(d.PostMessageA(a_other, kWmLButtonDown, 0, 0));
  d.destroy_window(a);
  clock.run_due();
  EXPECT_FALSE(d.exists(a_other) || d.exists(inner));
  EXPECT_EQ(d.GetForegroundWindow(), 0);
  Rect r{1, 2, 3, 4};
  EXPECT_FALSE(d.GetWindowRect(a, r));
  EXPECT_EQ(r, (Rect{1, 2, 3, 4}));
  EXPECT_FALSE(d.PostMessageA(a, kWmLButtonDown, 0, 0));
  EXPECT_FALSE(d.SetForegroundWindow(a));
}

TEST(SimDesktop, FormsPlaceInTwipsAndReportFileUrls) {
  VirtualClock clock;
  SimDesktop d(clock, 15, 12);
  auto form = d.create_form();
  const Hwnd h = form->hwnd();
  ASSERT_EQ(d.form(h), form.get());
  EXPECT_EQ(d.window(h)->class_name, kSimFormClass);
  EXPECT_FALSE(d.window(h)->visible);

  struct Case {
    int left, top, width, height;
    Rect pixels;
  };
  const Case cases[] = {
      {10500, 1380, 4930, 5370, {700, 115, 1029, 563}},
      {10500, 1380, 4920, 0, {700, 115, 1028, 115}},
      {9750, 0, 1, 1, {650, 0, 651, 1}},  // under one pixel: one pixel
      {-150, -120, 15, 12, {-10, -10, -9, -9}},
  };
  for (const Case& c : cases) {
    form->move(c.left, c.top, c.width, c.height);
    Rect r;
    ASSERT_TRUE(d.GetWindowRect(h, r));
    EXPECT_EQ(r, c.pixels) << c.left << "," << c.top;
    EXPECT_EQ(form->width(), c.width);
  }

  EXPECT_EQ(RecordingBrowser::file_url(u"C:\\Program Files\\IO11\\IO.htm"),
            u"file:///C:/Program%20Files/IO11/IO.htm");
  EXPECT_EQ(RecordingBrowser::file_url(u"/opt/插件/IO.htm"),
            u"file:///opt/%E6%8F%92%E4%BB%B6/IO.htm");
}

}  // namespace
}  // namespace brevant
