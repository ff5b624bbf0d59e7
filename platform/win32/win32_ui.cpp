#include <windows.h>

#include "platform/ui.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_module.h"

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

  std::optional<DialogChoice> run_settings_dialog(Hwnd owner, const SettingsDialogText& text,
                                                  const DialogChoice& initial) override {
    return win32_dialogs::run_settings(owner_window(owner), text, initial);
  }

  void show_notice(Hwnd owner, StrView caption, StrView text) override {
    win32_dialogs::run_notice(owner_window(owner), caption, text);
  }

 private:
  static HWND owner_window(Hwnd owner) {
    const HWND w = to_hwnd(owner);
    return owner != 0 && IsWindow(w) ? w : GetActiveWindow();
  }
};

}  // namespace

std::unique_ptr<Ui> make_win32_ui() {
  return std::make_unique<Win32Ui>();
}

}  // namespace brevant
