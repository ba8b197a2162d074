// For the serve tests: a host database with master rows for any number of
// material lines, the requests that feed it, and a server over it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "testing/built_tree.h"
#include "testing/serve_process.h"
#include "testing/test_db.h"

namespace quillor::testing {

inline const std::string kServeLibrary = testing::BuiltLibrary("8.71");

// Department D01, product P100 (cost object 1001), batch B1 and materials M0 to M<items-1>.
void AddMasterRows(TestDb& db, int items);

// Line n consumes material M<n>; quantity and total are fixed, so that the same
// line sent twice is the same row.
std::string MaterialLine(int n);
std::string ServeAddRequest(const std::vector<int>& lines, const std::string& docid = "SERVE");
// Adds `rows` stored lines of department D01 straight to the table, each with a
// material of its own, for QUERYs with long answers.
void AddQueryRows(TestDb& db, int rows);
// The QUERY for every row of department D01, with the given page size.
std::string ServeQueryRequest(int paginate);

// The arguments of a server over the database: connection and library.
std::vector<std::string> ServeArgs(const TestDb& db, std::vector<std::string> more = {});

// What `quillor transact` prints for the request on the database.
CommandResult TransactCommand(const TestDb& db, const std::string& request,
                              std::vector<std::string> more = {});

// A self-signed certificate for 127.0.0.1 made with openssl in dir: the files of
// the certificate and of its key. Fails the test when openssl fails.
struct TlsFiles {
  std::string cert;
  std::string key;
};
TlsFiles MakeSelfSignedCertificate(const std::string& dir);

// A tokens file in dir holding `lines` as they are: its path, for --tokens.
std::string WriteTokensFile(const std::string& dir, const std::string& lines);

}  // namespace quillor::testing
