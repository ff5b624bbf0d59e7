#pragma once
// What a companion window hands on: the text the user typed, to be translated and sent. The
// router (plugin/frmmain.h) implements this; a companion sees it only through this interface.

#include "chatwin/companion.h"

namespace brevant {

class CompanionCoordinator {
 public:
  virtual ~CompanionCoordinator() = default;

  // A text typed in `from`'s page: queued behind every text typed before it, in any companion.
  virtual void typed(Companion& from, TypedText text) = 0;
};

}  // namespace brevant
