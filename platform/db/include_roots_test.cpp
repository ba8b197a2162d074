// The include roots the build gives each library: a root shows its own folder's
// headers and no backend's beneath it, so a layer that links the database layer
// cannot include the SQLite backend's headers without linking the backend.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace quillor {
namespace {

namespace fs = std::filesystem;

fs::path Root(const std::string& folder) {
  return fs::path(QUILLOR_BUILD_DIR) / "include" / folder / folder;
}

TEST(IncludeRoots, AFoldersRootShowsItsHeadersAndNoBackendsBeneathIt) {
  struct Case {
    const char* folder;
    const char* shown;   // a header of the folder's own
    const char* hidden;  // a header of a backend beneath it
  };
  for (const Case& c : {
           Case{"platform/db", "database.h", "sqlite/sqlite_file.h"},
           Case{"platform/db", "connection_pool.h", "odbc/odbc_connection.h"},
           Case{"platform/xml", "xml.h", "libxml2/libxml2_parse.h"},
           Case{"platform/com", "dispatch.h", "windows/wide_text.h"},
       }) {
    const fs::path root = Root(c.folder);
    EXPECT_TRUE(fs::exists(root / c.shown)) << root / c.shown;
    EXPECT_FALSE(fs::exists(root / c.hidden)) << root / c.hidden;
    // A link per header, not a link to the folder, which would show all of it.
    EXPECT_FALSE(fs::is_symlink(root)) << root;
  }
}

TEST(IncludeRoots, EachBackendHasARootOfItsOwn) {
  for (const char* header : {"platform/db/sqlite/sqlite_file.h", "platform/db/odbc/odbc_error.h",
                             "platform/xml/libxml2/libxml2_parse.h"}) {
    const fs::path path(header);
    EXPECT_TRUE(fs::exists(Root(path.parent_path().string()) / path.filename())) << header;
  }
}

}  // namespace
}  // namespace quillor
