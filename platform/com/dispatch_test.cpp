#include "platform/com/dispatch.h"

#include <gtest/gtest.h>

#include "platform/base/failure.h"

namespace quillor::com {
namespace {

// A member table with one member per outcome.
class FakeDispatch final : public IDispatch {
 public:
  HRESULT QueryInterface(const Guid&, void**) override { return E_NOINTERFACE; }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
  HRESULT GetIDsOfNames(std::string_view name, int32_t* dispid) override {
    if (name == "Echo")
      *dispid = 1;
    else if (name == "Raise")
      *dispid = 2;
    else if (name == "Refuse")
      *dispid = 3;
    else if (name == "Automation")
      *dispid = 4;
    else
      return DISP_E_UNKNOWNNAME;
    return S_OK;
  }
  HRESULT Invoke(int32_t dispid, InvokeKind kind, std::vector<Variant>& args, Variant* result,
                 ExceptionInfo* exception) override {
    last_kind = kind;
    switch (dispid) {
      case 1:
        args.at(0) = Variant("changed");
        *result = Variant(static_cast<int32_t>(args.size()));
        return S_OK;
      case 2:
        exception->number = 3265;
        exception->description = "Item not found";
        return DISP_E_EXCEPTION;
      case 3:
        return DISP_E_TYPEMISMATCH;
      default:
        return static_cast<HRESULT>(0x800A0CC1u);
    }
  }
  InvokeKind last_kind = InvokeKind::kMethod;
};

TEST(InvokeByNameTest, ReturnsResultAndWritesArgumentsBack) {
  FakeDispatch target;
  std::vector<Variant> args{Variant("original"), Variant(int32_t{7})};
  const Variant r = InvokeByName(target, "Echo", args, InvokeKind::kPropertyGet);
  EXPECT_EQ(r.Get<int32_t>(), 2);
  EXPECT_EQ(args[0].Get<std::string>(), "changed");
  EXPECT_EQ(target.last_kind, InvokeKind::kPropertyGet);
}

TEST(InvokeByNameTest, FailuresCarryTheirNumbers) {
  struct Case {
    const char* name;
    int32_t number;
    const char* description;  // nullptr: any text naming the member
  };
  for (const Case& c : {
           Case{"Raise", 3265, "Item not found"},
           Case{"Refuse", static_cast<int32_t>(0x80020005u), nullptr},
           Case{"Automation", 0x0CC1, nullptr},
           Case{"Missing", static_cast<int32_t>(0x80020006u), nullptr},
       }) {
    FakeDispatch target;
    std::vector<Variant> args{Variant()};
    try {
      InvokeByName(target, c.name, args);
      ADD_FAILURE() << c.name << " did not fail";
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), c.number) << c.name;
      if (c.description) {
        EXPECT_EQ(f.description(), c.description);
      } else {
        EXPECT_NE(f.description().find(c.name), std::string::npos) << f.description();
      }
    }
  }
}

}  // namespace
}  // namespace quillor::com
