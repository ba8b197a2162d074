// The host's SQL Server connection texts, proven by what reaches the wire: a
// stand-in server on loopback decodes the login FreeTDS sends for each text (server
// name, user, password, database, application) and refuses it, and the command's
// reply is then the failure reply with the driver's words. The password shows
// nowhere: not in the reply, the command's standard error or the SQL trace.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "testing/scoped_env.h"
#include "platform/base/text.h"
#include "platform/db/odbc/odbc_drivers.h"
#include "testing/command_line.h"
#include "testing/free_port.h"
#include "testing/tds_listener.h"
#include "testing/temp_dir.h"

namespace quillor {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::RunTool;
using ::testing::StartsWith;
using testing::TdsListener;
using testing::TdsLogin;
using testing::TempDir;

constexpr const char* kRequest = R"(<ufinterface roottag="material" docid="d" proc="QUERY"/>)";
// The driver's number and words, as for any refused login.
constexpr const char* kFailedLogin = "\" message=\"[FreeTDS][SQL Server]Login failed for user '";

bool HasFreeTds() {
  for (const std::string& name : InstalledOdbcDrivers()) {
    if (EqualsIgnoreCase(name, "FreeTDS")) return true;
  }
  return false;
}

std::string Filled(std::string text, const std::string& address, uint16_t port) {
  text = std::regex_replace(text, std::regex("ADDR"), address);
  return std::regex_replace(text, std::regex("PORT"), std::to_string(port));
}

struct CommandRun {
  testing::ToolRun tool;
  std::string trace;
};

// One transact through the command, with the SQL trace on.
CommandRun Transact(const std::string& connection) {
  TempDir dir;
  const std::string trace = dir.File("trace.log");
  ScopedEnv tracing("QUILLOR_TRACE_SQL", trace.c_str());
  CommandRun run{
      RunTool({"transact", "--library", testing::kLibrary871, "--connection", connection, "-"},
              kRequest),
      ""};
  run.trace = testing::ReadFileText(trace);
  return run;
}

void ExpectNoSecret(const CommandRun& run, const std::string& secret, const std::string& text) {
  EXPECT_THAT(run.tool.out, Not(HasSubstr(secret))) << text;
  EXPECT_THAT(run.tool.err, Not(HasSubstr(secret))) << text;
  EXPECT_THAT(run.trace, Not(HasSubstr(secret))) << text;
}

class SqlServerTexts : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HasFreeTds()) GTEST_SKIP() << "FreeTDS (tdsodbc) is not installed: scripts/setup";
  }
};

TEST_F(SqlServerTexts, WhatEachFormPutsOnTheWire) {
  struct Case {
    const char* text;  // ADDR and PORT stand for the stand-in's
    TdsLogin wire;     // what the login carries
  };
  auto login = [](const char* server, const char* user, const char* password, const char* database,
                  const char* app) {
    TdsLogin l;
    l.logged_in = true;
    l.server = server;
    l.user = user;
    l.password = password;
    l.database = database;
    l.app = app;
    return l;
  };
  const Case cases[] = {
      // The host's own text, as its login object writes it.
      {"Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Password=Pa55-w0rd;Initial "
       "Catalog=erp;Data Source=ADDR,PORT",
       login("ADDR", "sa", "Pa55-w0rd", "erp", "")},
      {"Provider=SQLNCLI11;Server=tcp:ADDR,PORT;Database=erp2;UID=erp_user;PWD=\"se;mi\"\"colon\"",
       login("ADDR", "erp_user", "se;mi\"colon", "erp2", "")},
      {"provider = msoledbsql.1 ; Address = ADDR,PORT ; UID = 'o''brien' ; PWD = ' spaced ' ; "
       "Application Name=ERP Link;Workstation ID=PC-7;Encrypt=no",
       login("ADDR", "o'brien", " spaced ", "", "ERP Link")},
      {"Provider=SQLNCLI10;Addr=ADDR,PORT;User ID=first;UID=second;Password=one;PWD={two};"
       "Initial Catalog=a;Database=b;Network Library=dbmssocn;Auto Translate=True;Packet Size=4096",
       login("ADDR", "second", "{two}", "b", "")},
      {"Provider=SQLOLEDB;Network Address=ADDR,PORT;Extended Properties=\"User "
       "ID=ext;Password='x;y'\"",
       login("ADDR", "ext", "x;y", "", "")},
      {"Provider=SQLOLEDB;Data Source=(local),PORT;User ID=u;Password=Loc4l-pw;Connect Timeout=5",
       login("localhost", "u", "Loc4l-pw", "", "")},
      {"Provider=MSOLEDBSQL19;Data Source=ADDR,PORT;User ID=u;Password=Nin3teen;Encrypt=false",
       login("ADDR", "u", "Nin3teen", "", "")},
      // ODBC texts: through MSDASQL, unwrapped; and with no provider, as they were.
      {"Provider=MSDASQL.1;Persist Security Info=False;Extended Properties=\"Driver={FreeTDS};"
       "Server=ADDR;Port=PORT;UID=odbc;PWD={od;bc};Database=erp\"",
       login("ADDR", "odbc", "od;bc", "erp", "")},
      {"Driver=FreeTDS;Server=ADDR;Port=PORT;UID=plain;PWD={pl;ain};Database=erp;APP=Direct",
       login("ADDR", "plain", "pl;ain", "erp", "Direct")},
  };
  for (const Case& c : cases) {
    TdsListener server;
    const std::string text = Filled(c.text, "127.0.0.1", server.port());
    const CommandRun run = Transact(text);
    EXPECT_THAT(run.tool.out,
                StartsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<reply code=\"-"))
        << text;
    EXPECT_THAT(run.tool.out, HasSubstr(kFailedLogin)) << text;
    const std::vector<TdsLogin> logins = server.logins();
    ASSERT_EQ(logins.size(), 1u) << text;
    const TdsLogin& got = logins[0];
    EXPECT_TRUE(got.logged_in) << text;
    EXPECT_EQ(got.server, Filled(c.wire.server, "127.0.0.1", server.port())) << text;
    EXPECT_EQ(got.user, c.wire.user) << text;
    EXPECT_EQ(got.password, c.wire.password) << text;
    EXPECT_EQ(got.database, c.wire.database) << text;
    if (!c.wire.app.empty()) {
      EXPECT_EQ(got.app, c.wire.app) << text;
    }
    EXPECT_FALSE(got.integrated) << text;
    ExpectNoSecret(run, c.wire.password, text);
  }
}

TEST_F(SqlServerTexts, TheWorkstationGoesAsTheHostName) {
  TdsListener server;
  Transact(Filled("Provider=SQLOLEDB;Data Source=127.0.0.1,PORT;Workstation ID=PC-7;UID=u;PWD=p",
                  "", server.port()));
  ASSERT_EQ(server.logins().size(), 1u);
  EXPECT_EQ(server.logins()[0].workstation, "PC-7");
}

TEST_F(SqlServerTexts, AnInstanceIsLookedUpAndReached) {
  // An address of its own in 127/8, so that its lookup port is free.
  const std::string address = "127.0.0." + std::to_string(20 + testing::FreeLoopbackPort() % 200);
  TdsListener server(address, "ERPINST");
  const std::string text =
      "Provider=SQLOLEDB;Data Source=" + address + "\\ERPINST;User ID=inst;Password=in5t";
  const CommandRun run = Transact(text);
  EXPECT_THAT(run.tool.out, HasSubstr(kFailedLogin)) << text;
  EXPECT_GE(server.lookups(), 1);
  ASSERT_EQ(server.logins().size(), 1u);
  EXPECT_EQ(server.logins()[0].user, "inst");
  EXPECT_EQ(server.logins()[0].password, "in5t");
  ExpectNoSecret(run, "in5t", text);
}

TEST_F(SqlServerTexts, EncryptionAskedForStopsBeforeTheLogin) {
  // The stand-in offers no encryption: a client that must encrypt never logs in.
  for (const char* text :
       {"Provider=MSOLEDBSQL19;Data Source=127.0.0.1,PORT;UID=u;PWD=Enc-pw",
        "Provider=SQLOLEDB;Data Source=127.0.0.1,PORT;UID=u;PWD=Enc-pw;Encrypt=yes"}) {
    TdsListener server;
    const std::string filled = Filled(text, "", server.port());
    const CommandRun run = Transact(filled);
    EXPECT_THAT(run.tool.out, StartsWith("<?xml")) << filled;
    EXPECT_THAT(run.tool.out, HasSubstr("code=\"-2147467259\"")) << filled;
    ASSERT_GE(server.logins().size(), 1u) << filled;
    for (const TdsLogin& l : server.logins()) {
      EXPECT_FALSE(l.logged_in) << filled;
      EXPECT_NE(l.encryption, std::optional<uint8_t>(2)) << filled;
    }
    ExpectNoSecret(run, "Enc-pw", filled);
  }
}

TEST_F(SqlServerTexts, TheSystemsLoginSendsNoUserOrPassword) {
  // FreeTDS on Linux takes the system's login from Kerberos; with no ticket here
  // it stops after the pre-login, and the user and password given never go out.
  for (const char* text : {"Provider=SQLOLEDB;Data Source=127.0.0.1,PORT;Integrated Security=SSPI;"
                           "User ID=sa;Password=Ss-pi-pw",
                           "Provider=SQLNCLI11;Data Source=127.0.0.1,PORT;Trusted_Connection=yes;"
                           "UID=sa;PWD=Ss-pi-pw"}) {
    TdsListener server;
    const std::string filled = Filled(text, "", server.port());
    const CommandRun run = Transact(filled);
    EXPECT_THAT(run.tool.out, HasSubstr("message=\"[FreeTDS]")) << filled;
    ASSERT_GE(server.logins().size(), 1u) << filled;
    for (const TdsLogin& l : server.logins()) {
      EXPECT_TRUE(!l.logged_in || l.integrated) << filled;
      EXPECT_EQ(l.password, "") << filled;
    }
    ExpectNoSecret(run, "Ss-pi-pw", filled);
  }
}

TEST_F(SqlServerTexts, AnUnreachableServerKeepsTheDriversWords) {
  const std::string text = "Provider=SQLOLEDB;Data Source=127.0.0.1," +
                           std::to_string(testing::FreeLoopbackPort()) +
                           ";User ID=u;Password=Unre4ch;Connect Timeout=5";
  const CommandRun run = Transact(text);
  EXPECT_THAT(run.tool.out, HasSubstr("<reply code=\"-2147467259\" message=\"[FreeTDS]")) << text;
  ExpectNoSecret(run, "Unre4ch", text);
}

TEST(HostTexts, AnotherProviderIsRefusedAtOnceInTheReplyAndOnStandardError) {
  const CommandRun run = Transact(
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\erp.mdb;Jet OLEDB:Database "
      "Password=Jet-pw");
  EXPECT_THAT(
      run.tool.out,
      StartsWith(
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<reply code=\"3706\" message=\"[Quillor] "
          "the connection text names the provider Microsoft.Jet.OLEDB.4.0, which"));
  EXPECT_THAT(run.tool.out, Not(HasSubstr("Data source name not found")));
  EXPECT_THAT(run.tool.err, HasSubstr("names the provider Microsoft.Jet.OLEDB.4.0"));
  EXPECT_THAT(run.tool.err, HasSubstr("Provider=SQLOLEDB;Data Source=HOST"));
  ExpectNoSecret(run, "Jet-pw", "Jet");
}

}  // namespace
}  // namespace quillor
