#include "translate/kqtran.h"

#include <vector>

#include "platform/text_classifiers.h"

namespace brevant {

KQTran::KQTran(EventLoop& loop, HttpRequestFactory& http, ServerAddress server)
    : HJ(loop, http, server), Yahoo(loop, http, server), Timerhj(loop, 1), TimerYahoo(loop, 1000) {
  Timerhj.on_tick([this] { Timerhj_Timer(); });
  TimerYahoo.on_tick([this] { TimerYahoo_Timer(); });
  HJ.TisOK = [this](const Str& record, const Str& lang, const Str&) {
    engine_TisOK(false, record, lang);
  };
  Yahoo.TisOK = [this](const Str& record, const Str& lang, const Str&) {
    engine_TisOK(true, record, lang);
  };
  HJ.Ended = [this] { engine_done(false); };
  Yahoo.Ended = [this] { engine_done(true); };
}

void KQTran::tranit(const Str& main_lan, const Str& text, const Str& tag) {
  flag = tag;
  MainLan = main_lan;
  // Neither a blank text nor an already translated one disturbs a translation still waiting:
  // that one keeps its own routing tag and is reported as usual.
  if (Trim(text).empty())
    return;
  if (contains(text, u"{ ") && contains(text, u" }")) {
    raise(text, tag, text);  // shown as it is, no engine runs
    return;
  }

  // Whatever was waiting is over: its engines' replies would carry the old text's translation
  // under the new flag.
  Timerhj.set_enabled(false);
  TimerYahoo.set_enabled(false);
  HJ.abandon();
  Yahoo.abandon();

  const Str s = StripTags(text);
  LangCode.clear();
  if (MainLan == u"en") {
    // By script, not by byte width: accented letters and signs such as "£" take two bytes in
    // a Chinese code page, yet "café" and "£5" are English.
    LangCode = has_chinese_script(s) ? u"ZE" : u"EZ";
  } else if (MainLan == u"ja") {
    LangCode = KanaClass(s) == 1 ? u"RBZ" : u"ZRB";
  }
  Text = text;
  job_flag_ = tag;
  busy_ = true;
  hj_done_ = false;
  yahoo_done_ = false;
  Timerhj.set_interval(1);
  TimerYahoo.set_interval(1000);
  Timerhj.set_enabled(true);
  TimerYahoo.set_enabled(true);
}

void KQTran::Timerhj_Timer() {
  Timerhj.set_enabled(false);
  HJ.tranit(Text, LangCode, u"hj", u"");
}

void KQTran::TimerYahoo_Timer() {
  TimerYahoo.set_enabled(false);
  Yahoo.tranit(Text, LangCode, u"yahoo", u"");
}

void KQTran::engine_TisOK(bool from_yahoo, const Str& record_in, const Str& lang) {
  // The record starts with the direction code; the same letters elsewhere belong to the texts
  // ("It's EZ", "ZERO").
  Str record = record_in;
  if (!lang.empty() && StrView(record).starts_with(lang))
    record.erase(0, lang.size());
  record = replace_all(record, u"9kocnsns", u"");
  record = replace_all(record, u"%20", u" ");
  const std::vector<Str> parts = split(record, u"<brbr>");
  const auto reject = [&] { engine_done(from_yahoo); };
  if (parts.size() < 2)
    return reject();
  if (Trim(parts[1]).empty())
    return reject();
  Str translation = parts[1];
  if (lang == u"EZ")
    translation = replace_all(translation, u"?", u"");
  const Str trantext = Trim(translation);
  if (from_yahoo) {
    const Str unbraced = replace_all(replace_all(trantext, u"{", u""), u"}", u"");
    if (Trim(unbraced).empty())
      return reject();
    if (contains(unbraced, u"href"))
      return reject();
    if (contains(trantext, u"<h1>") || contains(trantext, u"<>") || trantext.empty())
      return reject();
  }
  if (from_yahoo) {
    HJ.stopped = true;
    Timerhj.set_enabled(false);
  } else {
    Yahoo.stopped = true;
    TimerYahoo.set_enabled(false);
  }
  busy_ = false;
  raise(trantext, job_flag_, Trim(parts[0]));
}

// One engine is out of the running; when both are, the translation ends without an answer.
void KQTran::engine_done(bool yahoo) {
  if (!busy_)
    return;
  (yahoo ? yahoo_done_ : hj_done_) = true;
  if (!hj_done_ || !yahoo_done_)
    return;
  busy_ = false;
  if (TisNone) {
    const Str tag = job_flag_;
    auto handler = TisNone;
    handler(tag);
  }
}

void KQTran::raise(const Str& trantext, const Str& tag, const Str& yuanwen) {
  if (!TisOK)
    return;
  // Copies: the handler may start the next translation on this control.
  const Str text = trantext;
  const Str routing = tag;
  const Str source = yuanwen;
  auto handler = TisOK;
  handler(text, routing, source);
}

}  // namespace brevant
