#pragma once
// Message boxes, settings dialogs and notices as GTK dialogs, modal over the active window of
// the application. GTK must be initialised by the embedding program.
//
// The widgets of a settings dialog carry names, so that a test can find them: "Frame2" with
// "english" and "japanese", "Frame1" with "double" and "single", "preview", "Command1" (accept)
// and "Command2" (cancel). A notice's clickable text is "Label1".

#include <memory>

#include "platform/ui.h"

namespace brevant {

std::unique_ptr<Ui> make_gtk_ui();

}  // namespace brevant
