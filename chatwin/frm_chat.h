#pragma once
// frmChat, the companion window beside one host chat window: its fields, its placement timer
// and foreground juggling, the script calls into its page, the commands from the page, and the
// pressing of the host's Send button.

#include <cstdint>
#include <memory>

#include "platform/browser.h"
#include "platform/desktop.h"
#include "platform/event_loop.h"
#include "platform/text.h"
#include "plugin/sdk.h"

namespace brevant {

class Module;

class frmChat {
 public:
  explicit frmChat(Module& module);
  ~frmChat();
  frmChat(const frmChat&) = delete;
  frmChat& operator=(const frmChat&) = delete;

  // Public fields, read and written by the items, the notification handler and the coordinator.
  std::shared_ptr<sdk::Chat> HostChat;
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
};

}  // namespace brevant
