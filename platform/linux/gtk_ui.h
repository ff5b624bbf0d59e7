#pragma once
// Message boxes as GTK dialogs, modal over the active window of the application. GTK must be
// initialised by the embedding program.

#include <memory>

#include "platform/ui.h"

namespace brevant {

std::unique_ptr<Ui> make_gtk_ui();

}  // namespace brevant
