#include "plugin/frmmain.h"

#include <algorithm>
#include <utility>

#include "chatwin/companion_registry.h"
#include "config/settings.h"
#include "net/server_address.h"
#include "platform/failure.h"
#include "plugin/module.h"

namespace brevant {
namespace {

constexpr char16_t kCrLf[] = u"\r\n";

// Markup words that the host would take for page structure: a text typed for the own chat that
// holds one is not sent (the page refuses it before it gets here).
constexpr StrView kRefusedMarkup[] = {u"<html>", u"</html>", u"<h1>", u"<table>",
                                      u"<DIV>",  u"<tr>",    u"<td>"};

bool refused_markup(const Str& text) {
  return std::any_of(std::begin(kRefusedMarkup), std::end(kRefusedMarkup),
                     [&](StrView word) { return contains(text, word); });
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
  KQTranS.TisNone = [this](const Str&) {
    if (!sending_ || typed_.empty())
      return;
    const Typed job = std::move(typed_.front());
    typed_.pop_front();
    sending_ = false;
    typed_done(job, nullptr, job.text.text);
    send_next();
  };
}

Frmmain::~Frmmain() {
  for (const auto& [key, check] : checks_)
    module_.loop().cancel(check.id);
  if (send_task_ != 0)
    module_.loop().cancel(send_task_);
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
  return static_cast<std::int16_t>(module_.companions().live_index(fname));
}

Companion* Frmmain::resolve(const Route& route) {
  const CompanionRegistry& registry = module_.companions();
  Companion* decided = registry.companion(route.companion);
  if (decided && decided->live() && decided->contact() == route.chat)
    return decided;
  return registry.live_companion(route.chat);
}

void Frmmain::tab_shown(Hwnd host, const Str& contact) {
  if (contact.empty())
    tabs_.erase(host);
  else
    tabs_[host] = contact;
}

Str Frmmain::tab_contact(Hwnd host) const {
  const auto it = tabs_.find(host);
  return it == tabs_.end() ? Str() : it->second;
}

// ------------------------------------------------------------------ typed texts

void Frmmain::typed(Companion& from, TypedText text) {
  Route route{from.contact(), from.contact(), module_.companions().index_of(&from)};
  const Str tab = tab_contact(from.host_window());
  if (!tab.empty())
    route.peer = tab;  // the tab shown in this companion's own host window
  else if (refused_markup(text.text))
    return;
  typed_.push_back(Typed{std::move(route), std::move(text)});
  if (!sending_ && send_task_ == 0)
    send_next();
}

// One typed text at a time on the send translator, so that a later one never abandons an
// earlier one and each chat gets its texts in the order typed.
void Frmmain::send_next() {
  if (sending_ || typed_.empty())
    return;
  sending_ = true;
  const Typed& job = typed_.front();
  const TypedText text = job.text;
  const Str tag = encode_route(job.route);
  skip_failure("start a send translation", [&] { KQTranS.tranit(text.lang, text.text, tag); });
  if (sending_ && !KQTranS.busy()) {
    // Nothing for the engines to translate (a blank text): it is not sent.
    const Typed done = std::move(typed_.front());
    typed_.pop_front();
    sending_ = false;
    typed_done(done, nullptr, done.text.text);
    send_next();
  }
}

void Frmmain::KQTranS_TisOK(const Str& trantext, const Str& flag, const Str& YuanWen) {
  if (sending_ && !typed_.empty()) {
    const Typed job = std::move(typed_.front());
    typed_.pop_front();
    sending_ = false;
    typed_done(job, &trantext, YuanWen);
    // The next text starts after this result's handler has returned to its translator.
    if (!typed_.empty() && send_task_ == 0) {
      send_task_ = module_.loop().call_later(std::chrono::milliseconds(0), [this] {
        send_task_ = 0;
        send_next();
      });
    }
    return;
  }
  Typed job{decode_route(flag), {}};
  if (Companion* c = module_.companions().live_companion(job.route.chat))
    job.text = c->page_settings();
  typed_done(job, &trantext, YuanWen);
}

void Frmmain::typed_done(const Typed& job, const Str* trantext_in, const Str& YuanWen) {
  Companion* T = resolve(job.route);
  if (!T)
    return;  // no page of that chat is open any more: nothing is sent
  if (!trantext_in) {
    skip_failure("show a text as failed", [&] { T->show_failed(job.text); });
    return;
  }
  const Str trantext = replace_all(*trantext_in, kCrLf, u"");
  const bool elsewhere = job.route.addressed_elsewhere();
  const std::optional<Str> msg = compose_sent(job.text, *trantext_in, YuanWen, elsewhere);
  if (msg) {
    // The tab's chat when the text is addressed to the tab shown beside it, else its own.
    Companion* S = T;
    if (elsewhere) {
      Companion* tab = module_.companions().live_companion(job.route.peer);
      if (tab && tab->host_window() == T->host_window())
        S = tab;
    }
    if (!skip_failure("hand a text to the chat", [&] { S->hand_to_host(job.route.chat, *msg); })) {
      skip_failure("show a text as failed", [&] { T->show_failed(job.text); });
      return;
    }
  }
  skip_failure("show a text as sent",
               [&] { T->show_sent(job.text, YuanWen, trantext, module_.MainUinShort, elsewhere); });
}

// ------------------------------------------------------------------ incoming messages

void Frmmain::receive(const Str& lang, const Str& text, const Str& sender, const Str& original) {
  Route route{sender, sender, module_.companions().live_index(sender)};
  Job job{next_id_++, lang, text, route, original};
  order_[sender].push_back(Shown{job.id, module_.loop().now(), route, original, std::nullopt, {}});
  arm_check(sender);
  waiting_.push_back(std::move(job));
  pump();
}

void Frmmain::receive_shown(const Str& sender, const Str& shown) {
  Route route{sender, sender, module_.companions().live_index(sender)};
  order_[sender].push_back(Shown{next_id_++, module_.loop().now(), route, Str(), Str(), shown});
  show_in_order(sender);
}

// Starts waiting messages on free receive translators, in turn.
void Frmmain::pump() {
  while (!waiting_.empty()) {
    int turn = -1;
    for (int step = 0; step < 5; ++step) {
      const int candidate = (recv_turn_ + step) % 5;
      if (!running_[candidate] && !receiver(candidate).busy()) {
        turn = candidate;
        break;
      }
    }
    if (turn < 0)
      return;
    Job job = std::move(waiting_.front());
    waiting_.pop_front();
    recv_turn_ = static_cast<std::int16_t>((turn + 1) % 5);
    start(turn, std::move(job));
  }
}

void Frmmain::start(int turn, Job job) {
  const Str lang = job.lang, text = job.text, tag = encode_route(job.route);
  running_[turn] = std::move(job);
  KQTran& t = receiver(turn);
  if (!skip_failure("start a receive translation", [&] { t.tranit(lang, text, tag); }) ||
      (running_[turn] && !t.busy())) {
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
  const Str& key = job.route.chat;
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

// The receive-result handler: one message into the companion of its chat, if one is open.
void Frmmain::deliver(const Shown& m) {
  Companion* w = resolve(m.route);
  if (!w || !w->page_shown()) {
    ++dropped_;
    return;
  }
  skip_failure("show an incoming message", [&] {
    if (m.as_given)
      w->push_shown(*m.as_given);
    else
      w->push_incoming(m.original, replace_all(*m.translation, kCrLf, u" "), m.route.peer);
  });
}

}  // namespace brevant
