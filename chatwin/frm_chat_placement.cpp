// Placement: the companion beside its host chat window on the placement tick, and the
// foreground and focus juggling.

#include "chatwin/frm_chat.h"

#include <algorithm>
#include <limits>

#include "chatwin/companion_context.h"
#include "platform/failure.h"

namespace brevant {

namespace {

// Pixels times a twips factor, kept inside the integer range whatever a window reports.
int twips(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

}  // namespace

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
  // B: the companion became active: hand the foreground back, once. The give-back waits for
  // the click that activated it to land first, on the timer rather than by blocking the thread;
  // a change of the foreground meanwhile calls it off.
  const Hwnd self = hwnd();
  if (self != 0 && foreground == self && !setalwinpre.enabled()) {
    if (!RefocusDone && !setWinpre.enabled()) {
      setWinpre.set_interval(kGiveBackWait + kGiveBackTick);
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
  skip_failure("move the form", [&] { form_->move(left, top, width, height); });
  skip_failure("fit the browser", [&] { form_->refit_browser(); });
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
    skip_failure("fit the browser", [&] { form_->refit_browser(); });
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

}  // namespace brevant
