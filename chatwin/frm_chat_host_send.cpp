// Host send: the text that goes into the host chat, handing it over and pressing that chat's
// Send button.

#include "chatwin/frm_chat.h"

#include <stdexcept>

#include "chatwin/companion_context.h"
#include "platform/failure.h"

namespace brevant {

void frmChat::hand_to_host(const Str& recipient, const Str& text) {
  if (!HostChat)
    throw std::runtime_error("no host chat");
  HostChat(recipient, text);
  skip_failure("press Send", [&] { getreg(); });
}

std::optional<Str> compose_sent(const TypedText& typed, const Str& trantext_in, const Str& YuanWen,
                                bool addressed_elsewhere) {
  bool isNotice = contains(trantext_in, u"<Notice>");
  const Str trantext = replace_all(trantext_in, u"\r\n", u"");
  Str msg = typed.format == u"Double" ? YuanWen + u"\r\n" + trantext : trantext;
  if (typed.preview == u"Popen" && typed.toggle == u"true") {
    msg = YuanWen;
    if (!addressed_elsewhere) {
      isNotice = contains(YuanWen, u"<Notice>");
      // A reviewed bilingual text comes as "source[ translation ]": a line break before its
      // first "[", nothing from a second "[" on. A single-format text is the reviewed
      // translation alone and goes as it stands; cutting it at its own brackets would lose
      // what the user wrote after them.
      const auto first = typed.format == u"Double" ? msg.find(u'[') : Str::npos;
      if (first != Str::npos) {
        const auto second = msg.find(u'[', first + 1);
        msg = msg.substr(0, first) + u"\r\n" +
              msg.substr(first, second == Str::npos ? Str::npos : second - first);
      }
    }
  } else if (typed.preview != u"Pclose") {
    return std::nullopt;  // offered for review only
  }
  if (isNotice)
    return std::nullopt;
  return msg;
}

Hwnd frmChat::find_send_button(Hwnd frame) {
  Desktop& d = module_.desktop();
  Hwnd button = d.FindWindowExA(frame, 0, kHostButtonClass, kSendChinese);
  if (button == 0)
    button = d.FindWindowExA(frame, 0, kHostButtonClass, kSendEnglish);
  return button;
}

// Only this companion's own chat: pressing Send in whichever chat the system lists first would
// send another conversation's draft to another person.
void frmChat::getreg() {
  Desktop& d = module_.desktop();
  if (HostWnd == 0)
    return;
  const Str title = d.GetWindowTextA(HostWnd, 800);
  Hwnd button = find_send_button(HostWnd);
  if (button == 0 && !title.empty()) {
    const Hwnd frame = d.FindWindowA(kHostFrameClass, title);
    if (frame != 0 && frame != HostWnd)
      button = find_send_button(frame);
  }
  if (button == 0)
    return;
  d.PostMessageA(button, kWmLButtonDown, 0, kClickAt2x2);
  d.PostMessageA(button, kWmLButtonUp, 0, kClickAt2x2);
}

}  // namespace brevant
