#include "testing/serve_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "testing/xml_text.h"

namespace quillor::testing {

void AddMasterRows(TestDb& db, int items) {
  db.Run("insert into ca_depDf(cDeptID, bIsBaseDep) values('D01', 1)");
  db.Run("insert into caq_coreal(iRealCOID, cDeptID, InvCode) values(1001, 'D01', 'P100')");
  db.Run("insert into ca_pronb(cBatch) values('B1')");
  db.Run(
      "insert into ca_batchmap(iRealCOID, cDeptID, InvCode, cbatch) values(1001, 'D01', "
      "'P100', 'B1')");
  db.conn().Begin();
  for (int i = 0; i < items; ++i) {
    db.Run("insert into Inventory(cInvCode) values('M" + std::to_string(i) + "')");
  }
  db.conn().Commit();
}

void AddQueryRows(TestDb& db, int rows) {
  db.Run("with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
         std::to_string(rows) +
         ") insert into ca_mabsw(cDeptID, cMatID, iPeriod) select 'D01', 'Q' || i, 1 from n");
}

std::string MaterialLine(int n) {
  return "<material id=\"" + std::to_string(n) +
         "\"><departmentno>D01</departmentno><productno>P100</productno><inventoryno>M" +
         std::to_string(n) +
         "</inventoryno><serial>B1</serial><price>2</price><quantity>3</quantity>"
         "<period>5</period><totalmoney>6</totalmoney><irdcode>0</irdcode></material>";
}

std::string ServeAddRequest(const std::vector<int>& lines, const std::string& docid) {
  std::string content;
  for (const int n : lines) content += MaterialLine(n);
  return RequestXml({.docid = docid}, content);
}

std::string ServeQueryRequest(int paginate) {
  const std::string page_size = std::to_string(paginate);
  return RequestXml({.proc = "QUERY", .docid = "Q", .paginate = page_size},
                    "<material><field name=\"cDeptID\" operation=\"=\" value=\"D01\"/></material>");
}

std::vector<std::string> ServeArgs(const TestDb& db, std::vector<std::string> more) {
  std::vector<std::string> args = {"--connection", db.ConnectionText(), "--library", kServeLibrary};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

CommandResult TransactCommand(const TestDb& db, const std::string& request,
                              std::vector<std::string> more) {
  std::vector<std::string> args = {"transact", "--connection", db.ConnectionText(), "--library",
                                   kServeLibrary};
  args.insert(args.end(), more.begin(), more.end());
  args.push_back("-");
  return RunQuillor(args, request);
}

TlsFiles MakeSelfSignedCertificate(const std::string& dir) {
  TlsFiles files{dir + "/cert.pem", dir + "/key.pem"};
  const std::string make =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
      " -addext subjectAltName=IP:127.0.0.1 -keyout " +
      files.key + " -out " + files.cert + " 2>/dev/null";
  EXPECT_EQ(std::system(make.c_str()), 0);
  return files;
}

std::string WriteTokensFile(const std::string& dir, const std::string& lines) {
  const std::string path = dir + "/tokens";
  std::ofstream(path) << lines;
  return path;
}

}  // namespace quillor::testing
