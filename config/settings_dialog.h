#pragma once
// The translation settings dialogs Frmsetformat (Chinese) and Frmsetformaten (English), and
// the notices of the interface-language switch. What is read, preselected and written lives
// here once; the windows themselves are the platform's (Ui).

#include "config/settings.h"
#include "platform/ui.h"

namespace brevant {

// Frmsetformat is the Chinese dialog, Frmsetformaten the English one; only captions differ.
enum class DialogLanguage { kChinese, kEnglish };

const SettingsDialogText& settings_dialog_text(DialogLanguage language);

// One settings dialog while it is open: its controls, and the file its load selected.
class SettingsForm {
 public:
  explicit SettingsForm(Settings& settings) : settings_(settings) {}

  // Selects configUIN.ini and preselects the controls from section "config". Unknown or
  // missing values leave a control as created: no option selected, the box cleared.
  void Form_Load();
  // Accept: writes, for each group with a selected option and for a checked or cleared box,
  // its key, in the order format, language, preview; a grey box writes nothing.
  void Command1_Click();
  // Cancel: writes nothing.
  void Command2_Click() {}

  DialogChoice controls;

 private:
  Settings& settings_;
  Str file_;  // the file selected by Form_Load
};

// The whole dialog as a page command opens it: load, show modally over `owner` (the companion
// that asked), then accept or cancel.
void show_settings_dialog(Settings& settings, Ui& ui, DialogLanguage language, Hwnd owner);

// The notices of the interface-language switch.
enum class Notice {
  Frmchangedcn,  // the Chinese page switched the interface to English
  Frmchangeden,  // the English page switched it to Chinese
  Frmlanguage,   // the English page asked for Chinese, which this system cannot show
};

struct NoticeText {
  Str caption;
  Str text;
};

const NoticeText& notice_text(Notice notice);

// Shows the notice modally over `owner`; it closes when its text is clicked.
void show_notice(Ui& ui, Notice notice, Hwnd owner);

}  // namespace brevant
