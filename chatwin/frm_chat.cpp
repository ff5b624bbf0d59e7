// The companion window's life: its form and page, its settings, and giving everything back
// when it closes.

#include "chatwin/frm_chat.h"

#include <chrono>

#include "chatwin/companion_context.h"
#include "config/settings.h"
#include "platform/failure.h"
#include "platform/path.h"

namespace brevant {

frmChat::frmChat(CompanionContext& module)
    : TimerPos(module.loop(), 1),
      setalwinpre(module.loop(), 10),
      setWinpre(module.loop(), kGiveBackTick),
      set_foucs(module.loop(), 50),
      module_(module) {
  TimerPos.on_tick([this] { TimerPos_Timer(); });
  setalwinpre.on_tick([this] { setalwinpre_Timer(); });
  setWinpre.on_tick([this] { setWinpre_Timer(); });
  set_foucs.on_tick([this] { set_foucs_Timer(); });
  skip_failure("watch the desktop", [&] {
    desktop_watch_ = module_.desktop().watch_changes([this] { wake_placement(); });
  });
  skip_failure("create the form", [&] { form_ = module_.desktop().create_form(); });
  if (form_) {
    form_->browser().on_before_navigate(
        [this](const Str& url) { ChatBrowser_BeforeNavigate2(url); });
  }
  Form_Load();
}

frmChat::~frmChat() {
  if (closing_task_ != 0)
    module_.loop().cancel(closing_task_);
}

Hwnd frmChat::hwnd() const {
  return form_ && !form_->closed() ? form_->hwnd() : 0;
}

bool frmChat::page_ready() const {
  return form_ && !form_->closed();
}

void frmChat::Form_Load() {
  PreviewToggle = u"true";
  TranOn = false;
  SetOwner(hwnd(), 0);
  RefocusDone = false;
  RaiseDone = false;
  ShowOn = false;
  IsLive = true;
  StartFlag = u"false";
  Str lan;
  skip_failure("read the page language", [&] {
    lan = module_.settings().use(kConfigUinFile).GetValue(kConfigSection, kKeyLan);
  });
  const char16_t* page = nullptr;
  if (lan == u"cn") {
    page = kChinesePage;
    PageLan = u"chinese";
  } else if (lan == u"en") {
    page = kEnglishPage;
    PageLan = u"english";
  }
  if (page && form_) {
    const Str path = join_path(module_.settings().plugin_folder(), page);
    skip_failure("load the page", [&] { page_url_ = form_->browser().navigate_file(path); });
  }
  TimerPos.set_enabled(true);
}

void frmChat::frminit() {
  ChatSection = brevant::ChatSection(module_.own_id(), ContactId);
  CIniFile* ini = nullptr;
  skip_failure("open the settings", [&] { ini = &module_.settings().use(kConfigUinFile); });
  if (!ini)
    return;
  auto read = [&](StrView section, StrView key) {
    Str value;
    skip_failure("read a setting", [&] { value = ini->GetValue(section, key); });
    return value;
  };

  const Str mainlan = read(ChatSection, kKeyMainLan);
  const Str shuangdan = read(ChatSection, kKeyShuangdan);
  const Str preview = read(ChatSection, kKeyPreview);
  if (!mainlan.empty()) {
    UseDefaultLan = false;
    if (mainlan == u"ja")
      ForeignLan = u"japaness";
    else if (mainlan == u"en")
      ForeignLan = u"english";
  }
  if (shuangdan == u"dan")
    ShowFormat = u"Single";
  else if (shuangdan == u"shuang")
    ShowFormat = u"Double";
  if (preview == u"on")
    PreviewMode = u"Popen";
  else if (preview == u"off")
    PreviewMode = u"Pclose";

  // A per-chat word, even one the reader does not know, keeps the global default out.
  if (mainlan.empty()) {
    UseDefaultLan = true;
    const Str v = read(kConfigSection, kKeyConfigLan);
    if (v == u"en")
      ForeignLan = u"english";
    else if (v == u"ja")
      ForeignLan = u"japaness";
  }
  if (shuangdan.empty()) {
    const Str v = read(kConfigSection, kKeyConfigFormat);
    if (v == u"double")
      ShowFormat = u"Double";
    else if (v == u"single")
      ShowFormat = u"Single";
  }
  if (preview.empty()) {
    const Str v = read(kConfigSection, kKeyConfigPreview);
    if (v == u"off")
      PreviewMode = u"Pclose";
    else if (v == u"on")
      PreviewMode = u"Popen";
  }
}

std::int32_t frmChat::SetOwner(Hwnd hWndToUse, Hwnd hWndOfOwner) {
  Desktop& d = module_.desktop();
  const std::int32_t previous = d.SetWindowLongA(hWndToUse, kGwlHwndParent, hWndOfOwner);
  d.SetWindowLongA(hWndToUse, kGwlExStyle, kWsExToolWindow);
  return previous;
}

void frmChat::unload() {
  if (unloaded_)
    return;
  unloaded_ = true;
  IsLive = false;
  desktop_watch_.reset();
  TimerPos.set_enabled(false);
  setalwinpre.set_enabled(false);
  setWinpre.set_enabled(false);
  set_foucs.set_enabled(false);
  HostChat = nullptr;
  ShowOn = false;
  if (!form_)
    return;
  skip_failure("close the form", [&] { form_->close(); });
  closing_form_ = std::move(form_);
  closing_task_ = module_.loop().call_later(std::chrono::milliseconds(0), [this] {
    closing_task_ = 0;
    closing_form_.reset();
  });
}

bool frmChat::live() const {
  return IsLive && !unloaded_ && !(form_ && form_->closed());
}

TypedText frmChat::page_settings() const {
  return TypedText{Str(), Str(), ShowFormat, PreviewMode, PreviewToggle};
}

}  // namespace brevant
