#pragma once
// Test helpers: a scripted translation server that answers each request in turn, and the form
// fields of a recorded request as the server would decode them.

#include <deque>
#include <string>

#include "platform/sim/scripted_http.h"
#include "platform/sim/virtual_clock.h"
#include "platform/text.h"

namespace brevant::testing {

// Percent-decodes one form value (UTF-8 escapes) back to text.
inline Str form_value(StrView body, StrView key) {
  Str wanted(key);
  wanted += u"=";
  for (const Str& field : split(body, u"&")) {
    if (field.rfind(wanted, 0) != 0)
      continue;
    std::string bytes;
    const Str value = field.substr(wanted.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (value[i] == u'%' && i + 2 < value.size()) {
        bytes += static_cast<char>(std::stoi(to_utf8(value.substr(i + 1, 2)), nullptr, 16));
        i += 2;
      } else {
        bytes += to_utf8(value.substr(i, 1));
      }
    }
    return from_utf8(bytes);
  }
  return {};
}

// Answers the n-th request with the n-th scripted reply; requests beyond the script never
// answer.
class ScriptedServer {
 public:
  ScriptedServer() : http(clock) {
    http.respond_with([this](const RecordedRequest&) {
      if (replies.empty())
        return ScriptedReply::never();
      ScriptedReply next = replies.front();
      replies.pop_front();
      return next;
    });
  }

  VirtualClock clock;
  ScriptedHttp http;
  std::deque<ScriptedReply> replies;
};

}  // namespace brevant::testing
