#include "translate/frmmain.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "chatwin/frm_chat.h"
#include "config/settings.h"
#include "net/server_address.h"
#include "platform/failure.h"
#include "plugin/module.h"

namespace brevant {
namespace {

constexpr char16_t kDuo[] = u"<9koduo>";
constexpr char16_t kCrLf[] = u"\r\n";

struct Flag {
  bool two_part = false;
  Str part0;
  Str part1;
};

Flag parse_flag(const Str& flag) {
  Flag f;
  const auto at = flag.find(kDuo);
  if (at == Str::npos) {
    f.part0 = flag;
    return f;
  }
  f.two_part = true;
  f.part0 = flag.substr(0, at);
  const Str rest = flag.substr(at + Str(kDuo).size());
  // Only the piece up to a further marker counts, as a split would give it.
  const auto next = rest.find(kDuo);
  f.part1 = next == Str::npos ? rest : rest.substr(0, next);
  return f;
}

// The contact whose companion shows a received message.
Str display_key(const Str& flag) {
  const Flag f = parse_flag(flag);
  return f.two_part ? f.part1 : f.part0;
}

}  // namespace

Frmmain::Frmmain(Module& module)
    : KQTranR(module.loop(), module.http(),
              ini_server_address(module.profile(), module.code_page(), module.settings())),
      KQTranR1(module.loop(), module.http(),
               ini_server_address(module.profile(), module.code_page(), module.settings())),
      KQTranR2(module.loop(), module.http(),
               ini_server_address(module.profile(), module.code_page(), module.settings())),
      KQTranR3(module.loop(), module.http(),
               ini_server_address(module.profile(), module.code_page(), module.settings())),
      KQTranR4(module.loop(), module.http(),
               ini_server_address(module.profile(), module.code_page(), module.settings())),
      KQTranS(module.loop(), module.http(),
              ini_server_address(module.profile(), module.code_page(), module.settings())),
      module_(module) {
  module_.ChatWinCount = 0;
  module_.TabMode = false;
  module_.TabChanged = false;
  module_.RecvTurn = 0;
  module_.settings().use(kConfigImFile);

  for (int turn = 0; turn < 5; ++turn) {
    KQTran& t = receiver(turn);
    t.TisOK = [this, turn](const Str& trantext, const Str&, const Str&) {
      resolved(turn, trantext);
    };
    t.TisNone = [this, turn](const Str&) { resolved(turn, kNoTranslation); };
  }
  KQTranS.TisOK = [this](const Str& trantext, const Str& flag, const Str& YuanWen) {
    KQTranS_TisOK(trantext, flag, YuanWen);
  };
}

Frmmain::~Frmmain() {
  for (const auto& [key, check] : checks_)
    module_.loop().cancel(check.id);
}

KQTran& Frmmain::receiver(int turn) {
  switch (turn) {
    case 1:
      return KQTranR1;
    case 2:
      return KQTranR2;
    case 3:
      return KQTranR3;
    case 4:
      return KQTranR4;
    default:
      return KQTranR;
  }
}

std::int16_t Frmmain::WinIsExist(StrView fname) {
  std::int16_t found = 0;
  for (std::int32_t i = 1; i <= module_.ChatWinCount; ++i) {
    const frmChat* w = module_.ChatWin(i);
    if (w && w->ContactId == fname)
      found = static_cast<std::int16_t>(i);
  }
  return found;
}

frmChat* Frmmain::companion(const Str& contact_id) {
  return module_.ChatWin(WinIsExist(contact_id));
}

void Frmmain::send_tranit(StrView MainLan, StrView Text, StrView flag) {
  KQTranS.tranit(Str(MainLan), Str(Text), Str(flag));
}

void Frmmain::receive(const Str& lang, const Str& text, const Str& flag, const Str& original) {
  Job job{next_id_++, lang, text, flag, original};
  const Str key = display_key(flag);
  order_[key].push_back(Shown{job.id, module_.loop().now(), flag, original, std::nullopt});
  arm_check(key);
  waiting_.push_back(std::move(job));
  pump();
}

// Starts waiting messages on free receive translators, in turn.
void Frmmain::pump() {
  while (!waiting_.empty()) {
    int turn = -1;
    for (int step = 0; step < 5; ++step) {
      const int candidate = (module_.RecvTurn + step) % 5;
      if (!running_[candidate] && !receiver(candidate).busy()) {
        turn = candidate;
        break;
      }
    }
    if (turn < 0)
      return;
    Job job = std::move(waiting_.front());
    waiting_.pop_front();
    module_.RecvTurn = static_cast<std::int16_t>((turn + 1) % 5);
    start(turn, std::move(job));
  }
}

void Frmmain::start(int turn, Job job) {
  const Str lang = job.lang, text = job.text, flag = job.flag;
  running_[turn] = std::move(job);
  KQTran& t = receiver(turn);
  if (!skip_failure([&] { t.tranit(lang, text, flag); }) || (running_[turn] && !t.busy())) {
    // Nothing to ask (a blank text) or the start failed: shown without a translation.
    if (running_[turn])
      resolved(turn, kNoTranslation);
  }
}

void Frmmain::resolved(int turn, const Str& translation) {
  if (!running_[turn])
    return;
  const Job job = std::move(*running_[turn]);
  running_[turn].reset();
  const Str key = display_key(job.flag);
  bool found = false;
  if (auto it = order_.find(key); it != order_.end()) {
    for (Shown& m : it->second) {
      if (m.id == job.id) {
        m.translation = translation;
        found = true;
        break;
      }
    }
  }
  if (!found) {
    if (auto it = released_.find(job.id); it != released_.end()) {
      Shown m = std::move(it->second);
      released_.erase(it);
      m.translation = translation;
      deliver(m);
    }
  }
  show_in_order(key);
  pump();
}

// Shows the resolved messages at the head of a chat's order; a head that has waited too long
// steps aside and is shown when it is resolved.
void Frmmain::show_in_order(const Str& key) {
  auto it = order_.find(key);
  if (it == order_.end())
    return;
  const auto now = module_.loop().now();
  while (!it->second.empty()) {
    Shown& head = it->second.front();
    if (head.translation) {
      Shown m = std::move(head);
      it->second.pop_front();
      deliver(m);
      continue;
    }
    if (now - head.arrived >= kHoldBack) {
      released_.emplace(head.id, std::move(head));
      it->second.pop_front();
      continue;
    }
    break;
  }
  if (it->second.empty())
    order_.erase(it);
  arm_check(key);
}

// While a chat's first message is unresolved, one check is due when it stops holding the
// others back; none while nothing waits (an idle plug-in keeps no timer).
void Frmmain::arm_check(const Str& key) {
  auto check = checks_.find(key);
  auto it = order_.find(key);
  if (it == order_.end()) {
    if (check != checks_.end()) {
      module_.loop().cancel(check->second.id);
      checks_.erase(check);
    }
    return;
  }
  const auto due = it->second.front().arrived + kHoldBack;
  if (check != checks_.end()) {
    if (check->second.due == due)
      return;
    module_.loop().cancel(check->second.id);
    checks_.erase(check);
  }
  const auto delay = std::max(due - module_.loop().now(), std::chrono::milliseconds(0));
  const auto id = module_.loop().call_later(delay, [this, key] {
    checks_.erase(key);
    show_in_order(key);
  });
  checks_[key] = Check{id, due};
}

// The receive-result handler: one message into the companion it belongs to.
void Frmmain::deliver(const Shown& m) {
  skip_failure([&] {
    const Str trantext = replace_all(*m.translation, kCrLf, u" ");
    const Flag f = parse_flag(m.flag);
    const Str sender = f.part0;
    if (f.two_part) {
      frmChat* w = companion(f.part1);
      if (w && w->ShowOn && w->IsLive)
        w->push_incoming(m.original, trantext, sender);
      return;
    }
    frmChat* w = companion(m.flag);
    if (w && w->ShowOn && !module_.TabMode && w->IsLive)
      w->push_incoming(m.original, trantext, sender);
  });
}

void Frmmain::KQTranS_TisOK(const Str& trantext_in, const Str& flag, const Str& YuanWen) {
  bool isNotice = contains(trantext_in, u"<Notice>");
  const Flag f = parse_flag(flag);
  const Str key = f.two_part ? f.part1 : flag;
  frmChat* T = companion(key);
  if (!T)
    return;  // every later step needs the window where the text was typed
  const Str trantext = replace_all(trantext_in, kCrLf, u"");
  Str msg = T->ShowFormat == u"Double" ? YuanWen + kCrLf + trantext : trantext;
  frmChat* S = f.two_part ? companion(f.part0) : T;

  auto hand_over = [&](const Str& text) {
    if (isNotice)
      return;
    skip_failure([&] {
      if (!S || !S->HostChat)
        throw std::runtime_error("no host chat");
      S->HostChat->send_text(key, text, 0);
    });
    skip_failure([&] {
      if (S)
        S->getreg();
    });
  };

  if (T->PreviewMode == u"Popen" && T->PreviewToggle == u"true") {
    if (f.two_part) {
      msg = YuanWen;
    } else {
      isNotice = contains(YuanWen, u"Notice");
      // A reviewed bilingual text comes as "source[ translation ]": a line break before its
      // first "[", nothing from a second "[" on. A single-format text is the reviewed
      // translation alone and goes as it stands; cutting it at its own brackets would lose
      // what the user wrote after them.
      msg = YuanWen;
      const auto first = T->ShowFormat == u"Double" ? msg.find(u'[') : Str::npos;
      if (first != Str::npos) {
        const auto second = msg.find(u'[', first + 1);
        msg = msg.substr(0, first) + kCrLf +
              msg.substr(first, second == Str::npos ? Str::npos : second - first);
      }
    }
    hand_over(msg);
    skip_failure([&] { T->focuswin(); });
  }
  if (T->PreviewMode == u"Pclose") {
    hand_over(msg);
    skip_failure([&] { T->focuswin(); });
  }

  skip_failure([&] { T->send_to_web(YuanWen, trantext, module_.MainUinShort); });
  skip_failure([&] { T->focuswin(); });
  skip_failure([&] { T->web_set_foucs(); });
  if (f.two_part)
    skip_failure([&] { T->set_foucs.set_enabled(true); });
}

}  // namespace brevant
