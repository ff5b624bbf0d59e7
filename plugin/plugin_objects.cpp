#include "plugin/plugin_objects.h"

#include <utility>
#include <vector>

#include "chatwin/frm_chat.h"
#include "chatwin/page_script.h"
#include "plugin/checkinputweb.h"
#include "plugin/frmmain.h"
#include "plugin/module.h"

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
    skip_failure("login", [&] { login(); });
  } else if (MsgID == kNotifyChatMessage) {
    chat_message(pParam);
  }
}

void VbBrevant::OnUninstall() {}

void VbBrevant::checkinputweb(Str& inputval) {
  brevant::checkinputweb(inputval);
}

void VbBrevant::login() {
  // Not connected yet, or the host has no account: nothing to take.
  if (!module_.App)
    return;
  const auto account = module_.App->current_account();
  if (!account)
    return;
  const Str id = account->id();
  module_.MainUin = id;
  module_.MainUinShort = strip_site_prefixes(id);
  module_.coordinator();
}

void VbBrevant::chat_message(const std::shared_ptr<sdk::Object>& pParam) {
  const auto message = sdk::as<sdk::ChatMessage>(pParam);
  if (!message)
    return;
  Str sender, original;
  bool handle = false;
  skip_failure("message sender", [&] { sender = message->sender_id(); });
  skip_failure("message text", [&] { original = message->text(); });
  skip_failure("message handle", [&] { handle = message->handle(); });
  if (!handle)
    return;
  const Str text = replace_all(original, u" ", u"%20");
  if (contains(text, u"[") && contains(text, u"]")) {
    bracketed(sender, text);
  } else {
    plain(sender, text, original);
  }
}

// A message to translate, for the sender's own companion window.
void VbBrevant::plain(const Str& sender, const Str& text_in, const Str& original) {
  Frmmain& router = module_.coordinator();
  const frmChat* own = module_.companions().live_of_contact(sender);
  if (!own || !own->TranOn)
    return;
  // The sender's own companion says which language this contact writes.
  Str lang = u"en";
  if (own->ForeignLan == u"english") {
    lang = u"en";
  } else if (own->ForeignLan == u"japaness") {
    lang = u"ja";
  }
  Str text = replace_all(text_in, u" ", u"%20");
  skip_failure("normalise a message", [&] { checkinputweb(text); });
  router.receive(lang, text, sender, original);
}

// A message that carries its source text in brackets: shown as it is, in the sender's own
// companion, tabs or not.
void VbBrevant::bracketed(const Str& sender, Str text) {
  Str shown;
  const std::vector<Str> lines = split(text, kCrLf);
  const bool has_second = lines.size() >= 2;
  const Str second = has_second ? lines[1] : Str();
  if (!has_second || !second.empty()) {
    shown = text + kVera + sender;
    if (has_second)
      text = second;
  }
  if (!has_second || (contains(second, u"[") && contains(second, u"]")))
    shown = replace_all(shown, kCrLf, u"") + kVera + sender;
  // An empty second line leaves nothing to show: no empty bubble.
  if (shown.empty() || !module_.companions().live_of_contact(sender))
    return;
  skip_failure("show a bracketed message",
               [&] { module_.coordinator().receive_shown(sender, shown); });
}

}  // namespace brevant
