#include "platform/linux/gtk_ui.h"

#include <gtk/gtk.h>

#include <string>
#include <utility>

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

GtkWidget* named(GtkWidget* widget, const char* name) {
  gtk_widget_set_name(widget, name);
  return widget;
}

// A framed group of two option buttons. GTK always keeps one button of a group active, so a
// hidden third one stands for "no option selected".
struct OptionGroup {
  GtkWidget* frame;
  GtkWidget* none;
  GtkWidget* first;
  GtkWidget* second;

  OptionGroup(StrView caption, const char* frame_name, StrView first_caption,
              const char* first_name, StrView second_caption, const char* second_name) {
    frame = named(gtk_frame_new(to_utf8(caption).c_str()), frame_name);
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_container_set_border_width(GTK_CONTAINER(row), 6);
    none = gtk_radio_button_new(nullptr);
    gtk_widget_set_no_show_all(none, TRUE);
    first = named(gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(none),
                                                              to_utf8(first_caption).c_str()),
                  first_name);
    second = named(gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(none),
                                                               to_utf8(second_caption).c_str()),
                   second_name);
    gtk_box_pack_start(GTK_BOX(row), none, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), first, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), second, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(frame), row);
  }

  // 0 none, 1 the first option, 2 the second.
  void select(int which) {
    GtkWidget* b = which == 1 ? first : which == 2 ? second : none;
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(b), TRUE);
  }
  int selected() const {
    if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(first)))
      return 1;
    if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(second)))
      return 2;
    return 0;
  }
};

// A click on the box makes the box's check state normal again: grey is for the program only.
void on_preview_toggled(GtkToggleButton* box, gpointer) {
  gtk_toggle_button_set_inconsistent(box, FALSE);
}

std::optional<DialogChoice> run_settings(GtkWindow* owner, const SettingsDialogText& text,
                                         const DialogChoice& initial) {
  GtkWidget* dialog = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog), to_utf8(text.title).c_str());
  gtk_window_set_transient_for(GTK_WINDOW(dialog), owner);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);

  GtkWidget* ok =
      named(gtk_dialog_add_button(GTK_DIALOG(dialog), to_utf8(text.ok).c_str(), GTK_RESPONSE_OK),
            "Command1");
  named(
      gtk_dialog_add_button(GTK_DIALOG(dialog), to_utf8(text.cancel).c_str(), GTK_RESPONSE_CANCEL),
      "Command2");
  gtk_widget_grab_default(ok);

  OptionGroup language(text.language_group, "Frame2", text.english, "english", text.japanese,
                       "japanese");
  OptionGroup format(text.format_group, "Frame1", text.double_format, "double", text.single_format,
                     "single");
  GtkWidget* preview =
      named(gtk_check_button_new_with_label(to_utf8(text.preview).c_str()), "preview");

  GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  gtk_container_set_border_width(GTK_CONTAINER(area), 8);
  gtk_box_set_spacing(GTK_BOX(area), 8);
  gtk_box_pack_start(GTK_BOX(area), language.frame, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(area), format.frame, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(area), preview, FALSE, FALSE, 0);

  language.select(initial.language == LanguageOption::kEnglish    ? 1
                  : initial.language == LanguageOption::kJapanese ? 2
                                                                  : 0);
  format.select(initial.format == FormatOption::kDouble   ? 1
                : initial.format == FormatOption::kSingle ? 2
                                                          : 0);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(preview), initial.preview == CheckState::kChecked);
  gtk_toggle_button_set_inconsistent(GTK_TOGGLE_BUTTON(preview),
                                     initial.preview == CheckState::kGrey);
  g_signal_connect(preview, "toggled", G_CALLBACK(on_preview_toggled), nullptr);

  gtk_widget_show_all(dialog);
  gtk_widget_grab_focus(ok);
  std::optional<DialogChoice> result;
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
    static constexpr LanguageOption kLanguages[] = {LanguageOption::kNone, LanguageOption::kEnglish,
                                                    LanguageOption::kJapanese};
    static constexpr FormatOption kFormats[] = {FormatOption::kNone, FormatOption::kDouble,
                                                FormatOption::kSingle};
    DialogChoice choice;
    choice.language = kLanguages[language.selected()];
    choice.format = kFormats[format.selected()];
    choice.preview =
        gtk_toggle_button_get_inconsistent(GTK_TOGGLE_BUTTON(preview)) ? CheckState::kGrey
        : gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(preview))     ? CheckState::kChecked
                                                                       : CheckState::kCleared;
    result = choice;
  }
  gtk_widget_destroy(dialog);
  return result;
}

gboolean on_notice_clicked(GtkWidget*, GdkEventButton* event, gpointer dialog) {
  if (event->button == 1)
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CLOSE);
  return TRUE;
}

void run_notice(GtkWindow* owner, StrView caption, StrView text) {
  GtkWidget* dialog = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog), to_utf8(caption).c_str());
  gtk_window_set_transient_for(GTK_WINDOW(dialog), owner);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);

  // The label has no window of its own: an event box around it takes the click.
  GtkWidget* clickable = named(gtk_event_box_new(), "Label1");
  GtkWidget* label = gtk_label_new(to_utf8(text).c_str());
  gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 40);
  g_object_set(label, "margin", 16, nullptr);
  gtk_container_add(GTK_CONTAINER(clickable), label);
  gtk_widget_add_events(clickable, GDK_BUTTON_PRESS_MASK);
  g_signal_connect(clickable, "button-press-event", G_CALLBACK(on_notice_clicked), dialog);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), clickable, TRUE,
                     TRUE, 0);

  gtk_widget_show_all(dialog);
  gtk_dialog_run(GTK_DIALOG(dialog));  // a click, the close button or Escape
  gtk_widget_destroy(dialog);
}

class GtkUi final : public Ui {
 public:
  explicit GtkUi(std::function<GtkWindow*(Hwnd)> window_of) : window_of_(std::move(window_of)) {}

  bool ask_yes_no(StrView title, StrView question) override {
    return run_box(title, question, GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO) == GTK_RESPONSE_YES;
  }
  void show_message(StrView title, StrView text) override {
    run_box(title, text, GTK_MESSAGE_INFO, GTK_BUTTONS_OK);
  }
  std::optional<DialogChoice> run_settings_dialog(Hwnd owner, const SettingsDialogText& text,
                                                  const DialogChoice& initial) override {
    return run_settings(owner_window(owner), text, initial);
  }
  void show_notice(Hwnd owner, StrView caption, StrView text) override {
    run_notice(owner_window(owner), caption, text);
  }

 private:
  GtkWindow* owner_window(Hwnd owner) const {
    GtkWindow* w = owner != 0 && window_of_ ? window_of_(owner) : nullptr;
    return w ? w : active_window();
  }

  std::function<GtkWindow*(Hwnd)> window_of_;
};

}  // namespace

std::unique_ptr<Ui> make_gtk_ui(std::function<GtkWindow*(Hwnd)> window_of) {
  return std::make_unique<GtkUi>(std::move(window_of));
}

}  // namespace brevant
