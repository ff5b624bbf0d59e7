#pragma once
// The settings dialog and the notices as Win32 dialogs built from in-memory templates, every
// caption in UTF-16 so that Chinese shows on any code page. Each is modal over `owner`.

#include <windows.h>

#include <optional>

#include "platform/ui.h"

namespace brevant::win32_dialogs {

// Control IDs, also for tests that drive the dialogs by window messages.
enum : int {
  kCommand1 = IDOK,  // accept
  kCommand2 = IDCANCEL,
  kFrame2 = 100,  // language group box
  kEnglish = 101,
  kJapanese = 102,
  kFrame1 = 103,  // format group box
  kDouble = 104,
  kSingle = 105,
  kPreview = 106,
  kLabel1 = 110,  // the clickable text of a notice
};

std::optional<DialogChoice> run_settings(HWND owner, const SettingsDialogText& text,
                                         const DialogChoice& initial);

void run_notice(HWND owner, StrView caption, StrView text);

}  // namespace brevant::win32_dialogs
