#include "chatwin/frm_chat.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <stdexcept>

#include "chatwin/checkinput.h"
#include "chatwin/companion_coordinator.h"
#include "chatwin/page_script.h"
#include "config/settings.h"
#include "config/settings_dialog.h"
#include "platform/failure.h"
#include "platform/path.h"
#include "plugin/module.h"
#include "translate/text_classifiers.h"

namespace brevant {
namespace {

// Pixels times a twips factor, kept inside the integer range whatever a window reports.
int twips(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

// Element `i` of a split, or "" when the text has fewer parts.
Str part(const std::vector<Str>& parts, std::size_t i) {
  return i < parts.size() ? parts[i] : Str();
}

// Argument `i` into `field`; a missing argument leaves the field as it was.
void take(const std::vector<Str>& args, std::size_t i, Str& field) {
  if (i < args.size())
    field = args[i];
}

constexpr char16_t kVoiceMarker[] = u"<9kovoice>";
constexpr char16_t kCodePageKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";
// Present only where the system can show Chinese.
constexpr char16_t kChineseCodePage[] = u"50227";

}  // namespace

struct frmChat::Command {
  const char16_t* word;
  void (frmChat::*run)(const std::vector<Str>& args);
};

// The page's command words, compared exactly and in this order.
const std::vector<frmChat::Command>& frmChat::commands() {
  static const std::vector<Command> table = {
      {u"Word_From_User", &frmChat::Word_From_User},
      {u"voice", &frmChat::voice},
      {u"send_to_skype", &frmChat::send_to_skype},
      {u"skype_re_read", &frmChat::skype_re_read},
      {u"skype_open", &frmChat::skype_open},
      {u"skype_stop", &frmChat::skype_stop},
      {u"set_en", &frmChat::page_setting},
      {u"set_ja", &frmChat::page_setting},
      {u"set_single", &frmChat::page_setting},
      {u"set_double", &frmChat::page_setting},
      {u"set_previewopen", &frmChat::page_setting},
      {u"set_previewcclose", &frmChat::preview_switched_off},
      {u"setfull", &frmChat::setfull},
      {u"setfullen", &frmChat::setfullen},
      {u"WebOk", &frmChat::WebOk},
      {u"msn_set_voice", &frmChat::msn_set_voice},
      {u"setclose", &frmChat::setclose},
      {u"msn_buy", &frmChat::msn_buy},
  };
  return table;
}

frmChat::frmChat(Module& module)
    : TimerPos(module.loop(), 1),
      setalwinpre(module.loop(), 10),
      setWinpre(module.loop(), 10),
      set_foucs(module.loop(), 50),
      module_(module) {
  TimerPos.on_tick([this] { TimerPos_Timer(); });
  setalwinpre.on_tick([this] { setalwinpre_Timer(); });
  setWinpre.on_tick([this] { setWinpre_Timer(); });
  set_foucs.on_tick([this] { set_foucs_Timer(); });
  skip_failure(
      [&] { desktop_watch_ = module_.desktop().watch_changes([this] { wake_placement(); }); });
  skip_failure([&] { form_ = module_.desktop().create_form(); });
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
  WinIndex = module_.companions().count() + 1;
  SetOwner(hwnd(), 0);
  RefocusDone = false;
  RaiseDone = false;
  ShowOn = false;
  IsLive = true;
  StartFlag = u"false";
  Str lan;
  skip_failure(
      [&] { lan = module_.settings().use(kConfigUinFile).GetValue(kConfigSection, kKeyLan); });
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
    skip_failure([&] { page_url_ = form_->browser().navigate_file(path); });
  }
  TimerPos.set_enabled(true);
}

void frmChat::frminit() {
  ChatSection = brevant::ChatSection(module_.MainUin, ContactId);
  CIniFile* ini = nullptr;
  skip_failure([&] { ini = &module_.settings().use(kConfigUinFile); });
  if (!ini)
    return;
  auto read = [&](StrView section, StrView key) {
    Str value;
    skip_failure([&] { value = ini->GetValue(section, key); });
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

// ------------------------------------------------------------------ placement

void frmChat::TimerPos_Timer() {
  if (form_ && form_->closed()) {
    unload();  // closed from outside: the same way out as the plug-in's own close
    return;
  }
  if (ShowState != 1 && ShowState != 2) {
    note_tick(last_tick_.show_state == ShowState);
    last_tick_.show_state = ShowState;
    return;
  }
  if (!IsLive) {
    unload();
    return;
  }
  Desktop& d = module_.desktop();
  Rect r;
  if (d.GetWindowRect(HostWnd, r))
    HostRect_ = r;
  const std::int64_t tx = d.TwipsPerPixelX();
  const std::int64_t ty = d.TwipsPerPixelY();
  const TickInputs inputs{ShowState, HostWnd, HostRect_,   d.GetForegroundWindow(),
                          tx,        ty,      page_ready()};
  const bool same_inputs = inputs == last_tick_;
  last_tick_ = inputs;

  if (ShowState == 2) {
    const bool moved =
        place(twips((HostRect_.right - kCollapsedInset) * tx),
              twips((HostRect_.top - kCollapsedInset) * ty), kCollapsedSize, kCollapsedSize);
    note_tick(same_inputs && !moved);
    return;
  }

  const int left = twips(HostRect_.right * tx);
  const int top = twips(HostRect_.top * ty + kBelowHostTop);
  const int height = twips(std::int64_t(HostRect_.bottom - HostRect_.top) * ty - kBelowHostTop);
  const bool moved =
      height < 0 ? place(left, top, kShortHostWidth, 0) : place(left, top, kDockedWidth, height);
  note_tick(same_inputs && !moved);

  // A: the host became active: raise the companion beside it, once.
  const Hwnd foreground = inputs.foreground;
  if (HostWnd != 0 && foreground == HostWnd && !setWinpre.enabled()) {
    HostActive = true;
    setalwinpre.set_enabled(true);
  } else {
    HostActive = false;
    setalwinpre.set_enabled(false);
    RaiseDone = false;
  }
  // B: the companion became active: hand the foreground back, once. The wait lets the click
  // that activated it land first; it only pays off when the give-back will run.
  const Hwnd self = hwnd();
  if (self != 0 && foreground == self && !setalwinpre.enabled()) {
    if (!RefocusDone && !setWinpre.enabled()) {
      d.Sleep(kGiveBackWait);
      setWinpre.set_enabled(true);
    }
  } else {
    RefocusDone = false;
    setWinpre.set_enabled(false);
  }
}

void frmChat::note_tick(bool quiet) {
  if (!quiet) {
    wake_placement();
    return;
  }
  // Without a desktop that reports changes the tick is the only way to see them.
  if (++quiet_ticks_ == kQuietTicksBeforeRest && desktop_watch_)
    TimerPos.set_interval(kRestingInterval);
}

void frmChat::wake_placement() {
  quiet_ticks_ = 0;
  if (TimerPos.interval() != kPlacementInterval)
    TimerPos.set_interval(kPlacementInterval);
}

bool frmChat::place(int left, int top, int width, int height) {
  if (!page_ready())
    return false;
  Desktop& d = module_.desktop();
  const Hwnd self = form_->hwnd();
  Rect now;
  const bool unchanged = placed_ && placed_twips_[0] == left && placed_twips_[1] == top &&
                         placed_twips_[2] == width && placed_twips_[3] == height &&
                         d.GetWindowRect(self, now) && now == placed_pixels_;
  if (unchanged)
    return false;
  skip_failure([&] { form_->move(left, top, width, height); });
  skip_failure([&] { form_->refit_browser(); });
  placed_ = true;
  placed_twips_[0] = left;
  placed_twips_[1] = top;
  placed_twips_[2] = width;
  placed_twips_[3] = height;
  if (!d.GetWindowRect(self, placed_pixels_))
    placed_ = false;
  return true;
}

void frmChat::setalwinpre_Timer() {
  if (!RaiseDone) {
    Desktop& d = module_.desktop();
    const Hwnd self = hwnd();
    d.SetForegroundWindow(self);
    d.SetForegroundWindow(self);
    d.SetForegroundWindow(HostWnd);
    RaiseDone = true;
  }
  setalwinpre.set_enabled(false);
}

void frmChat::setWinpre_Timer() {
  if (!RefocusDone) {
    Desktop& d = module_.desktop();
    d.SetForegroundWindow(hwnd());
    d.SetForegroundWindow(HostWnd);
    web_set_foucs();
    RefocusDone = true;
  }
  setWinpre.set_enabled(false);
}

void frmChat::set_foucs_Timer() {
  web_set_foucs();
  set_foucs.set_enabled(false);
}

void frmChat::Form_Resize() {
  if (ShowState == 1 && page_ready())
    skip_failure([&] { form_->refit_browser(); });
}

void frmChat::opener() {
  Stopped_ = false;
  ShowState = 1;
  Form_Resize();
  wake_placement();
}

void frmChat::stopr() {
  ShowState = 0;
  Stopped_ = true;
  Form_Resize();
  wake_placement();
}

void frmChat::focuswin() {
  Desktop& d = module_.desktop();
  const Hwnd self = hwnd();
  d.PostMessageA(self, kWmLButtonDown, 0, kClickAt2x2);
  d.PostMessageA(self, kWmLButtonUp, 0, kClickAt2x2);
  web_set_foucs();
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
  HostChat.reset();
  ShowOn = false;
  if (!form_)
    return;
  skip_failure([&] { form_->close(); });
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

void frmChat::hand_to_host(const Str& recipient, const Str& text) {
  if (!HostChat)
    throw std::runtime_error("no host chat");
  HostChat->send_text(recipient, text, 0);
  skip_failure([&] { getreg(); });
}

void frmChat::show_sent(const TypedText& typed, const Str& YuanWen, const Str& trantext,
                        const Str& own_name, bool refocus_later) {
  skip_failure(
      [&] { send_to_web(YuanWen, trantext, own_name, typed.preview, typed.format, typed.toggle); });
  skip_failure([&] { focuswin(); });
  skip_failure([&] { web_set_foucs(); });
  if (refocus_later)
    set_foucs.set_enabled(true);
}

void frmChat::show_failed(const TypedText& typed) {
  const Str source = replace_all(quote_tokens(typed.text), u"?", u"\uFF1F");
  const Str args[] = {Trim(source), kNoTranslation, u"true", u"Pclose",
                      typed.format, Str(),          u"true"};
  run_script(script_line(u"PushMsg", args));
}

std::optional<Str> compose_sent(const TypedText& typed, const Str& trantext_in, const Str& YuanWen,
                                bool addressed_elsewhere) {
  bool isNotice = contains(trantext_in, u"<Notice>");
  const Str trantext = replace_all(trantext_in, u"\r\n", u"");
  Str msg = typed.format == u"Double" ? YuanWen + u"\r\n" + trantext : trantext;
  if (typed.preview == u"Popen" && typed.toggle == u"true") {
    msg = YuanWen;
    if (!addressed_elsewhere) {
      isNotice = contains(YuanWen, u"Notice");
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

// ------------------------------------------------------------------ page script calls

void frmChat::run_script(const Str& line) {
  if (page_ready())
    skip_failure([&] { form_->browser().exec_script(line); });
}

void frmChat::InitWeb() {
  const Str args[] = {StartFlag, PreviewMode, ShowFormat, PageExtra, ForeignLan};
  run_script(script_line(u"init_web", args));
}

void frmChat::pushmsg_to_web(const Str& p_msg) {
  Str source, translation, sender;
  if (contains(p_msg, u"[")) {
    const std::vector<Str> parts = split(p_msg, u"[");
    source = replace_all(Trim(part(parts, 0)), u"\r\n", u"");
    translation = replace_all(part(parts, 1), u"]", u"");
    sender = part(parts, 2);
  } else {
    const std::vector<Str> parts = split(p_msg, u"\r\n");
    source = Trim(part(parts, 0));
    translation = Trim(part(parts, 1));
    sender = part(parts, 2);
  }
  sender = strip_site_prefixes(replace_all(sender, u"9kovera]", u""));
  source = replace_all(replace_all(quote_tokens(source), u"?", u"\uFF1F"), u"%20", u" ");
  translation = quote_tokens(replace_all(translation, u"%20", u" "));
  const Str args[] = {source, translation, u"false", u"Pclose", ShowFormat, sender, u"true"};
  run_script(script_line(u"PushMsg", args));
}

void frmChat::push_incoming(const Str& source, const Str& translation, const Str& sender) {
  const Str shown = replace_all(quote_tokens(source), u"?", u"\uFF1F");
  const Str translated = quote_tokens(replace_all(replace_all(translation, u"[", u""), u"]", u""));
  const Str args[] = {
      shown, translated, u"false", u"Pclose", ShowFormat, strip_site_prefixes(sender), u"true"};
  run_script(script_line(u"PushMsg", args));
}

void frmChat::send_to_web(const Str& YuanWen, const Str& yiwen, const Str& flag, const Str& preview,
                          const Str& format, const Str& toggle) {
  Str translation = Trim(replace_all(replace_all(yiwen, u"[", u""), u"]", u""));
  Str source = replace_all(quote_tokens(YuanWen), u"?", u"\uFF1F");
  translation = quote_tokens(translation);
  const Str args[] = {Trim(source), Trim(translation),         u"true", preview,
                      format,       strip_site_prefixes(flag), toggle};
  run_script(script_line(u"PushMsg", args));
  review_offered_ = page_ready() && preview == u"Popen" && toggle == u"false";
}

void frmChat::web_set_foucs() {
  run_script(u"bfocus()");
}

// ------------------------------------------------------------------ the host's Send button

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

// ------------------------------------------------------------------ commands from the page

void frmChat::ChatBrowser_BeforeNavigate2(const Str& url) {
  skip_failure([&] {
    const std::optional<PageCommand> command = parse_page_command(url, page_url_);
    if (!command)
      return;
    for (const Command& c : commands()) {
      if (command->word == c.word) {
        (this->*c.run)(command->args);
        wake_placement();
        return;
      }
    }
  });
}

void frmChat::WebOk(const std::vector<Str>&) {
  ShowOn = true;
  review_offered_ = false;  // a freshly loaded page holds no review
  InitWeb();
}

void frmChat::Word_From_User(const std::vector<Str>& args) {
  take(args, 0, InputText);
  checkinput(InputText);
  // Empty or only question marks: the translator needs something to say "?" to.
  const std::vector<Str> pieces = split(InputText, u"?");
  bool only_marks = true;
  for (std::size_t i = 0; i < 10; ++i)
    only_marks = only_marks && part(pieces, i).empty();
  if (only_marks)
    InputText += u"~?";

  Str lang;
  take(args, 1, ForeignLan);
  take(args, 1, lang);
  take(args, 2, PreviewMode);
  take(args, 3, ShowFormat);
  take(args, 4, PageExtra);
  if (lang.empty())
    lang = ForeignLan;  // an argument left out keeps the language this page used before
  if (lang == u"english")
    lang = u"en";
  else if (lang == u"japaness")
    lang = u"ja";
  // With preview on, a text goes to the chat as it stands only when it answers a translation
  // the page holds for review; any other one is offered for review first. Flipping the toggle
  // at every text would lose step after a translation that never came back, or after preview
  // was switched off and on again during a review, and then hand the next typed text over
  // untranslated and unseen.
  if (PreviewMode == u"Popen")
    PreviewToggle = review_offered_ ? u"true" : u"false";
  review_offered_ = false;

  module_.companion_coordinator().typed(
      *this, TypedText{lang, InputText, ShowFormat, PreviewMode, PreviewToggle});
}

void frmChat::voice(const std::vector<Str>& args) {
  if (args.empty())
    return;
  Str candidate = replace_all(Trim(args[0]), u"%20", u" ");
  const std::vector<Str> pair = split(candidate, kVoiceMarker);
  if (pair.size() == 2) {
    const CodePage& cp = module_.code_page();
    if (WidthClass(pair[0], cp) == 1)
      candidate = pair[0];
    if (WidthClass(pair[1], cp) == 1)
      candidate = pair[1];
    const std::int16_t width = WidthClass(pair[1], cp);
    if (width == 2 || width == 3)
      candidate = replace_all(replace_all(pair[0], u"\uFF07", u"'"), u"\uFF1F", u"?");
    if (KanaClass(pair[1]) == 1)
      candidate.clear();
    if (KanaClass(pair[0]) == 1)
      candidate.clear();
  }
  if (candidate != u"undefined")
    VoiceText_ = candidate;
}

// Nothing stays of it: the text was meant for a speech window this system does not have.
void frmChat::send_to_skype(const std::vector<Str>&) {}

void frmChat::skype_re_read(const std::vector<Str>&) {
  if (VoiceText_.empty())
    VoiceText_ = u"welcome to use kq!";
}

void frmChat::skype_open(const std::vector<Str>&) {
  opener();
}

// Nothing to close: the speech window is not part of this system.
void frmChat::closefrom() {}

void frmChat::skype_stop(const std::vector<Str>&) {
  closefrom();
  stopr();
}

// The page keeps its language, format and preview itself and sends them with every text.
void frmChat::page_setting(const std::vector<Str>&) {}

// The page left its review, if it held one.
void frmChat::preview_switched_off(const std::vector<Str>&) {
  review_offered_ = false;
}

void frmChat::setfull(const std::vector<Str>&) {
  show_settings_dialog(module_, DialogLanguage::kChinese);
}

void frmChat::setfullen(const std::vector<Str>&) {
  show_settings_dialog(module_, DialogLanguage::kEnglish);
}

void frmChat::msn_set_voice(const std::vector<Str>&) {}

void frmChat::setclose(const std::vector<Str>&) {
  ShowState = 2;
  TranOn = false;
}

// Switches the interface language of the pages that load from now on; this page stays.
void frmChat::msn_buy(const std::vector<Str>&) {
  CIniFile& ini = module_.settings().use(kConfigUinFile);
  if (PageLan == u"chinese") {
    ini.WriteValue(kConfigSection, kKeyLan, u"en");
    show_notice(module_, Notice::Frmchangedcn);
  } else if (PageLan == u"english") {
    const Str found = ReadRegString(module_.registry(), module_.code_page(), RootKey::LocalMachine,
                                    kCodePageKey, kChineseCodePage);
    if (!found.empty()) {
      ini.WriteValue(kConfigSection, kKeyLan, u"cn");
      show_notice(module_, Notice::Frmchangeden);
    } else {
      show_notice(module_, Notice::Frmlanguage);
    }
  }
}

}  // namespace brevant
