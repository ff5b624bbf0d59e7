#pragma once
// Normalises a chat text before translation: full-width and typographic punctuation becomes
// ASCII or a space, and the quote tokens become spaces.

#include "platform/text.h"

namespace brevant {

void checkinputweb(Str& inputval);

}  // namespace brevant
