#include "plugin/plugin_objects.h"

#include <utility>
#include <vector>

#include "chatwin/frm_chat.h"
#include "chatwin/page_script.h"
#include "plugin/checkinputweb.h"
#include "translate/frmmain.h"

namespace brevant {
namespace {

constexpr std::int32_t kNotifyLogin = 0;
constexpr std::int32_t kNotifyChatMessage = 3;
constexpr char16_t kVera[] = u"[9kovera]";
constexpr char16_t kCrLf[] = u"\r\n";

}  // namespace

void VbBrevant::OnConnect(std::shared_ptr<sdk::Object> pApplication, std::int32_t lPluginCookie) {
  module_.PluginCookie = lPluginCookie;
  // An object without the application role leaves App empty; later uses of it fail and
  // their steps are skipped.
  module_.App = sdk::as<sdk::Application>(pApplication);
}

// Nothing is torn down at disconnection: later notifications still use App.
void VbBrevant::OnDisconnect(std::shared_ptr<sdk::Object>, std::int32_t) {}

void VbBrevant::OnNotify(std::int32_t MsgID, std::shared_ptr<sdk::Object> pParam) {
  if (MsgID == kNotifyLogin) {
    // No step is guarded: a failing host call ends the handling of the login.
    skip_failure([&] { login(); });
  } else if (MsgID == kNotifyChatMessage) {
    chat_message(pParam);
  }
}

void VbBrevant::OnUninstall() {}

void VbBrevant::checkinputweb(Str& inputval) {
  brevant::checkinputweb(inputval);
}

void VbBrevant::login() {
  if (!module_.App)
    throw sdk::HostError("not connected");
  const auto account = module_.App->current_account();
  if (!account)
    throw sdk::HostError("no account");
  const Str id = account->id();
  module_.MainUin = id;
  module_.MainUinShort = strip_site_prefixes(id);
  module_.coordinator();
}

void VbBrevant::chat_message(const std::shared_ptr<sdk::Object>& pParam) {
  const auto message = sdk::as<sdk::ChatMessage>(pParam);
  if (!message)
    return;
  Module& m = module_;
  Str original;
  bool handle = false;
  skip_failure([&] { m.LastFrom = message->sender_id(); });
  skip_failure([&] {
    original = message->text();
    m.LastMsg = original;
  });
  skip_failure([&] { handle = message->handle(); });
  if (!handle)
    return;
  m.LastMsg = replace_all(m.LastMsg, u" ", u"%20");
  m.MsgFrom = m.LastFrom;
  if (contains(m.LastMsg, u"[") && contains(m.LastMsg, u"]")) {
    bracketed();
  } else {
    plain(original);
  }
}

// A message to translate, from the sender's own companion window.
void VbBrevant::plain(const Str& original) {
  Module& m = module_;
  Frmmain& coordinator = m.coordinator();
  frmChat* own = m.ChatWin(coordinator.WinIsExist(m.MsgFrom));
  if (!own || !own->TranOn)
    return;
  Str text = m.LastMsg;
  Str flag = m.MsgFrom;
  // The sender's own companion says which language this contact writes.
  Str lang = u"en";
  if (own->ForeignLan == u"english") {
    lang = u"en";
  } else if (own->ForeignLan == u"japaness") {
    lang = u"ja";
  }
  text = replace_all(text, u" ", u"%20");
  skip_failure([&] { checkinputweb(text); });
  if (m.TabMode) {
    Str live;
    for (std::int32_t i = 1; i <= m.ChatWinCount; ++i) {
      const frmChat* w = m.ChatWin(i);
      if (w && w->IsLive)
        live = w->ContactId;
    }
    flag = m.MsgFrom + u"<9koduo>" + live;
  }
  coordinator.receive(lang, text, flag, original);
}

// A message that carries its source text in brackets: shown as it is.
void VbBrevant::bracketed() {
  Module& m = module_;
  Str shown;
  const std::vector<Str> lines = split(m.LastMsg, kCrLf);
  const bool has_second = lines.size() >= 2;
  const Str second = has_second ? lines[1] : Str();
  if (!has_second || !second.empty()) {
    shown = m.LastMsg + kVera + m.MsgFrom;
    if (has_second)
      m.LastMsg = second;
  }
  if (!has_second || (contains(second, u"[") && contains(second, u"]"))) {
    m.LastMsg = replace_all(m.LastMsg, kCrLf, u"");
    shown = replace_all(shown, kCrLf, u"") + kVera + m.MsgFrom;
  }
  if (m.TabMode)
    return;
  skip_failure([&] {
    frmChat* w = m.ChatWin(m.coordinator().WinIsExist(m.MsgFrom));
    if (w && w->ShowOn && w->IsLive)
      w->pushmsg_to_web(shown);
  });
}

}  // namespace brevant
