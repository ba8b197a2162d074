// The mapping files kept by path: read once, read again when edited.
#include "query/mapping_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/base/failure.h"
#include "testing/temp_dir.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

std::string Mapping(const std::string& column, const std::string& field) {
  return "<mapping><column name=\"" + column + "\" field=\"" + field + "\"/></mapping>";
}

class MappingFilesTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  fs::path file_ = dir_.path() / "Mapping.Xml";
};

TEST_F(MappingFilesTest, TheFileIsReadOnceWhileItStaysAsItWas) {
  Write(file_, Mapping("cDeptID", "dept"));
  const auto first = ReadMappingFile(file_, "Mapping.Xml");
  EXPECT_EQ(*first, (MappingColumns{{"cdeptid", "dept"}}));
  // The same object, not a second reading of the same text.
  EXPECT_EQ(ReadMappingFile(file_, "Mapping.Xml"), first);
  // Another path is another mapping, even with the same name.
  const fs::path other = dir_.path() / "other";
  fs::create_directory(other);
  Write(other / "Mapping.Xml", Mapping("cDeptID", "department"));
  EXPECT_EQ(ReadMappingFile(other / "Mapping.Xml", "Mapping.Xml")->at("cdeptid"), "department");
  EXPECT_EQ(ReadMappingFile(file_, "Mapping.Xml"), first);
}

TEST_F(MappingFilesTest, AnEditedFileIsReadAgain) {
  Write(file_, Mapping("a", "first"));
  const auto before = ReadMappingFile(file_, "Mapping.Xml");
  const fs::file_time_type written = fs::last_write_time(file_);

  // Edited to another size.
  Write(file_, Mapping("a", "second!"));
  EXPECT_EQ(ReadMappingFile(file_, "Mapping.Xml")->at("a"), "second!");

  // Edited to the same size: the modification time tells.
  Write(file_, Mapping("a", "third!!"));
  fs::last_write_time(file_, written + std::chrono::seconds(5));
  EXPECT_EQ(ReadMappingFile(file_, "Mapping.Xml")->at("a"), "third!!");
  // What a QUERY already holds stays as it was read.
  EXPECT_EQ(before->at("a"), "first");
}

TEST_F(MappingFilesTest, FailuresAreNotKept) {
  struct Case {
    const char* text;  // null: no file
    const char* message;
  };
  const Case cases[] = {
      {nullptr, "The record mapping \"Mapping.Xml\" is unknown"},
      {"<mapping><column name=\"a\"/></mapping>",
       "The record mapping \"Mapping.Xml\" has a column without a name or a field"},
      {"<mapping>", "The record mapping \"Mapping.Xml\" cannot be read: "},
  };
  for (const Case& c : cases) {
    fs::remove(file_);
    if (c.text != nullptr) Write(file_, c.text);
    try {
      ReadMappingFile(file_, "Mapping.Xml");
      ADD_FAILURE() << "read: " << (c.text ? c.text : "(no file)");
    } catch (const Failure& failure) {
      EXPECT_TRUE(failure.description().starts_with(c.message)) << failure.description();
    }
    // Mended, the file is read at once: the failure left nothing behind.
    Write(file_, Mapping("b", "mended"));
    EXPECT_EQ(ReadMappingFile(file_, "Mapping.Xml")->at("b"), "mended");
  }
}

TEST_F(MappingFilesTest, ThreadsShareOneReading) {
  Write(file_, Mapping("c", "shared"));
  const auto first = ReadMappingFile(file_, "Mapping.Xml");
  std::vector<std::shared_ptr<const MappingColumns>> seen(4);
  std::vector<std::thread> threads;
  for (auto& slot : seen) {
    threads.emplace_back([&slot, this] {
      for (int i = 0; i < 100; ++i) slot = ReadMappingFile(file_, "Mapping.Xml");
    });
  }
  for (std::thread& t : threads) t.join();
  for (const auto& slot : seen) EXPECT_EQ(slot, first);
}

}  // namespace
}  // namespace quillor
