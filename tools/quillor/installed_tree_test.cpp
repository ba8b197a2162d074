// The command and the release libraries copied into a tree of their own, laid out
// as the package installs them (usr/bin/quillor, usr/lib/quillor/<release>/), and
// run from there as separate processes: the command finds the libraries beside
// itself, and each library finds its mapping file beside itself, with no path of
// this build or source tree to fall back on.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;

const char* const kReleases[] = {"8.71", "8.61", "8.50"};
const char* const kMapping = "MaterialXmlRs.Xml";

struct ProcessRun {
  int code;
  std::string out, err;
};

class InstalledTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path build(QUILLOR_BUILD_DIR);
    fs::create_directories(root() / "usr/bin");
    fs::copy_file(build / "bin/quillor", command());
    for (const char* release : kReleases) {
      const fs::path dir = LibraryDir(release);
      fs::create_directories(dir);
      fs::copy_file(build / "lib" / release / "libquillor.so", dir / "libquillor.so");
      fs::copy_file(fs::path(QUILLOR_SOURCE_DIR) / "data" / kMapping, dir / kMapping);
    }
    fs::create_directories(work());
  }

  fs::path root() const { return tree_.path() / "unpacked"; }
  fs::path work() const { return tree_.path() / "work"; }
  fs::path command() const { return root() / "usr/bin/quillor"; }
  fs::path LibraryDir(const std::string& release) const {
    return root() / "usr/lib/quillor" / release;
  }
  std::string Connection() const { return testing::SqliteText((work() / "erp.db").string()); }

  // Runs the copied command in the work folder, with no registry entries and
  // QUILLOR_DATA_DIR unset unless data_dir is given.
  ProcessRun Command(const std::string& args, const std::string& data_dir = "") const {
    const fs::path out = work() / "out.txt", err = work() / "err.txt";
    std::string line = "cd '" + work().string() +
                       "' && env -u QUILLOR_DATA_DIR QUILLOR_REGISTRY='" +
                       (work() / "registry").string() + "'";
    if (!data_dir.empty()) line += " QUILLOR_DATA_DIR='" + data_dir + "'";
    line += " '" + command().string() + "' " + args + " >'" + out.string() + "' 2>'" +
            err.string() + "' </dev/null";
    const int status = std::system(line.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testing::ReadFileText(out),
            testing::ReadFileText(err)};
  }

  // A QUERY of department D01 through one release, as a file.
  ProcessRun Query(const std::string& release, const std::string& data_dir = "") const {
    const fs::path request = work() / "query.xml";
    std::ofstream(request) << "<ufinterface roottag=\"material\" docid=\"q\" proc=\"QUERY\" "
                              "paginate=\"0\"><material><field name=\"cDeptID\" operation=\"=\" "
                              "value=\"D01\"/></material></ufinterface>";
    return Command("transact --release " + release + " --connection '" + Connection() + "' '" +
                       request.string() + "'",
                   data_dir);
  }

  // The sample database with one material line of department D01 written.
  void InitSample() const {
    const ProcessRun init = Command("init-db --connection '" + Connection() + "' --sample");
    ASSERT_EQ(init.code, 0) << init.err;
    const ProcessRun add =
        Command("transact --connection '" + Connection() + "' '" +
                (fs::path(QUILLOR_SOURCE_DIR) / "examples/add.xml").string() + "'");
    ASSERT_EQ(add.code, 0) << add.err;
    ASSERT_NE(add.out.find("<item id=\"1\" code=\"0\""), std::string::npos) << add.out;
  }

 private:
  testing::TempDir tree_;
};

TEST_F(InstalledTreeTest, VersionNamesTheLibrariesOfTheTree) {
  const ProcessRun r = Command("--version");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("quillor ", 0), 0u) << r.out;
  for (const char* release : kReleases) {
    const std::string line = "  " + std::string(release) + "  " +
                             fs::canonical(LibraryDir(release) / "libquillor.so").string() + "\n";
    EXPECT_NE(r.out.find(line), std::string::npos) << release << "\n" << r.out;
  }
  EXPECT_EQ(r.out.find(QUILLOR_BUILD_DIR), std::string::npos) << r.out;
}

TEST_F(InstalledTreeTest, VersionSaysWhichLibraryIsMissing) {
  fs::remove(LibraryDir("8.61") / "libquillor.so");
  const ProcessRun r = Command("--version");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("  8.61  missing: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  8.71  " + fs::canonical(LibraryDir("8.71")).string()), std::string::npos)
      << r.out;
}

TEST_F(InstalledTreeTest, EachReleaseMapsItsRowsWithTheFileBesideIt) {
  InitSample();
  for (const char* release : kReleases) {
    const ProcessRun r = Query(release);
    EXPECT_EQ(r.code, 0) << release << "\n" << r.err;
    EXPECT_NE(r.out.find("<departmentno>D01</departmentno>"), std::string::npos) << release << "\n"
                                                                                 << r.out << r.err;
    EXPECT_NE(r.out.find("<inventoryno>"), std::string::npos) << release << "\n" << r.out;
  }
}

TEST_F(InstalledTreeTest, ALibraryWithoutItsFileDoesNotFindOneElsewhere) {
  InitSample();
  fs::remove(LibraryDir("8.71") / kMapping);
  const ProcessRun missing = Query("8.71");
  EXPECT_EQ(missing.out.find("<departmentno>"), std::string::npos) << missing.out;
  EXPECT_NE((missing.out + missing.err).find(kMapping), std::string::npos)
      << missing.out << missing.err;
  // The other releases keep their own copies.
  EXPECT_NE(Query("8.61").out.find("<departmentno>D01</departmentno>"), std::string::npos);

  // QUILLOR_DATA_DIR names a folder that holds the file instead.
  const fs::path data = work() / "data";
  fs::create_directories(data);
  fs::copy_file(LibraryDir("8.61") / kMapping, data / kMapping);
  const ProcessRun overridden = Query("8.71", data.string());
  EXPECT_EQ(overridden.code, 0) << overridden.err;
  EXPECT_NE(overridden.out.find("<departmentno>D01</departmentno>"), std::string::npos)
      << overridden.out;
}

TEST_F(InstalledTreeTest, DataDirOverridesTheFileBesideTheLibrary) {
  InitSample();
  // A mapping of its own in QUILLOR_DATA_DIR renames the department field.
  const fs::path data = work() / "data";
  fs::create_directories(data);
  std::ofstream(data / kMapping) << "<mapping><column name=\"cDeptID\" field=\"dept\"/></mapping>";
  const ProcessRun r = Query("8.71", data.string());
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("<dept>D01</dept>"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("<departmentno>"), std::string::npos) << r.out;
}

TEST_F(InstalledTreeTest, DemoRunsFromTheTree) {
  const ProcessRun r = Command("demo --dir '" + (work() / "demo").string() + "'");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("# item 1: 0, written"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::is_regular_file(work() / "demo/demo.db"));
}

}  // namespace
}  // namespace quillor
