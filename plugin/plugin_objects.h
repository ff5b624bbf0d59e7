#pragma once
// vb_brevant, the main plug-in object that the messenger connects.

#include <cstdint>
#include <memory>

#include "plugin/module.h"
#include "plugin/sdk.h"

namespace brevant {

class VbBrevant final : public sdk::Plugin {
 public:
  explicit VbBrevant(Module& module) : module_(module) {}

  void OnConnect(std::shared_ptr<sdk::Object> pApplication, std::int32_t lPluginCookie) override;
  void OnDisconnect(std::shared_ptr<sdk::Object> pApplication, std::int32_t lPluginCookie) override;
  void OnNotify(std::int32_t MsgID, std::shared_ptr<sdk::Object> pParam) override;
  void OnUninstall() override;

  // The public method of the class: normalises a chat text in place.
  void checkinputweb(Str& inputval);

 private:
  void login();
  void chat_message(const std::shared_ptr<sdk::Object>& pParam);
  void plain(const Str& sender, const Str& text, const Str& original);
  void bracketed(const Str& sender, Str text);

  Module& module_;
};

}  // namespace brevant
