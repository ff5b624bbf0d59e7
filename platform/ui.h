#pragma once
// Message boxes and dialogs shown to the user. Windows: Win32 message boxes and dialogs built
// from in-memory templates; Linux: GTK dialogs; tests: scripted answers
// (platform/sim/scripted_ui.h). A settings dialog or notice is modal over the window that asked
// for it (the companion form); a box, and a dialog without an owner, over the active window of
// the thread.

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/desktop.h"
#include "platform/text.h"

namespace brevant {

// The captions of a settings dialog: the window, a group of two language options, a group of
// two format options, one check box, and the accept and cancel buttons.
struct SettingsDialogText {
  Str title;
  Str language_group, english, japanese;
  Str format_group, double_format, single_format;
  Str preview;
  Str ok, cancel;
};

enum class LanguageOption : std::uint8_t { kNone, kEnglish, kJapanese };
enum class FormatOption : std::uint8_t { kNone, kDouble, kSingle };
// A check box's states; grey is the third one, which only the program can set.
enum class CheckState : std::uint8_t { kCleared, kChecked, kGrey };

// The state of a settings dialog's controls. kNone: no option of that group is selected.
struct DialogChoice {
  LanguageOption language = LanguageOption::kNone;
  FormatOption format = FormatOption::kNone;
  CheckState preview = CheckState::kCleared;
  bool operator==(const DialogChoice&) const = default;
};

class Ui {
 public:
  virtual ~Ui() = default;

  // A modal yes/no question; true when the user answers yes. Closing the box counts as no.
  virtual bool ask_yes_no(StrView title, StrView question) = 0;

  // A modal message with an OK button.
  virtual void show_message(StrView title, StrView text) = 0;

  // A settings dialog modal over `owner` (0: the active window) whose controls start as
  // `initial`. Their state when the user accepts; nullopt when the user cancels or closes it.
  virtual std::optional<DialogChoice> run_settings_dialog(Hwnd owner,
                                                          const SettingsDialogText& text,
                                                          const DialogChoice& initial) = 0;

  // A notice modal over `owner` (0: the active window) that shows `text` and closes when the
  // user clicks the text (or the window's close button). An empty caption leaves the title bar
  // blank.
  virtual void show_notice(Hwnd owner, StrView caption, StrView text) = 0;
};

#ifdef _WIN32
// Win32 message boxes and dialogs.
std::unique_ptr<Ui> make_win32_ui();
#endif

}  // namespace brevant
