#pragma once
// Message boxes, settings dialogs and notices as GTK dialogs, modal over the window that asked
// (found through `window_of`) or else the active window of the application. GTK must be
// initialised by the embedding program.
//
// The widgets of a settings dialog carry names, so that a test can find them: "Frame2" with
// "english" and "japanese", "Frame1" with "double" and "single", "preview", "Command1" (accept)
// and "Command2" (cancel). A notice's clickable text is "Label1".

#include <functional>
#include <memory>

#include "platform/ui.h"

typedef struct _GtkWindow GtkWindow;

namespace brevant {

// `window_of` gives the GTK window of a window handle (nullptr when it has none).
std::unique_ptr<Ui> make_gtk_ui(std::function<GtkWindow*(Hwnd)> window_of);

}  // namespace brevant
