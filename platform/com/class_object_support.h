// What the class objects of an in-process server share, whichever COM they
// answer through: the server locks they take, and the handing out of a new
// object by the interface the caller asked for.
#pragma once

#include <atomic>
#include <new>

#include "platform/base/hresult.h"
#include "platform/com/unknown.h"

namespace quillor::com {

// Server locks taken through one class object. They keep the library loaded
// (LiveObjectCount) and outlive the class object, as locks do.
class ServerLocks {
 public:
  HRESULT Change(bool lock) {
    if (lock) {
      ++LiveObjectCount();
      ++held_;
      return S_OK;
    }
    // An unlock without a lock taken here changes nothing.
    long held = held_.load();
    while (held > 0 && !held_.compare_exchange_weak(held, held - 1)) {
    }
    if (held <= 0) return E_FAIL;
    --LiveObjectCount();
    return S_OK;
  }

 private:
  std::atomic<long> held_{0};
};

// Makes an object through `make` (which returns it holding one reference), hands
// the caller the interface `iid` and drops the maker's reference, so that a
// refused interface leaves nothing alive. A failure to make it is a status.
template <class Make, class Iid>
HRESULT HandOutNew(Make make, const Iid& iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  try {
    auto* object = make();
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace quillor::com
