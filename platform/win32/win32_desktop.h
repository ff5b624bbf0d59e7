#pragma once
// The Windows desktop: user32 itself, and the companion form with the WebBrowser control.

#include <memory>

#include "platform/browser.h"
#include "platform/desktop.h"

namespace brevant {

std::unique_ptr<Desktop> make_win32_desktop();

// A companion form, not yet shown; geometry converts with the given twips per pixel.
std::unique_ptr<Form> make_win32_form(int twips_per_pixel_x, int twips_per_pixel_y);

}  // namespace brevant
