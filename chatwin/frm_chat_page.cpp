// The page channel: every script call into the companion page.

#include "chatwin/frm_chat.h"

#include "chatwin/page_script.h"
#include "platform/failure.h"

namespace brevant {

namespace {

// Element `i` of a split, or "" when the text has fewer parts.
Str part(const std::vector<Str>& parts, std::size_t i) {
  return i < parts.size() ? parts[i] : Str();
}

}  // namespace

void frmChat::show_sent(const TypedText& typed, const Str& YuanWen, const Str& trantext,
                        const Str& own_name, bool refocus_later) {
  skip_failure("show a sent text", [&] {
    send_to_web(YuanWen, trantext, own_name, typed.preview, typed.format, typed.toggle);
  });
  skip_failure("focus the companion", [&] { focuswin(); });
  skip_failure("focus the page input", [&] { web_set_foucs(); });
  if (refocus_later)
    set_foucs.set_enabled(true);
}

void frmChat::show_failed(const TypedText& typed) {
  const Str source = replace_all(quote_tokens(typed.text), u"?", u"\uFF1F");
  const Str args[] = {Trim(source), kNoTranslation, u"true", u"Pclose",
                      typed.format, Str(),          u"true"};
  run_script(script_line(u"PushMsg", args));
}

void frmChat::run_script(const Str& line) {
  if (page_ready())
    skip_failure("page script", [&] { form_->browser().exec_script(line); });
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

}  // namespace brevant
