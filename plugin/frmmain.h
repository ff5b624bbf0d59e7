#pragma once
// Frmmain, the hidden coordinator and router: one per process. It owns the five receive
// translators and the send translator; it decides the route of every incoming message and
// typed text, shows each result in the companion of its route's chat (checked again when the
// result comes back), and hands typed texts to their host chat one after another, in the order
// typed.

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>

#include "chatwin/companion_coordinator.h"
#include "platform/event_loop.h"
#include "platform/text.h"
#include "plugin/route.h"
#include "translate/kqtran.h"

namespace brevant {

class Module;

class Frmmain final : public CompanionCoordinator {
 public:
  // Selects "configIM.ini" in the shared settings object.
  explicit Frmmain(Module& module);
  ~Frmmain() override;
  Frmmain(const Frmmain&) = delete;
  Frmmain& operator=(const Frmmain&) = delete;

  // A message that has waited this long for its translation no longer holds back the later
  // messages of its chat; it is shown when it is resolved.
  static constexpr std::chrono::milliseconds kHoldBack{5000};

  KQTran KQTranR;
  KQTran KQTranR1;
  KQTran KQTranR2;
  KQTran KQTranR3;
  KQTran KQTranR4;
  KQTran KQTranS;

  // The index of the newest live companion of a contact, 0 when none.
  std::int16_t WinIsExist(StrView fname);

  void typed(Companion& from, TypedText text) override;

  // An incoming message from `sender` for translation: `lang` "en" or "ja", `text` the copy
  // prepared for the server, `original` the message as the contact wrote it (shown).
  // It starts on the receive translator whose turn it is when that one is free, else on the next
  // free one in turn; when all five are busy it waits, first in, first out.
  void receive(const Str& lang, const Str& text, const Str& sender, const Str& original);
  // A message from `sender` that carries its own translation: shown as `shown`, in its place
  // among the chat's messages still being translated.
  void receive_shown(const Str& sender, const Str& shown);

  // A host window now shows the tab of `contact` (empty: it shows no tabs); a text typed beside
  // that window goes to the tab shown.
  void tab_shown(Hwnd host, const Str& contact);
  Str tab_contact(Hwnd host) const;

  // The receive translator for a turn 0..4, and the turn of the next message.
  KQTran& receiver(int turn);
  std::int16_t recv_turn() const { return recv_turn_; }
  // Messages waiting for a free receive translator; typed texts not yet handed over.
  std::size_t waiting() const { return waiting_.size(); }
  std::size_t typed_waiting() const { return typed_.size(); }
  // Incoming messages whose chat had no live companion when their result came.
  std::uint64_t dropped() const { return dropped_; }

  // The send translator's result for the typed text at the head of the queue. Without one
  // (a test calling it), for a text routed by `flag` with its companion's settings now.
  void KQTranS_TisOK(const Str& trantext, const Str& flag, const Str& YuanWen);

 private:
  struct Job {
    std::uint64_t id = 0;
    Str lang;
    Str text;
    Route route;
    Str original;
  };
  // One incoming message in the display order of its chat.
  struct Shown {
    std::uint64_t id = 0;
    std::chrono::milliseconds arrived{0};
    Route route;
    Str original;
    std::optional<Str> translation;  // set when resolved (kNoTranslation when none came)
    std::optional<Str> as_given;     // a message shown as the host gave it
  };
  struct Typed {
    Route route;
    TypedText text;
  };

  void pump();
  void start(int turn, Job job);
  void resolved(int turn, const Str& translation);
  void show_in_order(const Str& key);
  void arm_check(const Str& key);
  void deliver(const Shown& message);
  // The companion of a route's chat now: the one decided, while it is live, else the contact's
  // newest live one.
  Companion* resolve(const Route& route);
  void send_next();
  void typed_done(const Typed& job, const Str* trantext, const Str& YuanWen);

  Module& module_;
  std::int16_t recv_turn_ = 0;
  std::uint64_t next_id_ = 1;
  std::deque<Job> waiting_;
  std::array<std::optional<Job>, 5> running_;
  // Per chat (the contact whose companion shows it): messages in arrival order.
  std::map<Str, std::deque<Shown>> order_;
  // Messages that stopped holding back their chat and are shown when resolved.
  std::map<std::uint64_t, Shown> released_;
  struct Check {
    EventLoop::TaskId id = 0;
    std::chrono::milliseconds due{0};
  };
  std::map<Str, Check> checks_;
  std::uint64_t dropped_ = 0;
  // Typed texts in the order typed; the head is on the send translator while sending_.
  std::deque<Typed> typed_;
  bool sending_ = false;
  EventLoop::TaskId send_task_ = 0;
  std::map<Hwnd, Str> tabs_;
};

}  // namespace brevant
