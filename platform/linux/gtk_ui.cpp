#include "platform/linux/gtk_ui.h"

#include <gtk/gtk.h>

#include <string>

namespace brevant {
namespace {

GtkWindow* active_window() {
  GList* windows = gtk_window_list_toplevels();
  GtkWindow* active = nullptr;
  for (GList* w = windows; w; w = w->next) {
    if (gtk_window_is_active(GTK_WINDOW(w->data))) {
      active = GTK_WINDOW(w->data);
      break;
    }
  }
  g_list_free(windows);
  return active;
}

int run_box(StrView title, StrView text, GtkMessageType type, GtkButtonsType buttons) {
  const std::string t = to_utf8(title), m = to_utf8(text);
  GtkWidget* box =
      gtk_message_dialog_new(active_window(), GTK_DIALOG_MODAL, type, buttons, "%s", m.c_str());
  gtk_window_set_title(GTK_WINDOW(box), t.c_str());
  const int response = gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  return response;
}

class GtkUi final : public Ui {
 public:
  bool ask_yes_no(StrView title, StrView question) override {
    return run_box(title, question, GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO) == GTK_RESPONSE_YES;
  }
  void show_message(StrView title, StrView text) override {
    run_box(title, text, GTK_MESSAGE_INFO, GTK_BUTTONS_OK);
  }
};

}  // namespace

std::unique_ptr<Ui> make_gtk_ui() {
  return std::make_unique<GtkUi>();
}

}  // namespace brevant
