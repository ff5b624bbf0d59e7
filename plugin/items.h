#pragma once
// The plug-in items other than the chat-window logic: the important item with its show/enable
// dialogue, and the items that accept every call.

#include <cstdint>
#include <memory>

#include "platform/desktop.h"
#include "plugin/module.h"
#include "plugin/sdk.h"

namespace brevant {

class VbImportantPlugin final : public sdk::PluginItem {
 public:
  explicit VbImportantPlugin(Module& module) : module_(module) {}

  void OnCreate(std::shared_ptr<sdk::Object> pslot, std::int32_t hParentWnd,
                std::int32_t lCookie) override;
  void OnDestroy() override;
  void OnClick() override;

  const std::shared_ptr<sdk::ItemSlot>& Slot() const { return slot_; }
  std::int32_t Cookie() const { return cookie_; }

 private:
  Module& module_;
  std::shared_ptr<sdk::ItemSlot> slot_;
  std::int32_t cookie_ = 0;
};

// vb_bottomplugin and vb_mainmenuplugin: every operation does nothing.
class VbBottomPlugin final : public sdk::PluginItem {};
class VbMainMenuPlugin final : public sdk::PluginItem {};

// The main item of a chat window: walks its slot and follows the contact tabs.
class VbImChatMainPlugin final : public sdk::PluginItem {
 public:
  explicit VbImChatMainPlugin(Module& module) : module_(module) {}

  void OnCreate(std::shared_ptr<sdk::Object> pslot, std::int32_t hParentWnd,
                std::int32_t lCookie) override;
  void OnNotify(std::int32_t MsgID, std::shared_ptr<sdk::Object> pParam) override;

 private:
  Module& module_;
  Hwnd host_window_ = 0;
};

// The input-area item of a chat window: owns the chat's companion window and switches its
// translation on and off.
class VbImChatInputPlugin final : public sdk::PluginItem {
 public:
  explicit VbImChatInputPlugin(Module& module) : module_(module) {}

  void OnCreate(std::shared_ptr<sdk::Object> pslot, std::int32_t hParentWnd,
                std::int32_t lCookie) override;
  void OnDestroy() override;
  void OnClick() override;

  Hwnd TopWnd = 0;
  Str Contact;
  // The registry index of the companion this item created (0 before OnCreate, after OnDestroy).
  std::int32_t window_index() const { return index_; }

 private:
  Module& module_;
  std::int32_t index_ = 0;
};

// The slot walk of both chat-window items. `main_item`: the main item's walk (its container's
// own slot tells whether tabs are off); otherwise the input item's.
void slot_walk(Module& module, const std::shared_ptr<sdk::Object>& slot, std::int32_t lCookie,
               bool main_item, Hwnd host_window);
// The chat window three levels above an item's parent window.
Hwnd chat_window_of(Module& module, std::int32_t hParentWnd);

inline constexpr char16_t kTabChangingMissing[] = u"NOTIFY_CONTACT_TAB_CHANGING param is nothing";
inline constexpr char16_t kTabChangedMissing[] = u"NOTIFY_CONTACT_TAB_CHANGED param is nothing";

// The title and questions of the important item's dialogue.
inline constexpr char16_t kImportantTitle[] = u"vb brevant";
inline constexpr char16_t kAskShow[] = u"\u9700\u8981\u663E\u793A\u63D2\u4EF6\u5417?";
inline constexpr char16_t kAskEnable[] = u"\u9700\u8981\u4F7F\u80FD\u63D2\u4EF6\u5417?";

}  // namespace brevant
