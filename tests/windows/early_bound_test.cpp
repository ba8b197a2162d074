// An early-bound COM client of the 8.71 DLL: CoCreateInstance and calls through
// the table of functions that widl writes from the type library, as a compiled
// host makes them; and the failures as such a host sees them.
//
// The DLL must be registered; the database is $QUILLOR_TEST_PG_CONNECTION
// (an ODBC text), prepared with the host tables and the sample rows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/com/windows/wide_text.h"
#include "platform/com/windows/windows_api.h"
#include "quillor_871.h"

namespace quillor::win {
namespace {

const CLSID kClsid871 = {
    0xCB6E8E80, 0xC56C, 0x4F6B, {0x97, 0xB0, 0xA7, 0x1C, 0x56, 0x26, 0xF6, 0xD3}};
const IID kIID_IMaterial871 = {
    0x0BB9C7B9, 0x98F3, 0x4031, {0xB3, 0x08, 0xC1, 0x52, 0x0C, 0x47, 0x83, 0x6B}};
const IID kIID_IMaterialV0 = {
    0x74F0A8A9, 0x97A5, 0x440A, {0x9C, 0x79, 0xEA, 0x76, 0xCA, 0x47, 0x2D, 0xA4}};
const CLSID kDomDocument30 = {
    0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
const IID kIID_IXMLDOMDocument = {
    0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

std::string Connection() {
  const char* text = std::getenv("QUILLOR_TEST_PG_CONNECTION");
  return text != nullptr ? text : "";
}

// A small automation object with named members, as a compiled host would pass:
// a login (ConnectionString) or a registered caller (ProcessExport).
class Automation : public IDispatch {
 public:
  explicit Automation(std::wstring member, std::string value = {})
      : member_(std::move(member)), value_(std::move(value)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return 0;
    }
    *out = nullptr;
    return static_cast<HRESULT>(0x80004002L);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return 0;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
    return static_cast<HRESULT>(0x80004001L);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                          DISPID* ids) override {
    if (_wcsicmp(names[0], member_.c_str()) != 0) return static_cast<HRESULT>(0x80020006L);
    ids[0] = 7;
    return 0;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != 7) return static_cast<HRESULT>(0x80020003L);
    ++calls_;
    if (params->cArgs == 3) {
      // ProcessExport(text, page, count): the numbers come by reference.
      last_page_ = params->rgvarg[1].vt == (VT_I4 | VT_BYREF) ? *params->rgvarg[1].plVal : -1;
      last_count_ = params->rgvarg[0].vt == (VT_I4 | VT_BYREF) ? *params->rgvarg[0].plVal : -1;
    }
    if (result != nullptr) {
      VariantInit(result);
      result->vt = VT_BSTR;
      result->bstrVal = Bstr(value_).release();
    }
    return 0;
  }

  int calls_ = 0;
  LONG last_page_ = 0;
  LONG last_count_ = 0;

 private:
  std::wstring member_;
  std::string value_;
  ULONG refs_ = 1;
};

class EarlyBound : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_EQ(CoCreateInstance(kClsid871, nullptr, CLSCTX_INPROC_SERVER, kIID_IMaterial871,
                               reinterpret_cast<void**>(material_.GetAddressOf())),
              0);
  }
  void TearDown() override {
    material_.Reset();
    CoUninitialize();
  }

  std::string Transact(const std::string& request, IDispatch* login) {
    Bstr text(request);
    Bstr reply;
    EXPECT_EQ(material_->Transact(text.get(), &login, reply.put()), 0);
    return reply.utf8();
  }

  // The objects a test registers outlive the component, which releases them last.
  Automation login_{L"ConnectionString", Connection()};
  Automation receiver_{L"ProcessExport"};
  Automation other_receiver_{L"ProcessExport"};
  Automation no_export_{L"SomethingElse"};
  ComPtr<::_IMaterial> material_;
};

TEST_F(EarlyBound, AnswersToBothInterfaceIdsAndRefusesOthers) {
  ComPtr<IUnknown> v0;
  EXPECT_EQ(
      material_->QueryInterface(kIID_IMaterialV0, reinterpret_cast<void**>(v0.GetAddressOf())), 0);
  ComPtr<IUnknown> other;
  EXPECT_NE(
      material_->QueryInterface(kDomDocument30, reinterpret_cast<void**>(other.GetAddressOf())), 0);
}

TEST_F(EarlyBound, UnknownProcIsAReplyNotAFailure) {
  const std::string reply = Transact("<r roottag='m' docid='D' proc='NONE'/>", &login_);
  EXPECT_NE(reply.find("code=\"710\""), std::string::npos) << reply;
}

TEST_F(EarlyBound, LoginWithoutConnectionStringGivesAFailureReply) {
  const std::string reply = Transact("<r roottag='m' docid='D' proc='ADD'/>", &no_export_);
  EXPECT_NE(reply.find("<reply code=\"-"), std::string::npos) << reply;
  EXPECT_NE(reply.find("ConnectionString"), std::string::npos) << reply;
}

TEST_F(EarlyBound, QueryProcFailureLeavesErrorInfoAndTheTextAsItWas) {
  // No paginate attribute: use of an absent value, number 94.
  ComPtr<IXMLDOMDocument> doc;
  ASSERT_EQ(CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, kIID_IXMLDOMDocument,
                             reinterpret_cast<void**>(doc.GetAddressOf())),
            0);
  Bstr xml(
      std::string("<r roottag='m'><m><field name='cDeptID' operation='=' value='D01'/></m></r>"));
  VARIANT_BOOL loaded = VARIANT_FALSE;
  ASSERT_EQ(doc->loadXML(xml.get(), &loaded), 0);
  ComPtr<IXMLDOMNodeList> fields;
  Bstr path(std::string("r/m/field"));
  ASSERT_EQ(doc->selectNodes(path.get(), fields.GetAddressOf()), 0);

  Bstr text(std::string("<r roottag='m'/>"));
  BSTR in_out = text.get();
  VARIANT_BOOL result = VARIANT_TRUE;
  const HRESULT hr = material_->QueryProc(fields.Get(), &in_out, &result);
  EXPECT_EQ(static_cast<uint32_t>(hr), 0x800A005Eu);
  EXPECT_EQ(in_out, text.get());  // a failed call leaves the text as it was
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.GetAddressOf()), 0);
  ASSERT_TRUE(info);
  Bstr description;
  info->GetDescription(description.put());
  EXPECT_FALSE(description.utf8().empty());
}

TEST_F(EarlyBound, CallerWithoutProcessExportEndsThePagedQueryInAFailureReply) {
  if (Connection().empty()) GTEST_SKIP() << "no database";
  Transact(
      "<r roottag='material' docid='D' proc='ADD'><material id='1'><departmentno>D01</departmentno>"
      "<productno>P100</productno><inventoryno>M01</inventoryno><serial>B1</serial><price>2</price>"
      "<quantity>3</quantity><period>5</period><totalmoney>6</totalmoney></material></r>",
      &login_);
  IDispatch* caller = &no_export_;
  VARIANT_BOOL added = VARIANT_FALSE;
  ASSERT_EQ(material_->AddObjectReference(&caller, &added), 0);
  EXPECT_EQ(added, VARIANT_TRUE);
  const std::string reply = Transact(
      "<r roottag='material' docid='D' proc='QUERY' paginate='1'><material>"
      "<field name='cDeptID' operation='=' value='D01'/></material></r>",
      &login_);
  EXPECT_NE(reply.find("<reply code=\"-"), std::string::npos) << reply;
  EXPECT_NE(reply.find("ProcessExport"), std::string::npos) << reply;
}

TEST_F(EarlyBound, PagesReachTheRegisteredCallerWithNumbersByReference) {
  if (Connection().empty()) GTEST_SKIP() << "no database";
  IDispatch* caller = &receiver_;
  VARIANT_BOOL added = VARIANT_FALSE;
  ASSERT_EQ(material_->AddObjectReference(&caller, &added), 0);
  Transact(
      "<r roottag='material' docid='D' proc='QUERY' paginate='1'><material>"
      "<field name='cDeptID' operation='=' value='D01'/></material></r>",
      &login_);
  EXPECT_GE(receiver_.calls_, 1);
  EXPECT_EQ(receiver_.last_page_, receiver_.last_count_);
  VARIANT_BOOL same = VARIANT_FALSE;
  ASSERT_EQ(material_->DropObjectReference(&caller, &same), 0);
  EXPECT_EQ(same, VARIANT_TRUE);
  IDispatch* another = &other_receiver_;
  ASSERT_EQ(material_->DropObjectReference(&another, &same), 0);
  EXPECT_EQ(same, VARIANT_FALSE);
}

}  // namespace
}  // namespace quillor::win
