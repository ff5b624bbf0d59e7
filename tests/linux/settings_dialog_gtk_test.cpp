// The real GTK settings dialogs and notices, driven from a timer inside their own modal loop
// the way a user would: the captions read from the widgets, options and the box clicked, OK,
// Cancel or the close button pressed, and the settings file checked afterwards.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "config/settings_dialog.h"
#include "platform/linux/gtk_ui.h"
#include "platform/sim/sim_services.h"
#include "plugin/module.h"
#include "tests/support/profile_cases.h"

namespace brevant {
namespace {

namespace fs = std::filesystem;
using profile_cases::kNoFile;
using profile_cases::read_bytes;
using profile_cases::TempFolder;
using profile_cases::write_bytes;

GtkWidget* find_named(GtkWidget* root, const char* name) {
  if (std::string(gtk_widget_get_name(root)) == name)
    return root;
  if (!GTK_IS_CONTAINER(root))
    return nullptr;
  GtkWidget* found = nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(root));
  for (GList* c = children; c && !found; c = c->next)
    found = find_named(GTK_WIDGET(c->data), name);
  g_list_free(children);
  return found;
}

// The shown dialog of the application, if any.
GtkWidget* shown_dialog() {
  GList* windows = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* w = windows; w && !found; w = w->next) {
    if (GTK_IS_DIALOG(w->data) && gtk_widget_get_mapped(GTK_WIDGET(w->data)))
      found = GTK_WIDGET(w->data);
  }
  g_list_free(windows);
  return found;
}

// Runs `body`, which opens one modal window; once that window is on screen, `user` acts on it.
// A window left open after five seconds is closed, and the test fails.
void with_user(const std::function<void(GtkWidget*)>& user, const std::function<void()>& body) {
  struct Driver {
    const std::function<void(GtkWidget*)>* user;
    int ticks = 0;
    bool acted = false;
  } driver{&user};
  const guint timer = g_timeout_add(
      20,
      [](gpointer data) -> gboolean {
        auto& d = *static_cast<Driver*>(data);
        GtkWidget* dialog = shown_dialog();
        if (dialog && !d.acted) {
          d.acted = true;
          (*d.user)(dialog);
        } else if (dialog && ++d.ticks > 250) {
          ADD_FAILURE() << "the window stayed open";
          gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
        }
        return G_SOURCE_CONTINUE;
      },
      &driver);
  body();
  g_source_remove(timer);
  EXPECT_TRUE(driver.acted) << "the window was shown";
}

std::string caption(GtkWidget* dialog, const char* name) {
  GtkWidget* w = find_named(dialog, name);
  if (!w)
    return "<missing " + std::string(name) + ">";
  if (GTK_IS_FRAME(w))
    return gtk_frame_get_label(GTK_FRAME(w));
  return gtk_button_get_label(GTK_BUTTON(w));
}

bool active(GtkWidget* dialog, const char* name) {
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(find_named(dialog, name)));
}

void click(GtkWidget* dialog, const char* name) {
  GtkWidget* w = find_named(dialog, name);
  ASSERT_NE(w, nullptr) << name;
  gtk_button_clicked(GTK_BUTTON(w));
}

constexpr const char* kControls[] = {"Frame2", "english", "japanese", "Frame1",  "double",
                                     "single", "preview", "Command1", "Command2"};
constexpr const char* kOptions[] = {"english", "japanese", "double", "single", "preview"};

struct Case {
  const char* name;
  DialogLanguage language;
  std::string_view before;
  std::vector<std::string> captions;  // the window, then kControls
  std::vector<bool> shown;            // kOptions as the dialog opens
  std::vector<const char*> clicks;    // the last one closes: Command1, Command2 or "close"
  std::string_view after;
};

const std::vector<std::string> kChinese = {"翻译设置", "语言设置", "中英模式", "中日模式",
                                           "格式设置", "双语发送", "单语发送", "预览开启",
                                           "确定",     "取消"};
const std::vector<std::string> kEnglish = {"Translation seting",
                                           "Language",
                                           "Chinese-English",
                                           "Chinese-Japanese",
                                           "Format",
                                           "send bilingual",
                                           "send monolingual",
                                           "open the preview",
                                           "ok",
                                           "cancel"};
constexpr std::string_view kAllSet =
    "[config]\r\nconfiglan=en\r\nconfigformat=double\r\nconfigpreview=on\r\n";

const Case kCases[] = {
    {"AcceptJapaneseSingleCleared",
     DialogLanguage::kChinese,
     kNoFile,
     kChinese,
     {false, false, false, false, false},
     {"japanese", "single", "preview", "preview", "Command1"},
     "[config]\r\nconfigformat=single\r\nconfiglan=ja\r\nconfigpreview=off\r\n"},
    {"CancelAfterChangingEverything",
     DialogLanguage::kEnglish,
     kAllSet,
     kEnglish,
     {true, false, true, false, true},
     {"japanese", "single", "preview", "Command2"},
     kAllSet},
    {"CloseButtonCancels",
     DialogLanguage::kChinese,
     kAllSet,
     kChinese,
     {true, false, true, false, true},
     {"japanese", "close"},
     kAllSet},
    {"PreselectedAcceptedAsShown",
     DialogLanguage::kEnglish,
     "[config]\r\nconfigpreview=on\r\nconfiglan=ja\r\n",
     kEnglish,
     {false, true, false, false, true},
     {"double", "Command1"},
     "[config]\r\nconfigpreview=on\r\nconfiglan=ja\r\nconfigformat=double\r\n"},
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class GtkSettingsDialog : public testing::TestWithParam<Case> {
 protected:
  void SetUp() override { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display"; }

  TempFolder folder;
};

TEST_P(GtkSettingsDialog, DrivenLikeAUser) {
  const Case& c = GetParam();
  const fs::path file = folder.path() / "configUIN.ini";
  if (c.before != kNoFile)
    write_bytes(file, c.before);
  // The companion that asks owns the dialog: its window is found by its handle.
  constexpr Hwnd kCompanion = 0x50;
  GtkWidget* companion = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  SimServices sim = make_sim_services(from_utf8(folder.path().string()));
  sim.services.ui =
      make_gtk_ui([&](Hwnd h) { return h == kCompanion ? GTK_WINDOW(companion) : nullptr; });
  Module module(std::move(sim.services));

  with_user(
      [&](GtkWidget* dialog) {
        EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), GTK_WINDOW(companion));
        std::vector<std::string> captions = {gtk_window_get_title(GTK_WINDOW(dialog))};
        for (const char* name : kControls)
          captions.push_back(caption(dialog, name));
        EXPECT_EQ(captions, c.captions);
        std::vector<bool> shown;
        for (const char* name : kOptions)
          shown.push_back(active(dialog, name));
        EXPECT_EQ(shown, c.shown) << "preselected";
        for (const char* name : c.clicks) {
          if (std::string(name) == "close")
            gtk_window_close(GTK_WINDOW(dialog));
          else
            click(dialog, name);
        }
      },
      [&] { show_settings_dialog(module.settings(), module.ui(), c.language, kCompanion); });
  gtk_widget_destroy(companion);

  EXPECT_EQ(shown_dialog(), nullptr) << "the dialog is gone";
  EXPECT_EQ(read_bytes(file), c.after);
}

INSTANTIATE_TEST_SUITE_P(Gtk, GtkSettingsDialog, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

// A button press on the text, as the pointer gives it.
void press(GtkWidget* widget) {
  GdkEvent* event = gdk_event_new(GDK_BUTTON_PRESS);
  event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
  event->button.button = 1;
  event->button.send_event = TRUE;
  gdk_event_set_device(
      event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
  gtk_widget_event(widget, event);
  gdk_event_free(event);
}

TEST_F(GtkSettingsDialog, NoticesShowTheirTextAndCloseOnAClick) {
  SimServices sim = make_sim_services(from_utf8(folder.path().string()));
  sim.services.ui = make_gtk_ui(nullptr);
  Module module(std::move(sim.services));
  struct NoticeCase {
    Notice notice;
    const char* title;
    const char* says;
    bool by_close_button;
  };
  for (const NoticeCase& n : {NoticeCase{Notice::Frmchangedcn, "温馨提示：", "英文", false},
                              NoticeCase{Notice::Frmchangeden, "", "Chinese", false},
                              NoticeCase{Notice::Frmlanguage, "", "cannot", true}}) {
    SCOPED_TRACE(n.says);
    with_user(
        [&](GtkWidget* dialog) {
          EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dialog)), n.title);
          GtkWidget* text = find_named(dialog, "Label1");
          ASSERT_NE(text, nullptr);
          GtkWidget* label = gtk_bin_get_child(GTK_BIN(text));
          EXPECT_NE(std::string(gtk_label_get_text(GTK_LABEL(label))).find(n.says),
                    std::string::npos);
          if (n.by_close_button)
            gtk_window_close(GTK_WINDOW(dialog));
          else
            press(text);
        },
        [&] { show_notice(module.ui(), n.notice, 0); });
    EXPECT_EQ(shown_dialog(), nullptr) << "the notice is gone";
  }
  EXPECT_TRUE(fs::is_empty(folder.path()));
}

}  // namespace
}  // namespace brevant
