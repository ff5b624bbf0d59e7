#pragma once
// Contacts that write by themselves: each persona greets when its chat opens and answers what
// it receives, in its own language, after a short typing pause. Answers come from a small
// table of key words; a message that matches none gets the persona's next small-talk line.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/messenger-sim/messenger.h"

namespace brevant::messenger {

struct Persona {
  Str contact;
  const char* language;  // "en" or "ja"
  std::vector<Str> greetings;
  // Key word (matched case-insensitively in what the persona received) and its answer.
  std::vector<std::pair<Str, Str>> answers;
  std::vector<Str> small_talk;
};

const std::vector<Persona>& personas();

// The answer of `p` to `received`; `turn` picks the small-talk line when nothing matches.
Str persona_answer(const Persona& p, const Str& received, std::size_t turn);

class Personas final : public MessengerListener {
 public:
  // `delay_ms`: how long a persona "types" before its line arrives.
  Personas(Messenger& messenger, int delay_ms = 1500);
  ~Personas() override;
  Personas(const Personas&) = delete;
  Personas& operator=(const Personas&) = delete;

  void chat_opened(const Str& contact) override;
  void delivered(const Str& contact, const Str& text) override;

  // Lines scheduled but not yet written.
  int pending() const { return static_cast<int>(timers_.size()); }

 private:
  struct Line;
  static int on_due(void* line);
  void schedule(const Str& contact, const Str& text, bool greeting = false);
  const Persona* of(const Str& contact) const;

  Messenger& messenger_;
  int delay_ms_;
  std::vector<unsigned> timers_;
  std::vector<std::size_t> turns_;  // per persona, the small-talk turn
};

}  // namespace brevant::messenger
