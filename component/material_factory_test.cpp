#include "component/material_factory.h"

#include <gtest/gtest.h>

#include "component/material_interface.h"

namespace quillor {
namespace {

TEST(ClassFactoryTest, CreatesTheObjectForTheRequestedInterface) {
  const long before = com::LiveObjectCount().load();
  {
    com::ComPtr<com::IClassFactory> factory = MakeClassFactory(Release871());
    for (const com::Guid& iid :
         {Release871().ids.interface_iids[0], com::kIID_IDispatch, com::kIID_IUnknown}) {
      com::ComPtr<MaterialInterface> object;
      ASSERT_EQ(factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(object.Put())),
                com::S_OK)
          << iid.ToString();
      EXPECT_TRUE(object);
      EXPECT_GT(com::LiveObjectCount().load(), before + 1);
    }
    // Asking for an interface the class lacks creates nothing that stays alive.
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, com::kIID_IClassFactory, &out), com::E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(com::LiveObjectCount().load(), before + 1);  // the class object itself
  }
  EXPECT_EQ(com::LiveObjectCount().load(), before);
}

TEST(ClassFactoryTest, RefusesAggregationAndNullOutput) {
  com::ComPtr<com::IClassFactory> factory = MakeClassFactory(Release861());
  com::ComPtr<com::IClassFactory> outer = MakeClassFactory(Release861());
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(outer.Get(), com::kIID_IUnknown, &out),
            com::CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, com::kIID_IUnknown, nullptr), com::E_POINTER);
}

TEST(ClassFactoryTest, AnswersItsOwnInterfacesAndCountsLocks) {
  com::ComPtr<com::IClassFactory> factory = MakeClassFactory(Release871());
  EXPECT_TRUE(factory.As<com::IClassFactory>(com::kIID_IClassFactory));
  EXPECT_TRUE(factory.As<com::IUnknown>(com::kIID_IUnknown));
  EXPECT_FALSE(factory.As<com::IDispatch>(com::kIID_IDispatch));

  const long before = com::LiveObjectCount().load();
  EXPECT_EQ(factory->LockServer(true), com::S_OK);
  EXPECT_EQ(factory->LockServer(true), com::S_OK);
  EXPECT_EQ(com::LiveObjectCount().load(), before + 2);
  EXPECT_EQ(factory->LockServer(false), com::S_OK);
  EXPECT_EQ(factory->LockServer(false), com::S_OK);
  EXPECT_EQ(com::LiveObjectCount().load(), before);
  // An unlock with nothing locked must not let the count drop under the live objects.
  EXPECT_EQ(factory->LockServer(false), com::E_FAIL);
  EXPECT_EQ(com::LiveObjectCount().load(), before);
}

}  // namespace
}  // namespace quillor
