#pragma once
// The messenger's COM objects seen through the portable SDK interfaces.

#include <unknwn.h>

#include <memory>

#include "plugin/sdk.h"

namespace brevant::com {

// The host object behind `obj` (any of its interfaces), or nullptr for a null pointer. Each
// role is taken with QueryInterface when sdk::as<>() asks for it; a failing call throws
// sdk::HostError.
std::shared_ptr<sdk::Object> wrap_host_object(IUnknown* obj);

}  // namespace brevant::com
