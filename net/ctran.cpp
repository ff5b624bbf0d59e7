#include "net/ctran.h"

#include "net/engine_contract.h"
#include "net/kqnet.h"
#include "platform/failure.h"

namespace brevant {

void Ctran::doSome() {
  // A failing step of the completion is skipped; nothing is reported.
  skip_failure("request completion", [&] {
    if (cc_ == nullptr || request_ == nullptr || finished_)
      return;
    if (cc_->stopped)
      return;
    // A sink whose request has been replaced or given up reports nothing: its reply belongs to a
    // text (and a routing tag) that is no longer being translated.
    if (!cc_->is_current(this))
      return;
    if (request_->ready_state() != HttpRequest::kComplete)
      return;
    finished_ = true;
    const int status = request_->status();
    // Error pages and broken connections are not translations.
    if (status < 200 || status > 299) {
      cc_->d_Failed();
      return;
    }
    const Str txt = request_->response_text();
    // An answer that is not text is no translation: shown as none, never sent.
    if (!is_translation_text(txt)) {
      cc_->d_Failed();
      return;
    }
    if (TisOK) {
      auto handler = TisOK;
      handler(txt);
    }
  });
}

}  // namespace brevant
