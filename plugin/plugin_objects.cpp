#include "plugin/plugin_objects.h"

#include <utility>

#include "plugin/checkinputweb.h"

namespace brevant {

void VbBrevant::OnConnect(std::shared_ptr<sdk::Object> pApplication, std::int32_t lPluginCookie) {
  module_.PluginCookie = lPluginCookie;
  // An object without the application role leaves App empty; later uses of it fail and
  // their steps are skipped.
  module_.App = sdk::as<sdk::Application>(pApplication);
}

// Nothing is torn down at disconnection: later notifications still use App.
void VbBrevant::OnDisconnect(std::shared_ptr<sdk::Object>, std::int32_t) {}

void VbBrevant::OnNotify(std::int32_t, std::shared_ptr<sdk::Object>) {}

void VbBrevant::OnUninstall() {}

void VbBrevant::checkinputweb(Str& inputval) {
  brevant::checkinputweb(inputval);
}

}  // namespace brevant
