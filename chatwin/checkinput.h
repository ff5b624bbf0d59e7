#pragma once
// Turns a text typed in the companion page back into what the user wrote: the page carries
// quotes as tokens and question marks in full width.

#include "platform/text.h"

namespace brevant {

void checkinput(Str& text);

}  // namespace brevant
