// A test of one release's C interface on a host database with the sample rows:
// the release is the test's parameter, and one object of it lives for the test.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "schema/sample_data.h"
#include "testing/c_interface_library.h"
#include "testing/test_db.h"

namespace quillor::testing {

class CInterfaceFixture : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_NE(lib_.handle, nullptr) << dlerror();
    ASSERT_TRUE(lib_.missing.empty()) << lib_.missing.front();
    InsertSampleData(db_.conn());
    object_ = lib_.create();
    ASSERT_NE(object_, nullptr);
  }
  void TearDown() override {
    if (object_) lib_.destroy(object_);
  }
  // The lines stored in ca_mabsw.
  int64_t StoredLines() { return std::stoll(db_.Rows("select count(*) from ca_mabsw")[0][0]); }

  CInterfaceLibrary lib_{GetParam()};
  TestDb db_;
  quillor_t* object_ = nullptr;
};

}  // namespace quillor::testing
