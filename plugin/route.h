#pragma once
// Where a translation's result goes: the chat it belongs to (the companion that shows it) and
// the other person (who sent an incoming message, or who receives a typed text). Decided when
// the text is typed or arrives; the router checks it again when the result comes back.
//
// Written into a translator's tag as the contact ID of the chat, or as the other person's ID,
// "<9koduo>" and the chat's ID when they differ (a text typed in one tab for another).

#include <cstdint>

#include "platform/text.h"

namespace brevant {

struct Route {
  Str chat;                    // the contact whose companion shows the result
  Str peer;                    // the sender, or the recipient
  std::int32_t companion = 0;  // the registry index of that companion when decided, 0 if none

  bool addressed_elsewhere() const { return peer != chat; }
  bool operator==(const Route&) const = default;
};

inline constexpr char16_t kRouteMarker[] = u"<9koduo>";

Str encode_route(const Route& route);
// The index is not carried; a tag with several markers counts up to the second one.
Route decode_route(StrView tag);

}  // namespace brevant
