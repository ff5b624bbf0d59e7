#include "plugin/route.h"

namespace brevant {

Str encode_route(const Route& route) {
  if (!route.addressed_elsewhere())
    return route.chat;
  return route.peer + kRouteMarker + route.chat;
}

Route decode_route(StrView tag) {
  const StrView marker(kRouteMarker);
  const auto at = tag.find(marker);
  if (at == StrView::npos)
    return Route{Str(tag), Str(tag), 0};
  const StrView rest = tag.substr(at + marker.size());
  const auto next = rest.find(marker);
  return Route{Str(next == StrView::npos ? rest : rest.substr(0, next)), Str(tag.substr(0, at)), 0};
}

}  // namespace brevant
