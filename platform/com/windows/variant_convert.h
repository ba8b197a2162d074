// Automation values between the component's own Variant and the VARIANT of COM.
#pragma once

#include "platform/com/variant.h"
#include "platform/com/windows/windows_api.h"

namespace quillor::win {

// The VARIANT's value (a reference followed); a type the component has no value
// for is converted to text, and failing that is failure 13 (type mismatch).
com::Variant FromVariant(const VARIANT& value);

// A new VARIANT holding the value, for the caller to clear. An automation object
// of the component's own crosses as the real IDispatch it wraps, or not at all.
void ToVariant(const com::Variant& value, VARIANT& out);

}  // namespace quillor::win
