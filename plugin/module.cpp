#include "plugin/module.h"

#include <stdexcept>
#include <utility>

namespace brevant {

Module::Module(Services services) : services_(std::move(services)) {
  if (!services_.ui)
    throw std::invalid_argument("Module needs a Ui");
}

}  // namespace brevant
