// The class object of MaterialComponent: it creates instances for one release profile.
#pragma once

#include "platform/com/class_factory_interface.h"
#include "profiles/release_profile.h"

namespace quillor {

// A new class object with one reference, owned by the caller.
com::ComPtr<com::IClassFactory> MakeClassFactory(const ReleaseProfile& profile);

}  // namespace quillor
