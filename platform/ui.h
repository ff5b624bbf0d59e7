#pragma once
// Message boxes and dialogs shown to the user. Windows: Win32 message boxes; Linux: GTK
// dialogs; tests: scripted answers (platform/sim/scripted_ui.h).

#include <memory>

#include "platform/text.h"

namespace brevant {

class Ui {
 public:
  virtual ~Ui() = default;

  // A modal yes/no question; true when the user answers yes. Closing the box counts as no.
  virtual bool ask_yes_no(StrView title, StrView question) = 0;

  // A modal message with an OK button.
  virtual void show_message(StrView title, StrView text) = 0;
};

#ifdef _WIN32
// Win32 message boxes, owned by the active window of the calling thread.
std::unique_ptr<Ui> make_win32_ui();
#endif

}  // namespace brevant
