// MaterialInterface, the class's default interface, registered and described in
// the type library as _IMaterial: dual, so callable through this
// table of functions and by name through IDispatch. Every method returns a status
// and gives its result through the last, output parameter.
#pragma once

#include <string>

#include "platform/com/dispatch.h"
#include "platform/hosts/orvo_login.h"
#include "platform/xml/xml.h"

namespace quillor {

struct MaterialInterface : com::IDispatch {
  virtual com::HRESULT Transact(const std::string& sXML, IOrvoLogin** login,
                                std::string* result) = 0;
  virtual com::HRESULT QueryProc(const XmlNodeList& eleList, std::string* sRetXml,
                                 bool* result) = 0;
  // Releases without caller registration answer E_NOTIMPL here.
  virtual com::HRESULT AddObjectReference(com::IDispatch** Caller, bool* result) = 0;
  virtual com::HRESULT DropObjectReference(com::IDispatch** Caller, bool* result) = 0;

 protected:
  ~MaterialInterface() = default;
};

}  // namespace quillor
