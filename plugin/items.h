#pragma once
// The plug-in items other than the chat-window logic: the important item with its show/enable
// dialogue, and the items that accept every call.

#include <cstdint>
#include <memory>

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

// The chat-window items accept every call until their chat-window logic arrives.
class VbImChatMainPlugin final : public sdk::PluginItem {};
class VbImChatInputPlugin final : public sdk::PluginItem {};

// The title and questions of the important item's dialogue.
inline constexpr char16_t kImportantTitle[] = u"vb brevant";
inline constexpr char16_t kAskShow[] = u"\u9700\u8981\u663E\u793A\u63D2\u4EF6\u5417?";
inline constexpr char16_t kAskEnable[] = u"\u9700\u8981\u4F7F\u80FD\u63D2\u4EF6\u5417?";

}  // namespace brevant
