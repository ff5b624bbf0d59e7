#include "plugin/module.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "chatwin/frm_chat.h"
#include "plugin/frmmain.h"

namespace brevant {
namespace {

Services checked(Services services) {
  if (const char* missing = services.missing())
    throw std::invalid_argument(std::string("Module needs the ") + missing + " service");
  return services;
}

}  // namespace

Module::Module(Services services)
    : services_(checked(std::move(services))),
      settings_(*services_.profile, *services_.code_page, services_.plugin_folder) {}

// The coordinator and the windows go before the services they use.
Module::~Module() {
  coordinator_.reset();
  companions_.clear();
}

Frmmain& Module::coordinator() {
  if (!coordinator_)
    coordinator_ = std::make_unique<Frmmain>(*this);
  return *coordinator_;
}

CompanionCoordinator& Module::companion_coordinator() {
  return coordinator();
}

}  // namespace brevant
