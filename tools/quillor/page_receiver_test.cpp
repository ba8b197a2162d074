#include "tools/quillor/page_receiver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testing/temp_dir.h"
#include "tools/quillor/page_writer.h"

namespace quillor {
namespace {

TEST(PageReceiver, AnswersProcessExportOnlyAndWritesEachPage) {
  testing::TempDir dir;
  std::ostringstream progress;
  com::ComPtr<com::IDispatch> writer = MakePageWriter(dir.path().string(), progress);

  int32_t dispid = 0;
  EXPECT_EQ(writer->GetIDsOfNames("processexport", &dispid), com::S_OK);
  int32_t other = 0;
  EXPECT_EQ(writer->GetIDsOfNames("ProcessExports", &other), com::DISP_E_UNKNOWNNAME);
  EXPECT_EQ(writer->GetIDsOfNames("ProcessExport", nullptr), com::E_POINTER);

  struct Call {
    int32_t dispid;
    com::InvokeKind kind;
    size_t arguments;
    com::HRESULT expected;
  };
  const Call calls[] = {
      {dispid + 1, com::InvokeKind::kMethod, 3, com::DISP_E_MEMBERNOTFOUND},
      {dispid, com::InvokeKind::kPropertyGet, 3, com::DISP_E_MEMBERNOTFOUND},
      {dispid, com::InvokeKind::kMethod, 2, com::DISP_E_BADPARAMCOUNT},
      {dispid, com::InvokeKind::kMethod, 3, com::S_OK},
  };
  for (const Call& c : calls) {
    std::vector<com::Variant> args = {com::Variant(std::string("<page/>")),
                                      com::Variant(int32_t{2}), com::Variant(int32_t{5})};
    args.resize(c.arguments);
    com::Variant result;
    com::ExceptionInfo exception;
    EXPECT_EQ(writer->Invoke(c.dispid, c.kind, args, &result, &exception), c.expected)
        << c.dispid << " " << c.arguments;
  }
  EXPECT_EQ(testing::ReadFileText(dir.path() / "page-2.xml"), "<page/>");
  EXPECT_EQ(progress.str(), "page 2 of 5\n");
}

}  // namespace
}  // namespace quillor
