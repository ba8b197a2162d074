#include "platform/com/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/base/failure.h"
#include "testing/scoped_env.h"
#include "testing/temp_dir.h"

namespace quillor::com {
namespace {

namespace fs = std::filesystem;

class RegistryFileTest : public ::testing::Test {
 protected:
  void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  testing::TempDir temp_;
  const std::string dir_ = temp_.path().string();
};

TEST(RegistryTest, TextRoundTripKeepsEveryByte) {
  Registry r;
  r.SetValue("CLSID\\{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}", "", "IMaterial");
  r.SetValue("CLSID\\{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}\\InprocServer32", "",
             "/opt/q\"uill\\or/lib quillor.so");
  r.SetValue("CLSID\\{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}\\InprocServer32", "ThreadingModel",
             "Apartment");
  r.SetValue("Odd", "name with \"quotes\" = and ]", "two\nlines\r\nand 成本");
  r.SetValue("Odd", "empty", "");

  const std::string text = r.ToText();
  EXPECT_NE(text.find("[CLSID\\{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}\\InprocServer32]\n"
                      "@=\"/opt/q\\\"uill\\\\or/lib quillor.so\"\n"
                      "\"ThreadingModel\"=\"Apartment\"\n"),
            std::string::npos)
      << text;
  const Registry back = Registry::FromText(text);
  EXPECT_EQ(back.keys(), r.keys());
  EXPECT_EQ(back.ToText(), text);
}

TEST(RegistryTest, KeysAndValueNamesIgnoreCase) {
  Registry r;
  r.SetValue("CLSID\\{ABC}\\InprocServer32", "ThreadingModel", "Apartment");
  r.SetValue("clsid\\{abc}\\inprocserver32", "threadingmodel", "Both");
  ASSERT_EQ(r.keys().size(), 1u);
  EXPECT_EQ(r.keys().begin()->first, "CLSID\\{ABC}\\InprocServer32");  // as first written
  EXPECT_EQ(r.GetValue("Clsid\\{Abc}\\InprocServer32", "THREADINGMODEL"), "Both");
  EXPECT_TRUE(r.HasKey("CLSID\\{abc}"));  // a parent of a stored key
  EXPECT_FALSE(r.HasKey("CLSID\\{ab"));
  EXPECT_EQ(r.GetValue("CLSID\\{ABC}\\InprocServer32"), std::nullopt);  // no default value
}

TEST(RegistryTest, DeleteTreeTakesSubkeysButNotNeighbours) {
  Registry r;
  r.SetValue("TypeLib\\{L}\\1.1", "", "Quillor");
  r.SetValue("TypeLib\\{L}\\1.1\\0\\win32", "", "/a.so");
  r.SetValue("TypeLib\\{L}\\1.10", "", "Other");
  r.SetValue("TypeLib\\{L}\\1.0", "", "Older");
  r.DeleteTree("typelib\\{l}\\1.1");
  EXPECT_FALSE(r.HasKey("TypeLib\\{L}\\1.1"));
  EXPECT_FALSE(r.HasKey("TypeLib\\{L}\\1.1\\0\\win32"));
  EXPECT_EQ(r.GetValue("TypeLib\\{L}\\1.10"), "Other");
  EXPECT_EQ(r.GetValue("TypeLib\\{L}\\1.0"), "Older");
}

TEST(RegistryTest, MalformedTextIsAFailure) {
  for (const char* text : {
           "@=\"value before any key\"\n",
           "[Key]\n\"name\"=unquoted\n",
           "[Key]\n\"name\"=\"unterminated\n",
           "[Key]\n\"name\" \"no equals\"\n",
           "[Key]\n\"name\"=\"a\" trailing\n",
           "[Key]\n\"bad escape\"=\"\\q\"\n",
           "[Key\n",
           "[]\n",
           "[Key]\n@=\"a\"\n@=\"b\"\n",
           "[Key]\n[key]\n",
           "just some words\n",
       }) {
    EXPECT_THROW(Registry::FromText(text), Failure) << text;
  }
  // Comments, blank lines and CR LF line ends are fine.
  const Registry r = Registry::FromText("; comment\r\n\r\n[Key]\r\n@=\"v\"\r\n");
  EXPECT_EQ(r.GetValue("Key"), "v");
}

TEST_F(RegistryFileTest, MissingFileIsEmptyAndMalformedFileFails) {
  EXPECT_TRUE(Registry::Load(dir_ + "/none").keys().empty());
  Write(dir_ + "/bad", "[Key]\ngarbage\n");
  try {
    Registry::Load(dir_ + "/bad");
    FAIL() << "a malformed file loaded";
  } catch (const Failure& f) {
    EXPECT_NE(f.description().find("line 2"), std::string::npos) << f.description();
    EXPECT_NE(f.description().find(dir_ + "/bad"), std::string::npos) << f.description();
  }
  // Update refuses to overwrite it, and leaves it as it was.
  EXPECT_THROW(Registry::Update(dir_ + "/bad", [](Registry& r) { r.SetValue("K", "", "v"); }),
               Failure);
  std::ifstream in(dir_ + "/bad");
  std::string kept((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(kept, "[Key]\ngarbage\n");
}

TEST_F(RegistryFileTest, UpdateCreatesTheDirectoryAndLeavesNoTemporaryFile) {
  const std::string path = dir_ + "/deep/er/registry";
  Registry::Update(path, [](Registry& r) { r.SetValue("A", "", "1"); });
  Registry::Update(path, [](Registry& r) { r.SetValue("B", "x", "2"); });
  const Registry r = Registry::Load(path);
  EXPECT_EQ(r.GetValue("A"), "1");
  EXPECT_EQ(r.GetValue("B", "x"), "2");
  for (const auto& entry : fs::directory_iterator(dir_ + "/deep/er")) {
    const std::string name = entry.path().filename();
    EXPECT_TRUE(name == "registry" || name == "registry.lock") << name;
  }
}

TEST_F(RegistryFileTest, AFailingChangeWritesNothing) {
  const std::string path = dir_ + "/registry";
  Registry::Update(path, [](Registry& r) { r.SetValue("A", "", "1"); });
  EXPECT_THROW(Registry::Update(path,
                                [](Registry& r) {
                                  r.DeleteTree("A");
                                  throw Failure(1, "stop");
                                }),
               Failure);
  EXPECT_EQ(Registry::Load(path).GetValue("A"), "1");
}

TEST_F(RegistryFileTest, ConcurrentThreadsAllLandAndTheFileStaysReadable) {
  const std::string path = dir_ + "/registry";
  std::atomic<bool> stop{false};
  std::atomic<int> bad_reads{0};
  std::thread reader([&] {
    while (!stop) {
      try {
        Registry::Load(path);
      } catch (const Failure&) {
        ++bad_reads;
      }
    }
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        Registry::Update(path, [&](Registry& r) {
          r.SetValue("Thread" + std::to_string(t), std::to_string(i), "v");
        });
      }
    });
  }
  for (auto& w : writers) w.join();
  stop = true;
  reader.join();
  EXPECT_EQ(bad_reads.load(), 0);
  const Registry r = Registry::Load(path);
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 25; ++i) {
      EXPECT_TRUE(r.GetValue("Thread" + std::to_string(t), std::to_string(i)).has_value());
    }
  }
}

TEST_F(RegistryFileTest, ConcurrentProcessesAllLand) {
  const std::string path = dir_ + "/registry";
  std::vector<pid_t> children;
  for (int p = 0; p < 3; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int status = 0;
      try {
        for (int i = 0; i < 20; ++i) {
          Registry::Update(path, [&](Registry& r) {
            r.SetValue("Process" + std::to_string(p), std::to_string(i), "v");
          });
        }
      } catch (...) {
        status = 1;
      }
      _exit(status);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const Registry r = Registry::Load(path);
  for (int p = 0; p < 3; ++p) {
    for (int i = 0; i < 20; ++i) {
      EXPECT_TRUE(r.GetValue("Process" + std::to_string(p), std::to_string(i)).has_value());
    }
  }
}

TEST(RegistryTest, DefaultPathPrefersTheVariableThenXdgThenHome) {
  ScopedEnv a("QUILLOR_REGISTRY"), b("XDG_CONFIG_HOME"), c("HOME");
  setenv("QUILLOR_REGISTRY", "/r/file", 1);
  setenv("XDG_CONFIG_HOME", "/xdg", 1);
  setenv("HOME", "/home/u", 1);
  EXPECT_EQ(Registry::DefaultPath(), "/r/file");
  unsetenv("QUILLOR_REGISTRY");
  EXPECT_EQ(Registry::DefaultPath(), "/xdg/quillor/registry");
  setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(Registry::DefaultPath(), "/home/u/.config/quillor/registry");
  unsetenv("HOME");
  EXPECT_THROW(Registry::DefaultPath(), Failure);
}

TEST(ReadJsonString, RegistryValuesWithControlCharactersSurviveTheFile) {
  const char raw[] = "tab\tnul\0bell\a\"q\"\\";
  const std::string data(raw, sizeof raw - 1);
  com::Registry r;
  r.SetValue("Key\\Sub", "name\n", data);
  const com::Registry back = com::Registry::FromText(r.ToText());
  EXPECT_EQ(back.GetValue("Key\\Sub", "name\n"), data);
  EXPECT_NE(r.ToText().find(R"(\t)"), std::string::npos);
}

}  // namespace
}  // namespace quillor::com
