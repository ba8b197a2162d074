// A node list as an automation object, so that it can travel as an automation
// value: a late-bound call of QueryProc passes its condition elements this way.
#pragma once

#include <memory>

#include "platform/com/dispatch.h"
#include "platform/xml/xml.h"

namespace quillor {

struct IXmlNodeList : com::IDispatch {
  // The elements, in list order; they stay valid while the object lives.
  virtual const XmlNodeList& Elements() const = 0;

 protected:
  ~IXmlNodeList() = default;
};

inline const com::Guid kIID_IXmlNodeList =
    com::Guid::FromString("{C4C63971-FFD0-465A-B16C-BA1FB2D85666}");

// The list of elements of `document`, which the object keeps alive. By name it
// answers to `length` (the number of elements).
com::ComPtr<IXmlNodeList> MakeNodeListObject(std::shared_ptr<const XmlDocument> document,
                                             XmlNodeList elements);

}  // namespace quillor
