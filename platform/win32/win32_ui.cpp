#include <windows.h>

#include "platform/ui.h"

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
};

}  // namespace

std::unique_ptr<Ui> make_win32_ui() {
  return std::make_unique<Win32Ui>();
}

}  // namespace brevant
