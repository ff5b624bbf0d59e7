#pragma once
// Frmmain, the hidden coordinator: one per process. It owns the five receive translators and
// the send translator, spreads incoming messages over the receive translators, shows each
// result in the right companion window, and hands sent translations to the host chat.

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>

#include "chatwin/companion_coordinator.h"
#include "platform/event_loop.h"
#include "platform/text.h"
#include "translate/kqtran.h"

namespace brevant {

class Module;
class frmChat;

// Shown as the translation of an incoming message when no engine answered, so that the page can
// tell "no translation came back" from an empty one.
inline constexpr char16_t kNoTranslation[] = u"9konotran";

class Frmmain final : public CompanionCoordinator {
 public:
  // Form creation: resets the window list, the tab state and the receive turn, and selects
  // "configIM.ini" in the shared settings object.
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

  // The highest index in 1..ChatWinCount whose window has this ContactId, 0 when none.
  std::int16_t WinIsExist(StrView fname) override;
  // Starts KQTranS on a text typed in a companion page.
  void send_tranit(StrView MainLan, StrView Text, StrView flag) override;

  // An incoming message for translation: `lang` "en" or "ja", `text` the copy prepared for the
  // server, `flag` the routing tag, `original` the message as the contact wrote it (shown).
  // It starts on the receive translator whose turn it is when that one is free, else on the next
  // free one in turn; when all five are busy it waits, first in, first out.
  void receive(const Str& lang, const Str& text, const Str& flag, const Str& original);

  // The receive translator for a turn 0..4.
  KQTran& receiver(int turn);
  // Messages waiting for a free receive translator.
  std::size_t waiting() const { return waiting_.size(); }

  // The send-result handler (also called directly by tests).
  void KQTranS_TisOK(const Str& trantext, const Str& flag, const Str& YuanWen);

 private:
  struct Job {
    std::uint64_t id = 0;
    Str lang;
    Str text;
    Str flag;
    Str original;
  };
  // One incoming message in the display order of its chat.
  struct Shown {
    std::uint64_t id = 0;
    std::chrono::milliseconds arrived{0};
    Str flag;
    Str original;
    std::optional<Str> translation;  // set when resolved (kNoTranslation when none came)
  };

  void pump();
  void start(int turn, Job job);
  void resolved(int turn, const Str& translation);
  void show_in_order(const Str& key);
  void arm_check(const Str& key);
  void deliver(const Shown& message);
  frmChat* companion(const Str& contact_id);

  Module& module_;
  std::uint64_t next_id_ = 1;
  std::deque<Job> waiting_;
  std::array<std::optional<Job>, 5> running_;
  // Per display key (the contact whose companion shows it): messages in arrival order.
  std::map<Str, std::deque<Shown>> order_;
  // Messages that stopped holding back their chat and are shown when resolved.
  std::map<std::uint64_t, Shown> released_;
  struct Check {
    EventLoop::TaskId id = 0;
    std::chrono::milliseconds due{0};
  };
  std::map<Str, Check> checks_;
};

}  // namespace brevant
