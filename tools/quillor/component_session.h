// One loaded server library and one MaterialComponent object created through it.
#pragma once

#include <atomic>
#include <string>

#include "component/material_interface.h"
#include "platform/com/inproc_server.h"
#include "profiles/release_profile.h"

namespace quillor {

class ComponentSession {
 public:
  // Loads the library, asks it for the release's class object and creates one
  // object; every failure is a quillor::Failure.
  static ComponentSession Open(const ReleaseProfile& profile, const std::string& library);
  // The same with a library already loaded.
  static ComponentSession Open(const ReleaseProfile& profile, com::InprocServer server);

  // Calls Transact with a new login object carrying connection_text; with
  // `stop`, the login object lets an ADD batch end before its next line once the
  // flag is set.
  com::HRESULT Transact(const std::string& request, const std::string& connection_text,
                        std::string* reply, const std::atomic<bool>* stop = nullptr);
  // Registers the caller object that receives result pages.
  com::HRESULT RegisterCaller(com::IDispatch* caller);

  const ReleaseProfile& profile() const { return profile_; }

 private:
  ComponentSession(const ReleaseProfile& profile, com::InprocServer server)
      : profile_(profile), server_(std::move(server)) {}

  const ReleaseProfile& profile_;
  com::InprocServer server_;  // declared before the object, so it is unloaded last
  com::ComPtr<MaterialInterface> material_;
};

}  // namespace quillor
