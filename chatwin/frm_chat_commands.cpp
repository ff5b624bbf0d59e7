// The page's commands: the fragment navigations the companion page sends, each to its handler.

#include "chatwin/frm_chat.h"

#include "chatwin/checkinput.h"
#include "chatwin/companion_context.h"
#include "chatwin/page_script.h"
#include "config/settings.h"
#include "config/settings_dialog.h"
#include "platform/failure.h"
#include "platform/text_classifiers.h"

namespace brevant {

namespace {

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

void frmChat::ChatBrowser_BeforeNavigate2(const Str& url) {
  skip_failure("page command", [&] {
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
  show_settings_dialog(module_.settings(), module_.ui(), DialogLanguage::kChinese, hwnd());
}

void frmChat::setfullen(const std::vector<Str>&) {
  show_settings_dialog(module_.settings(), module_.ui(), DialogLanguage::kEnglish, hwnd());
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
    show_notice(module_.ui(), Notice::Frmchangedcn, hwnd());
  } else if (PageLan == u"english") {
    const Str found = ReadRegString(module_.registry(), module_.code_page(), RootKey::LocalMachine,
                                    kCodePageKey, kChineseCodePage);
    if (!found.empty()) {
      ini.WriteValue(kConfigSection, kKeyLan, u"cn");
      show_notice(module_.ui(), Notice::Frmchangeden, hwnd());
    } else {
      show_notice(module_.ui(), Notice::Frmlanguage, hwnd());
    }
  }
}

}  // namespace brevant
