// The window model mirrored onto real GTK windows, and the companion form, under X11.

#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "platform/linux/glib_event_loop.h"
#include "platform/linux/gtk_desktop.h"
#include "platform/linux/webkit_browser.h"
#include "tests/linux/gtk_fixture.h"

namespace brevant {
namespace {

using gtk_test::gtk_ready;
using gtk_test::pump_until;
using gtk_test::settle;

Rect real_rect(GtkWidget* window) {
  GdkRectangle f;
  gdk_window_get_frame_extents(gtk_widget_get_window(window), &f);
  return {f.x, f.y, f.x + f.width, f.y + f.height};
}

class GtkDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gtk_ready())
      GTEST_SKIP() << "no X display (run the linux tier under xvfb-run)";
    desktop = std::make_unique<GtkDesktop>(loop);
  }
  // A stand-in chat window at (x, y) with a Send button; shown through the model.
  Hwnd chat_window(const char* title, int x, int y, GtkWidget** button_out = nullptr) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* button = gtk_button_new_with_label("发送");
    gtk_container_add(GTK_CONTAINER(window), button);
    gtk_window_move(GTK_WINDOW(window), x, y);
    gtk_window_resize(GTK_WINDOW(window), 600, 400);
    gtk_widget_show(button);
    const Hwnd hwnd = desktop->register_widget(window, u"StandardFrame", from_utf8(title));
    desktop->register_widget(button, u"StandardButton", u"发送", hwnd);
    desktop->ShowWindow(hwnd, kSwShow);
    if (button_out)
      *button_out = button;
    return hwnd;
  }

  GlibEventLoop loop;
  std::unique_ptr<GtkDesktop> desktop;
};

TEST(GtkDesktopFactors, TwipsPerPixelFromTheResolution) {
  const struct {
    double dpi;
    int twips;
  } cases[] = {{96, 15}, {120, 12}, {144, 10}, {192, 8}, {72, 20}, {0, 15}, {-1, 15}};
  for (const auto& c : cases)
    EXPECT_EQ(GtkDesktop::twips_per_pixel(c.dpi), c.twips) << c.dpi;
}

// One run through everything the plug-in does to the host's windows and what the user does to
// them: geometry both ways, the foreground both ways, titles, owners, posted clicks, and
// destruction from either side.
TEST_F(GtkDesktopTest, MirrorsRegisteredWindowsBothWays) {
  EXPECT_EQ(desktop->TwipsPerPixelX(),
            GtkDesktop::twips_per_pixel(gdk_screen_get_resolution(gdk_screen_get_default())));
  EXPECT_EQ(desktop->TwipsPerPixelY(), desktop->TwipsPerPixelX());

  GtkWidget* send = nullptr;
  int clicks = 0;
  const Hwnd bob = chat_window("bob - me", 100, 50, &send);
  const Hwnd ann = chat_window("ann - me", 300, 120);
  g_signal_connect(send, "clicked",
                   G_CALLBACK(+[](GtkButton*, gpointer n) { ++*static_cast<int*>(n); }), &clicks);
  GtkWidget* bob_window = desktop->widget(bob);
  GtkWidget* ann_window = desktop->widget(ann);
  ASSERT_TRUE(bob_window && ann_window);
  settle();

  // Found by class and title as user32 finds them.
  EXPECT_EQ(desktop->FindWindowA(u"StandardFrame", u"bob - me"), bob);
  const Hwnd button = desktop->FindWindowExA(bob, 0, u"StandardButton", u"发送");
  ASSERT_NE(button, 0);
  EXPECT_EQ(desktop->GetParent(button), bob);
  EXPECT_EQ(desktop->GetWindowTextA(bob, 800), u"bob - me");

  // Real geometry, also after the user moves the window.
  Rect r;
  ASSERT_TRUE(desktop->GetWindowRect(bob, r));
  EXPECT_EQ(r, (Rect{100, 50, 700, 450}));
  gtk_window_move(GTK_WINDOW(bob_window), 160, 90);
  gtk_window_resize(GTK_WINDOW(bob_window), 500, 300);
  ASSERT_TRUE(pump_until([&] {
    return desktop->GetWindowRect(bob, r) && r == Rect{160, 90, 660, 390};
  })) << r.left
      << "," << r.top << "," << r.right << "," << r.bottom;
  // A child lies inside its window (once GTK has laid it out again).
  Rect b;
  EXPECT_TRUE(pump_until([&] {
    return desktop->GetWindowRect(button, b) && b.left >= r.left && b.top >= r.top &&
           b.right <= r.right && b.bottom <= r.bottom;
  })) << b.left
      << "," << b.top << "," << b.right << "," << b.bottom;
  EXPECT_GT(b.width(), 0);
  // The plug-in moving a window moves the GTK window.
  desktop->set_rect(ann, {20, 30, 420, 330});
  settle();
  EXPECT_EQ(real_rect(ann_window), (Rect{20, 30, 420, 330}));

  // The foreground: asked for by the plug-in, and taken by the user.
  EXPECT_TRUE(desktop->SetForegroundWindow(bob));
  EXPECT_EQ(desktop->GetForegroundWindow(), bob);
  ASSERT_TRUE(pump_until([&] { return gtk_window_is_active(GTK_WINDOW(bob_window)); }));
  settle();
  EXPECT_EQ(desktop->GetForegroundWindow(), bob);
  gtk_window_present(GTK_WINDOW(ann_window));
  ASSERT_TRUE(pump_until([&] { return desktop->GetForegroundWindow() == ann; }));
  // Quick back and forth ends where the plug-in left it, not where stale reports point.
  desktop->SetForegroundWindow(bob);
  desktop->SetForegroundWindow(ann);
  desktop->SetForegroundWindow(bob);
  settle();
  EXPECT_EQ(desktop->GetForegroundWindow(), bob);
  EXPECT_TRUE(gtk_window_is_active(GTK_WINDOW(bob_window)));

  // Titles and owners act on the GTK window.
  desktop->set_title(ann, u"ann - 我");
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(ann_window)), "ann - 我");
  EXPECT_EQ(desktop->SetWindowLongA(ann, kGwlHwndParent, bob), 0);
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(ann_window)), GTK_WINDOW(bob_window));
  desktop->SetWindowLongA(ann, kGwlHwndParent, 0);
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(ann_window)), nullptr);

  // A posted press and release clicks the button once, after the caller returned; a press
  // alone, or a click posted to the window itself, clicks nothing.
  desktop->PostMessageA(button, kWmLButtonDown, 0, kClickAt2x2);
  desktop->PostMessageA(button, kWmLButtonUp, 0, kClickAt2x2);
  EXPECT_EQ(clicks, 0);
  pump_until([&] { return clicks > 0; }, 500);
  desktop->PostMessageA(button, kWmLButtonDown, 0, kClickAt2x2);
  desktop->PostMessageA(bob, kWmLButtonDown, 0, kClickAt2x2);
  desktop->PostMessageA(bob, kWmLButtonUp, 0, kClickAt2x2);
  gtk_test::pump_for(50);
  EXPECT_EQ(clicks, 1);

  // Destroyed in GTK: gone from the model with its children. Destroyed in the model: the GTK
  // window goes too.
  gtk_widget_destroy(bob_window);
  EXPECT_FALSE(desktop->exists(bob) || desktop->exists(button));
  EXPECT_EQ(desktop->FindWindowA(u"StandardFrame", u"bob - me"), 0);
  g_object_add_weak_pointer(G_OBJECT(ann_window), reinterpret_cast<gpointer*>(&ann_window));
  desktop->destroy_window(ann);
  EXPECT_EQ(ann_window, nullptr);
}

// The companion form: a utility window without taskbar or pager entry, placed in twips by the
// screen's factor (a host 600 x 400 at (100, 50) gives the companion 10500, 1380, 4930, 5370).
TEST_F(GtkDesktopTest, CompanionFormPlacedInTwips) {
  ASSERT_EQ(desktop->TwipsPerPixelX(), 15) << "the virtual display runs at 96 dots per inch";
  std::unique_ptr<Form> form = desktop->create_form();
  const Hwnd hwnd = form->hwnd();
  GtkWidget* window = desktop->widget(hwnd);
  ASSERT_TRUE(window);
  EXPECT_EQ(desktop->window(hwnd)->class_name, kCompanionFormClass);
  EXPECT_EQ(gtk_window_get_type_hint(GTK_WINDOW(window)), GDK_WINDOW_TYPE_HINT_UTILITY);
  EXPECT_TRUE(gtk_window_get_skip_taskbar_hint(GTK_WINDOW(window)));
  EXPECT_TRUE(gtk_window_get_skip_pager_hint(GTK_WINDOW(window)));
  auto* browser = dynamic_cast<WebKitBrowser*>(&form->browser());
  ASSERT_TRUE(browser);
  EXPECT_EQ(gtk_widget_get_parent(browser->widget()), window);

  desktop->ShowWindow(hwnd, kSwShowNoActivate);
  const struct {
    int left, top, width, height;
    Rect pixels;
  } placements[] = {
      {10500, 1380, 4930, 5370, {700, 92, 1029, 450}},  // docked
      {10500, 1380, 4920, 0, {700, 92, 1028, 93}},      // host minimised: GTK keeps one pixel
      {9750, 0, 1, 1, {650, 0, 651, 1}},                // collapsed
      {3000, 1500, 4930, 6000, {200, 100, 529, 500}},
  };
  for (const auto& p : placements) {
    form->move(p.left, p.top, p.width, p.height);
    form->refit_browser();
    EXPECT_EQ((std::array{form->left(), form->top(), form->width(), form->height()}),
              (std::array{p.left, p.top, p.width, p.height}));
    ASSERT_TRUE(pump_until([&] { return real_rect(window) == p.pixels; }, 2000)) << p.left;
    Rect r;
    ASSERT_TRUE(pump_until([&] { return desktop->GetWindowRect(hwnd, r) && r == p.pixels; }, 2000));
    // The view fills the window.
    settle();
    GtkAllocation a;
    gtk_widget_get_allocation(browser->widget(), &a);
    EXPECT_EQ(a.width, p.pixels.width());
    EXPECT_EQ(a.height, p.pixels.height());
  }

  // Script lines need a loaded page.
  EXPECT_THROW(form->browser().exec_script(u"bfocus()"), std::exception);

  form->close();
  EXPECT_TRUE(form->closed());
  EXPECT_FALSE(desktop->exists(hwnd));
  form->move(1, 2, 3, 4);
  form->close();

  // A form may outlive its desktop (the module drops its services first).
  std::unique_ptr<Form> late = desktop->create_form();
  desktop.reset();
  late->move(15, 15, 150, 150);
  late->close();
  EXPECT_TRUE(late->closed());
}

}  // namespace
}  // namespace brevant
