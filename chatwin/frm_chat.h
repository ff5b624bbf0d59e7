#pragma once
// frmChat, the companion window beside one host chat window: its fields, its placement timer
// and foreground juggling, the script calls into its page, the commands from the page, and the
// pressing of the host's Send button.
//
// The coordinator and the chat items call into a companion; a companion reaches them only
// through the Module (and, for what it hands on, through chatwin/companion_coordinator.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "chatwin/companion.h"
#include "platform/browser.h"
#include "platform/desktop.h"
#include "platform/event_loop.h"
#include "platform/text.h"

namespace brevant {

class CompanionContext;

// Placement in twips: the companion starts this far below the host's top edge, and is this
// wide beside a host of normal height or a host shorter than the offset.
inline constexpr int kBelowHostTop = 630;
inline constexpr int kDockedWidth = 4930;
inline constexpr int kShortHostWidth = 4920;
// Collapsed: a 1 × 1 twips window this many pixels left of the host's right edge and above
// its top edge.
inline constexpr int kCollapsedInset = 50;
inline constexpr int kCollapsedSize = 1;
// How long the give-back step lets the click into the companion settle (ms), and the give-back
// timer's own tick after it.
inline constexpr int kGiveBackWait = 50;
inline constexpr int kGiveBackTick = 10;
// The placement tick's interval, and its resting interval while nothing it reads has changed for
// kQuietTicksBeforeRest ticks on a desktop that reports every change (so a change wakes it).
inline constexpr int kPlacementInterval = 1;
inline constexpr int kRestingInterval = 1000;
inline constexpr int kQuietTicksBeforeRest = 16;

// The page files, relative to the plug-in folder.
inline constexpr char16_t kChinesePage[] = u"\\IO11\\IO.htm";
inline constexpr char16_t kEnglishPage[] = u"\\IOEN\\IO.htm";

// The host's chat windows and Send buttons as the host names them.
inline constexpr char16_t kHostFrameClass[] = u"StandardFrame";
inline constexpr char16_t kHostButtonClass[] = u"StandardButton";
inline constexpr char16_t kSendChinese[] = u"发送";
inline constexpr char16_t kSendEnglish[] = u"Send";

class frmChat final : public Companion {
 public:
  // Creates the form and runs Form_Load. The creator adds it to the registry next.
  explicit frmChat(CompanionContext& context);
  ~frmChat() override;
  frmChat(const frmChat&) = delete;
  frmChat& operator=(const frmChat&) = delete;

  // Public fields, read and written by the items, the notification handler and the coordinator.
  // Puts a text into this chat's host chat object as the message to a recipient; the input
  // item attaches it. Throws when the host chat is gone.
  std::function<void(const Str& recipient, const Str& text)> HostChat;
  Str PreviewToggle;
  bool TranOn = false;
  bool HostActive = false;
  Str PreviewMode;
  Str PageExtra;
  Str ShowFormat;
  Str ForeignLan;
  Str StartFlag;
  bool ShowOn = false;
  Str PageLan;
  int ShowState = 0;  // 0 not placed, 1 docked beside the host, 2 collapsed
  Str InputText;
  bool RefocusDone = false;
  bool RaiseDone = false;
  bool UseDefaultLan = false;
  Str ChatSection;
  int WinIndex = 0;
  bool IsLive = false;
  Str ContactId;
  Hwnd HostTopWnd = 0;
  Hwnd HostWnd = 0;
  Hwnd InputWnd = 0;

  // The form's timers. Every one but TimerPos disables itself when it has run; the
  // coordinator enables set_foucs after a send.
  Timer TimerPos;     // 1 ms: the placement tick
  Timer setalwinpre;  // 10 ms: raise the companion when the host becomes active
  Timer setWinpre;    // 10 ms: hand the foreground back when the companion becomes active
  Timer set_foucs;    // 50 ms: focus the page input once

  void Form_Load();
  // Reads this chat's settings: its own section first, the global defaults where it has none.
  void frminit();
  // Sets the owner of `hWndToUse` and makes it a plain tool window; returns the old owner.
  std::int32_t SetOwner(Hwnd hWndToUse, Hwnd hWndOfOwner);
  void Form_Resize();
  void opener();
  void stopr();
  // Clicks into the companion and focuses the page input.
  void focuswin();

  // Script calls into the page; a page that is not loaded takes none of them.
  void InitWeb();
  void pushmsg_to_web(const Str& p_msg);
  // An incoming message already in its three parts: the text as the contact wrote it, its
  // translation (brackets and all, or kNoTranslation's word) and the sender's ID. The
  // coordinator uses this, so that a "[" or a line break in the contact's own text cannot split
  // the message wrongly.
  void push_incoming(const Str& source, const Str& translation, const Str& sender) override;
  // An own message; the preview state is the page's when the text was typed.
  void send_to_web(const Str& YuanWen, const Str& yiwen, const Str& flag, const Str& preview,
                   const Str& format, const Str& toggle);
  // The same with the page's settings now.
  void send_to_web(const Str& YuanWen, const Str& yiwen, const Str& flag) {
    send_to_web(YuanWen, yiwen, flag, PreviewMode, ShowFormat, PreviewToggle);
  }
  void web_set_foucs();

  // Presses the Send button of this companion's own host chat window.
  void getreg();

  // Every navigation of the page; commands come only from within the page Form_Load loaded.
  void ChatBrowser_BeforeNavigate2(const Str& url);

  // Closes the window: it is no longer live, its timers stop, and it gives back its form (page
  // and browser) and its host chat at once.
  void unload();

  // Companion: what the router sees.
  const Str& contact() const override { return ContactId; }
  bool live() const override;
  bool page_shown() const override { return ShowOn; }
  bool translating() const override { return TranOn; }
  const Str& foreign_language() const override { return ForeignLan; }
  Hwnd host_window() const override { return HostWnd; }
  TypedText page_settings() const override;
  void push_shown(const Str& shown) override { pushmsg_to_web(shown); }
  void hand_to_host(const Str& recipient, const Str& text) override;
  void show_sent(const TypedText& typed, const Str& YuanWen, const Str& trantext,
                 const Str& own_name, bool refocus_later) override;
  void show_failed(const TypedText& typed) override;

  // Something the placement tick reads changed outside the desktop (its state, the page): the
  // tick runs at its full rate again.
  void wake_placement();

  // The window and form (nullptr when the platform could not make one, or after unload).
  Hwnd hwnd() const;
  Form* form() { return form_.get(); }
  bool unloaded() const { return unloaded_; }
  // The URL of the page that Form_Load loaded, empty when none.
  const Str& page_url() const { return page_url_; }
  bool Stopped() const { return Stopped_; }
  const Str& VoiceText() const { return VoiceText_; }
  const Rect& HostRect() const { return HostRect_; }

 private:
  struct Command;
  static const std::vector<Command>& commands();

  void TimerPos_Timer();
  void setalwinpre_Timer();
  void setWinpre_Timer();
  void set_foucs_Timer();
  // Moves the form unless it already stands there; refits the browser after a move.
  // Returns whether it moved.
  bool place(int left, int top, int width, int height);
  // After each placement tick: rest once enough ticks in a row found nothing to do.
  void note_tick(bool quiet);
  void run_script(const Str& line);
  bool page_ready() const;
  Hwnd companion_hwnd();
  Hwnd find_send_button(Hwnd frame);

  // The page's commands; each takes the arguments after the command word.
  void Word_From_User(const std::vector<Str>& args);
  void voice(const std::vector<Str>& args);
  void send_to_skype(const std::vector<Str>& args);
  void skype_re_read(const std::vector<Str>& args);
  void skype_open(const std::vector<Str>& args);
  void skype_stop(const std::vector<Str>& args);
  void page_setting(const std::vector<Str>& args);
  void preview_switched_off(const std::vector<Str>& args);
  void setfull(const std::vector<Str>& args);
  void setfullen(const std::vector<Str>& args);
  void WebOk(const std::vector<Str>& args);
  void msn_set_voice(const std::vector<Str>& args);
  void setclose(const std::vector<Str>& args);
  void msn_buy(const std::vector<Str>& args);
  void closefrom();

  CompanionContext& module_;
  std::unique_ptr<Form> form_;
  Str page_url_;
  bool unloaded_ = false;
  Str VoiceText_;
  bool Stopped_ = false;
  Rect HostRect_;
  // The page holds a translation offered for review (the last own message pushed with preview
  // on and PreviewToggle "false"); only the next typed text answers it.
  bool review_offered_ = false;
  // Where the last move put the form, in twips and as the window system reported it.
  bool placed_ = false;
  int placed_twips_[4] = {0, 0, 0, 0};
  Rect placed_pixels_;
  // What the last placement tick read, to tell a tick that found nothing new.
  struct TickInputs {
    int show_state = -1;
    Hwnd host = 0;
    Rect host_rect;
    Hwnd foreground = 0;
    std::int64_t twips_x = 0;
    std::int64_t twips_y = 0;
    bool page_ready = false;
    bool operator==(const TickInputs&) const = default;
  };
  TickInputs last_tick_;
  int quiet_ticks_ = 0;
  std::shared_ptr<void> desktop_watch_;
  // A form given back while one of its own callbacks may still be running goes a moment later.
  std::unique_ptr<Form> closing_form_;
  EventLoop::TaskId closing_task_ = 0;
};

}  // namespace brevant
