#pragma once
// A whole plug-in on sim pieces for scenario tests: the plug-in object and both items of every
// chat window, driven through the SDK interfaces, with host chat windows on the sim desktop, a
// scripted translation server and the recording browsers of the companions.

#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "chatwin/frm_chat.h"
#include "chatwin/page_script.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_services.h"
#include "plugin/frmmain.h"
#include "plugin/items.h"
#include "plugin/module.h"
#include "plugin/plugin_objects.h"
#include "tests/support/profile_cases.h"
#include "tests/support/sim_host.h"

namespace brevant::testing {

struct HostChat {
  Str contact;
  Hwnd top = 0;
  Hwnd button = 0;
  Hwnd input = 0;  // the input item's parent window, three levels below `top`
  std::shared_ptr<sim_host::Chat> chat;
  std::shared_ptr<sim_host::Slot> slot;
  std::unique_ptr<VbImChatMainPlugin> main_item;
  std::unique_ptr<VbImChatInputPlugin> input_item;
};

class Conversation {
 public:
  // `ini`: the text of configUIN.ini in the plug-in folder.
  explicit Conversation(const std::string& ini = "[config]\r\nlan=cn\r\n")
      : sim_(make_sim_services(from_utf8(folder_.path().string()))),
        clock(*sim_.clock),
        http(*sim_.http),
        desktop(*sim_.desktop),
        ui(*sim_.ui),
        module(std::move(sim_.services)),
        plugin(module) {
    std::ofstream(folder_.path() / "configUIN.ini", std::ios::binary) << ini;
  }

  void login(const Str& own = u"cnquorinalice") {
    plugin.OnConnect(std::make_shared<sim_host::Application>(own), 7);
    plugin.OnNotify(0, nullptr);
  }

  // A host chat window with both items; translation switched on and the page ready unless told.
  HostChat& open(const Str& contact, bool translate = true, bool page_ready = true,
                 const Str& send_caption = u"\u53D1\u9001") {
    auto c = std::make_unique<HostChat>();
    c->contact = contact;
    const Str title = contact_short(contact) + u" - " + strip_site_prefixes(module.MainUin);
    const std::int32_t x = 100 + 20 * static_cast<std::int32_t>(chats.size());
    c->top = desktop.create_window(u"StandardFrame", title, 0, Rect{x, 50, x + 600, 450});
    desktop.ShowWindow(c->top, kSwShow);
    c->button = desktop.create_window(u"StandardButton", send_caption, c->top);
    const Hwnd a = desktop.create_window(u"Panel", u"", c->top);
    const Hwnd b = desktop.create_window(u"Panel", u"", a);
    c->input = desktop.create_window(u"Input", u"", b);
    c->chat = std::make_shared<sim_host::Chat>(contact);
    c->slot = std::make_shared<sim_host::Slot>(c->chat, std::vector<Str>{contact});
    c->main_item = std::make_unique<VbImChatMainPlugin>(module);
    c->input_item = std::make_unique<VbImChatInputPlugin>(module);
    c->main_item->OnCreate(c->slot, c->input, 1);
    c->input_item->OnCreate(c->slot, c->input, 2);
    chats.push_back(std::move(c));
    HostChat& chat = *chats.back();
    if (translate)
      chat.input_item->OnClick();
    if (page_ready)
      ready(module.companions().count());
    return chat;
  }

  frmChat& window(std::int32_t index) { return *module.ChatWin(index); }
  RecordingBrowser& browser(std::int32_t index) {
    return static_cast<RecordingBrowser&>(desktop.form(window(index).hwnd())->browser());
  }
  // The page of window `index` reports that it is ready.
  void ready(std::int32_t index) {
    browser(index).navigate(window(index).page_url() + u"#WebOk`");
    browser(index).clear();
  }
  // The PushMsg lines window `index` received (and forgets them).
  std::vector<Str> pushed(std::int32_t index) {
    std::vector<Str> lines;
    for (const Str& line : browser(index).lines()) {
      if (line.rfind(u"PushMsg(", 0) == 0)
        lines.push_back(line);
    }
    browser(index).clear();
    return lines;
  }

  // The user types `text` in the page of window `index` and sends it, as the page reports it.
  void type(std::int32_t index, StrView text, StrView preview = u"Pclose",
            StrView format = u"Single") {
    static const char hex[] = "0123456789ABCDEF";
    Str url = window(index).page_url() + u"#Word_From_User";
    for (const Str& arg : {Str(text), Str(u"english"), Str(preview), Str(format), Str()}) {
      std::string encoded;
      for (const unsigned char b : to_utf8(arg)) {
        if (std::isalnum(b)) {
          encoded += static_cast<char>(b);
        } else {
          encoded += '%';
          encoded += hex[b >> 4];
          encoded += hex[b & 15];
        }
      }
      url += u"%60" + from_utf8(encoded);
    }
    browser(index).navigate(url);
  }

  void incoming(const Str& from, const Str& text, bool handle = true) {
    plugin.OnNotify(3, std::make_shared<sim_host::ChatMessage>(from, text, handle));
  }
  Frmmain& coordinator() { return module.coordinator(); }

 private:
  profile_cases::TempFolder folder_;
  SimServices sim_;

 public:
  VirtualClock& clock;
  ScriptedHttp& http;
  SimDesktop& desktop;
  ScriptedUi& ui;
  Module module;
  VbBrevant plugin;
  std::vector<std::unique_ptr<HostChat>> chats;
};

// The PushMsg line of an incoming message as the page must receive it.
inline Str incoming_line(StrView source, StrView translation, StrView sender,
                         StrView format = u"") {
  const Str args[] = {Str(source), Str(translation), u"false", u"Pclose",
                      Str(format), Str(sender),      u"true"};
  return script_line(u"PushMsg", args);
}

}  // namespace brevant::testing
