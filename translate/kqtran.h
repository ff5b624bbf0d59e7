#pragma once
// The translator control: chooses the direction of a text, asks engine `HJ` at once and engine
// `Yahoo` one second later, and reports the first acceptable answer as `TisOK`.

#include <functional>

#include "net/kqnet.h"
#include "net/server_address.h"
#include "platform/event_loop.h"
#include "platform/http_request.h"
#include "platform/text.h"

namespace brevant {

class KQTran {
 public:
  KQTran(EventLoop& loop, HttpRequestFactory& http, ServerAddress server);
  KQTran(const KQTran&) = delete;
  KQTran& operator=(const KQTran&) = delete;

  // Starts translating Text for the foreign language MainLan ("en" or "ja"); flag comes back
  // unchanged with the result. A text to translate replaces any translation still waiting (its
  // answers are dropped); a blank or already translated text leaves it running.
  void tranit(const Str& MainLan, const Str& Text, const Str& flag);

  // (translation as shown, flag, untranslated text as the engine returned it); at most once
  // per tranit.
  std::function<void(const Str& trantext, const Str& flag, const Str& YuanWen)> TisOK;

  // Raised once when a translation ends without an accepted answer: both engines have failed,
  // timed out or answered with nothing acceptable. (flag of that translation)
  std::function<void(const Str& flag)> TisNone;
  // A translation is under way: engines asked or about to be asked, no answer accepted yet.
  bool busy() const { return busy_; }

  // State of the current translation.
  Str Text;
  Str LangCode;
  Str MainLan;
  Str flag;

  KQNet HJ;
  KQNet Yahoo;
  Timer Timerhj;
  Timer TimerYahoo;

 private:
  void Timerhj_Timer();
  void TimerYahoo_Timer();
  void engine_TisOK(bool from_yahoo, const Str& record, const Str& lang);
  void raise(const Str& trantext, const Str& tag, const Str& yuanwen);
  void engine_done(bool yahoo);

  // The flag of the translation the engines are working on; `flag` is that of the last call.
  Str job_flag_;
  bool busy_ = false;
  bool hj_done_ = false;
  bool yahoo_done_ = false;
};

}  // namespace brevant
