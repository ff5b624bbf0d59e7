#include <windows.h>

#include "platform/ui.h"
#include "platform/win32/win32_dialogs.h"

namespace brevant {
namespace {

const wchar_t* wide(const Str& s) {
  return reinterpret_cast<const wchar_t*>(s.c_str());
}

class Win32Ui final : public Ui {
 public:
  bool ask_yes_no(StrView title, StrView question) override {
    const Str t(title), q(question);
    return MessageBoxW(GetActiveWindow(), wide(q), wide(t), MB_YESNO | MB_ICONQUESTION) == IDYES;
  }

  void show_message(StrView title, StrView text) override {
    const Str t(title), m(text);
    MessageBoxW(GetActiveWindow(), wide(m), wide(t), MB_OK);
  }

  std::optional<DialogChoice> run_settings_dialog(const SettingsDialogText& text,
                                                  const DialogChoice& initial) override {
    return win32_dialogs::run_settings(GetActiveWindow(), text, initial);
  }

  void show_notice(StrView caption, StrView text) override {
    win32_dialogs::run_notice(GetActiveWindow(), caption, text);
  }
};

}  // namespace

std::unique_ptr<Ui> make_win32_ui() {
  return std::make_unique<Win32Ui>();
}

}  // namespace brevant
