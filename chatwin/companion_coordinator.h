#pragma once
// What a companion window hands on to the coordinator: the text the user typed goes to the send
// translator, and a contact's companion is looked up by its ID. The coordinator implements this
// and owns the companions' callers; a companion sees the coordinator only through it, so that
// neither includes the other.

#include <cstdint>

#include "platform/text.h"

namespace brevant {

class CompanionCoordinator {
 public:
  virtual ~CompanionCoordinator() = default;

  // The highest index in ChatWins whose window has this contact ID, 0 when none.
  virtual std::int16_t WinIsExist(StrView fname) = 0;
  // Starts the send translator on a typed text, with its language code and routing tag.
  virtual void send_tranit(StrView MainLan, StrView Text, StrView flag) = 0;
};

}  // namespace brevant
