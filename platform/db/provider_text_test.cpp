#include "platform/db/provider_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/base/failure.h"
#include "testing/expect_failure.h"

namespace quillor {
namespace {

using testing::FailureOf;
using ::testing::HasSubstr;
using ::testing::Not;

const DriverChoice kFreeTds{false, {"PostgreSQL Unicode", "FreeTDS", "SQLite3"}};

std::string SqlServerText(const std::string& text, const DriverChoice& drivers = kFreeTds) {
  const ConnectionText read = ConnectionText::Lenient(text);
  EXPECT_EQ(ProviderOf(read), ProviderKind::kSqlServer) << text;
  std::string odbc = SqlServerOpeningOf(read, drivers).text;
  // Always closed by ';': FreeTDS keeps the brace of a braced value at the very end.
  EXPECT_TRUE(odbc.ends_with(';')) << odbc;
  if (odbc.ends_with(';')) odbc.pop_back();
  return odbc;
}

TEST(ProviderText, EachProviderGoesWhereTheHostsLayerTakesIt) {
  struct Case {
    const char* text;
    ProviderKind kind;
  };
  for (const Case& c : {
           Case{"Provider=SQLOLEDB.1;Data Source=s", ProviderKind::kSqlServer},
           Case{"provider=sqloledb;Data Source=s", ProviderKind::kSqlServer},
           Case{"Provider=SQLNCLI;Data Source=s", ProviderKind::kSqlServer},
           Case{"Provider=SQLNCLI10.1;Data Source=s", ProviderKind::kSqlServer},
           Case{"Provider=sqlncli11;Data Source=s", ProviderKind::kSqlServer},
           Case{"Provider=MSOLEDBSQL;Data Source=s", ProviderKind::kSqlServer},
           Case{"Provider = MSOLEDBSQL19.1 ;Data Source=s", ProviderKind::kSqlServer},
           Case{"Provider=MSDASQL.1;DSN=erp", ProviderKind::kOdbc},
           Case{"Provider=msdasql;DSN=erp", ProviderKind::kOdbc},
           Case{"DSN=erp;UID=u", ProviderKind::kOdbc},
           Case{"a text of the driver's own", ProviderKind::kOdbc},
           Case{"Provider=SQLite;Data Source=x.db", ProviderKind::kSqlite},
       }) {
    EXPECT_EQ(ProviderOf(ConnectionText::Lenient(c.text)), c.kind) << c.text;
  }
}

TEST(ProviderText, AnyOtherProviderIsRefusedByNameWithTheFormsTaken) {
  for (const char* provider : {"Microsoft.Jet.OLEDB.4.0", "Microsoft.ACE.OLEDB.12.0",
                               "OraOLEDB.Oracle", "SQLOLEDBX", "MSDASQLX", ""}) {
    const std::string text = std::string("Provider=") + provider + ";Data Source=x;Password=s3cret";
    const Failure f = FailureOf([&] { ProviderOf(ConnectionText::Lenient(text)); });
    EXPECT_EQ(f.number(), kProviderNotFound) << text;
    EXPECT_THAT(f.description(), HasSubstr(std::string("names the provider ") + provider + ","));
    EXPECT_THAT(f.description(), HasSubstr("Provider=SQLOLEDB, SQLNCLI"));
    EXPECT_THAT(f.description(), HasSubstr("Provider=MSDASQL or no Provider"));
    EXPECT_THAT(f.description(), Not(HasSubstr("s3cret")));
  }
}

TEST(ProviderText, OdbcTextsGoAsTodayAndTheProvidersFormIsUnwrapped) {
  struct Case {
    const char* given;
    const char* odbc;
  };
  for (const Case& c : {
           // No provider and nothing to unwrap: byte for byte, even when not pairs.
           Case{" Driver={PostgreSQL Unicode};Server=h ; PWD=a;",
                " Driver={PostgreSQL Unicode};Server=h ; PWD=a;"},
           Case{"not pairs at all", "not pairs at all"},
           Case{"Provider=MSDASQL.1;Persist Security Info=False;Extended "
                "Properties=\"DSN=erp;UID=sa;PWD=x\"",
                "DSN=erp;UID=sa;PWD=x"},
           Case{"Provider=MSDASQL;Extended Properties='Driver={PostgreSQL "
                "Unicode};Server=h';BlockRows=10",
                "Driver={PostgreSQL Unicode};Server=h;BlockRows={10}"},
           // The provider's own keys in the driver manager's words.
           Case{"Provider=MSDASQL;Data Source=erp;User ID=sa;Password=p;Initial Catalog=db",
                "DSN={erp};UID={sa};PWD={p};DATABASE={db}"},
           Case{"Provider=MSDASQL;Data Source=erp;Password=\"a;}b\"", "DSN={erp};PWD={a;}}b}"},
           Case{"Extended Properties=\"DSN=erp\"", "DSN=erp"},
       }) {
    EXPECT_EQ(OdbcOpeningOf(ConnectionText::Lenient(c.given)).text, c.odbc) << c.given;
  }
}

TEST(ProviderText, SqlServerKeysInFreeTdsWords) {
  struct Case {
    const char* given;
    const char* odbc;
  };
  for (const Case& c : {
           Case{"Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Password=pw;Initial "
                "Catalog=erp;Data Source=ERPSRV",
                "Driver={FreeTDS};Server={ERPSRV};Database={erp};UID={sa};PWD={pw}"},
           Case{"Provider=SQLNCLI11;Server=tcp:db.example,1444;Database=erp;UID=u;PWD=p",
                "Driver={FreeTDS};Server={db.example};Port=1444;Database={erp};UID={u};PWD={p}"},
           Case{"Provider=SQLOLEDB;Address=(local)\\SQLEXPRESS",
                "Driver={FreeTDS};Server={localhost\\SQLEXPRESS}"},
           Case{"Provider=SQLOLEDB;Addr=.", "Driver={FreeTDS};Server={localhost}"},
           Case{"Provider=SQLOLEDB", "Driver={FreeTDS};Server={localhost}"},
           Case{"Provider=SQLOLEDB;Network Address=h\\i,1500;Network Library=DBMSSOCN",
                "Driver={FreeTDS};Server={h\\i};Port=1500"},
           Case{"Provider=SQLOLEDB;Data Source=h;Integrated Security=SSPI;User ID=u;Password=p",
                "Driver={FreeTDS};Server={h};Trusted_Connection=yes"},
           Case{"Provider=SQLOLEDB;Data Source=h;Trusted_Connection=yes",
                "Driver={FreeTDS};Server={h};Trusted_Connection=yes"},
           Case{"Provider=SQLOLEDB;Data Source=h;Application Name=ERP Link;Workstation ID=PC-7",
                "Driver={FreeTDS};Server={h};APP={ERP Link};WSID={PC-7}"},
           Case{"Provider=SQLOLEDB;Data Source=h;Encrypt=yes",
                "Driver={FreeTDS};Server={h};Encryption=require"},
           // The newest provider encrypts unless told not to.
           Case{"Provider=MSOLEDBSQL19;Data Source=h",
                "Driver={FreeTDS};Server={h};Encryption=require"},
           Case{"Provider=MSOLEDBSQL19;Data Source=h;Encrypt=Optional",
                "Driver={FreeTDS};Server={h}"},
           // The backend's own keys go on, for it to read and take out.
           Case{"Provider=SQLOLEDB;Data Source=h;BlockRows=20;Lock Timeout=300",
                "Driver={FreeTDS};Server={h};BlockRows={20};Lock Timeout={300}"},
       }) {
    EXPECT_EQ(SqlServerText(c.given), c.odbc) << c.given;
  }
}

TEST(ProviderText, SqlServerKeysInMicrosoftsWords) {
  const DriverChoice linux_drivers{false, {"FreeTDS", "ODBC Driver 17 for SQL Server"}};
  EXPECT_EQ(SqlServerText("Provider=SQLOLEDB;Data Source=tcp:h\\i,1500;Initial Catalog=erp;"
                          "TrustServerCertificate=true",
                          linux_drivers),
            "Driver={ODBC Driver 17 for SQL Server};Server={tcp:h\\i,1500};Encrypt=no;"
            "TrustServerCertificate=yes;Database={erp}");
  // Microsoft's drivers take the standard form: a closing brace doubled.
  EXPECT_EQ(SqlServerText("Provider=SQLOLEDB;Data Source=h;PWD=\"a};b\"", linux_drivers),
            "Driver={ODBC Driver 17 for SQL Server};Server={h};Encrypt=no;PWD={a}};b}");
  EXPECT_EQ(SqlServerText("Provider=MSOLEDBSQL19;Data Source=(local)", linux_drivers),
            "Driver={ODBC Driver 17 for SQL Server};Server={(local)};Encrypt=yes");
  EXPECT_EQ(SqlServerText("Provider=MSOLEDBSQL;Data Source=h;Encrypt=strict", linux_drivers),
            "Driver={ODBC Driver 17 for SQL Server};Server={h};Encrypt=strict");
  // ODBC Driver=NAME names one outright, even one the driver manager does not list.
  EXPECT_EQ(SqlServerText("Provider=SQLOLEDB;Data Source=h;ODBC Driver=My Driver", linux_drivers),
            "Driver={My Driver};Server={h};Encrypt=no");
  EXPECT_EQ(SqlServerText("Provider=SQLOLEDB;Data Source=h;ODBC Driver=/opt/lib/libtdsodbc.so",
                          linux_drivers),
            "Driver={/opt/lib/libtdsodbc.so};Server={h}");
}

TEST(ProviderText, TheNewestDriverInstalledIsChosen) {
  struct Case {
    bool windows;
    std::vector<std::string> installed;
    const char* chosen;  // nullptr: none
  };
  for (const Case& c : {
           Case{true,
                {"SQL Server", "SQL Server Native Client 11.0", "ODBC Driver 13 for SQL Server",
                 "ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server"},
                "ODBC Driver 18 for SQL Server"},
           Case{true,
                {"SQL Server", "ODBC Driver 13 for SQL Server"},
                "ODBC Driver 13 for SQL Server"},
           Case{true,
                {"SQL Server", "SQL Server Native Client 11.0"},
                "SQL Server Native Client 11.0"},
           Case{true, {"Microsoft Access Driver (*.mdb)", "sql server"}, "sql server"},
           // Under Wine the driver manager is the host's.
           Case{true, {"PostgreSQL Unicode", "FreeTDS"}, "FreeTDS"},
           Case{false,
                {"FreeTDS", "ODBC Driver 18 for SQL Server"},
                "ODBC Driver 18 for SQL Server"},
           Case{false, {"SQL Server", "FreeTDS"}, "FreeTDS"},
           Case{false, {"SQL Server", "SQL Server Native Client 11.0"}, nullptr},
           Case{true, {"PostgreSQL Unicode"}, nullptr},
           Case{false, {}, nullptr},
       }) {
    const ConnectionText text =
        ConnectionText::Lenient("Provider=SQLOLEDB;Data Source=h;PWD=s3cret");
    if (c.chosen == nullptr) {
      const Failure f = FailureOf([&] { SqlServerOpeningOf(text, {c.windows, c.installed}); });
      EXPECT_EQ(f.number(), failure_numbers::kFail);
      EXPECT_THAT(f.description(), HasSubstr("no ODBC driver for SQL Server is installed"));
      EXPECT_THAT(f.description(), HasSubstr("ODBC Driver=NAME"));
      continue;
    }
    EXPECT_THAT(SqlServerOpeningOf(text, {c.windows, c.installed}).text,
                ::testing::StartsWith(std::string("Driver={") + c.chosen + "};"))
        << c.chosen;
  }
}

TEST(ProviderText, TheProvidersSyntaxQuotesBlanksDuplicatesAndCase) {
  struct Case {
    const char* given;
    const char* odbc;
  };
  for (const Case& c : {
           // Quotes of either kind, the closing one doubled inside; braces are plain.
           Case{"Provider=SQLOLEDB;Data Source=h;Password=\"a;b\"\"c\"", "PWD={a;b\"c}"},
           Case{"Provider=SQLOLEDB;Data Source=h;Password='it''s'", "PWD={it's}"},
           Case{"Provider=SQLOLEDB;Data Source=h;Password=\"it's\"", "PWD={it's}"},
           // FreeTDS takes a braced value up to "};" with "}}" as it stands.
           Case{"Provider=SQLOLEDB;Data Source=h;Password={x}}", "PWD={{x}}}"},
           Case{"Provider=SQLOLEDB;Data Source=h;Password=a\"b", "PWD={a\"b}"},
           // Blanks around keys, "=" and values go; a quoted value keeps its own.
           Case{"  Provider = SQLOLEDB ;  Data Source =  h  ;  User ID = u ; Password = \" p \" ;",
                "Server={h};UID={u};PWD={ p }"},
           // A key given twice, or under two of its names: the last one holds.
           Case{"Provider=SQLOLEDB;Data Source=a;Server=b;Address=c", "Server={c}"},
           Case{"Provider=SQLOLEDB;Data Source=h;UID=first;User ID=second;PWD=1;Password=2",
                "UID={second};PWD={2}"},
           Case{"Provider=SQLOLEDB;Data Source=h;Integrated "
                "Security=SSPI;Trusted_Connection=no;UID=u",
                "UID={u}"},
           // An empty value is as if the key were not there.
           Case{"Provider=SQLOLEDB;Data Source=h;User ID=;Password=;Initial Catalog=;Encrypt=",
                "Server={h}"},
           Case{"Provider=SQLOLEDB;Data Source=;Server=h;Data Source=", "Server={localhost}"},
           // Keys in any letter case; values keep theirs.
           Case{"PROVIDER=SQLOLEDB;DATA SOURCE=H;user id=U;password=P",
                "Server={H};UID={U};PWD={P}"},
           // The keys the providers take and nothing here needs are left out.
           Case{"Provider=SQLOLEDB;Data Source=h;Persist Security Info=True;Auto "
                "Translate=True;Packet "
                "Size=4096;Use Procedure for Prepare=1;Use Encryption for Data=False;Locale "
                "Identifier=1033;OLE DB Services=-2;Tag with column collation when possible=False;"
                "DataTypeCompatibility=80;MARS Connection=True",
                "Server={h}"},
           Case{"Provider=SQLOLEDB;Extended Properties=\"Data Source=h;Password='x'\"",
                "Server={h};PWD={x}"},
       }) {
    EXPECT_THAT(SqlServerText(c.given), HasSubstr(c.odbc)) << c.given;
  }
}

TEST(ProviderText, WhatTheSqlServerReaderRefusesItSaysWithoutTheValues) {
  struct Case {
    const char* given;
    const char* why;
  };
  for (const Case& c : {
           Case{"Provider=SQLOLEDB;Data Source=h;Password=s3cret;pa;rt", "part 4 has no '='"},
           Case{"Provider=SQLOLEDB;Data Source=h;Password=\"s3cret",
                "the value of Password is not closed"},
           Case{"Provider=SQLOLEDB;Data Source=h;Password=\"s3\"cret",
                "text follows the quoted value of Password"},
           Case{
               "Provider=SQLOLEDB;Data Source=h;Network Library=dbnmpntw;Password=s3cret",
               "Network Library=dbnmpntw is not supported: SQL Server is reached over TCP/IP only"},
           Case{"Provider=SQLOLEDB;Data Source=np:h;Password=s3cret", "names the protocol np:"},
           Case{"Provider=SQLOLEDB;Data Source=h,port;Password=s3cret",
                "the port in Data Source must be"},
           Case{"Provider=SQLOLEDB;Data Source=h,70000;Password=s3cret",
                "the port in Data Source must be"},
           Case{"Provider=SQLOLEDB;Data Source=h;Connect Timeout=soon;Password=s3cret",
                "Connect Timeout must be a whole number of seconds"},
           Case{"Provider=SQLOLEDB;Data Source=h;Integrated Security=maybe;Password=s3cret",
                "Integrated Security must be SSPI, true or false"},
           Case{"Provider=SQLOLEDB;Data Source=h;Encrypt=perhaps;Password=s3cret",
                "Encrypt must be yes, no or strict"},
           Case{"Provider=SQLOLEDB;Data Source=h;Password=\"s3};cret\"",
                "which the FreeTDS driver cannot be given"},
           Case{"Provider=SQLOLEDB;Data Source=h;Failover Partner=h2;Password=s3cret",
                "the key Failover Partner is not one"},
       }) {
    const Failure f = FailureOf([&] { SqlServerText(c.given); });
    EXPECT_EQ(f.number(), failure_numbers::kFail) << c.given;
    EXPECT_THAT(f.description(), HasSubstr(c.why)) << c.given;
    EXPECT_THAT(f.description(), Not(HasSubstr("s3"))) << c.given;
  }
}

TEST(ProviderText, TheConnectTimeoutIsTheLoginTimeout) {
  auto timeout = [](const std::string& text) {
    return SqlServerOpeningOf(ConnectionText::Lenient(text), kFreeTds).login_timeout_seconds;
  };
  EXPECT_EQ(timeout("Provider=SQLOLEDB;Data Source=h"), 15u);
  EXPECT_EQ(timeout("Provider=SQLOLEDB;Data Source=h;Connect Timeout=3"), 3u);
  EXPECT_EQ(timeout("Provider=SQLOLEDB;Data Source=h;Connection Timeout=0;"), 0u);
  EXPECT_EQ(OdbcOpeningOf(ConnectionText::Lenient("DSN=x")).login_timeout_seconds, 15u);
}

TEST(ProviderText, MaskedTextsShowNoPassword) {
  struct Case {
    const char* given;
    const char* shown;
  };
  for (const Case& c : {
           Case{"Driver=X;UID=u;PWD=secret;Port=1", "Driver=X;UID=u;PWD=***;Port=1"},
           Case{"Provider=SQLOLEDB;Password=\"sec;ret\";User ID=u",
                "Provider=SQLOLEDB;Password=***;User ID=u"},
           Case{"pwd = {sec;}}ret}", "pwd =***"},
           Case{"Provider=MSDASQL;Extended Properties=\"DSN=x;PWD=sec;\";UID=u",
                "Provider=MSDASQL;Extended Properties=\"DSN=x;PWD=***;\";UID=u"},
           // Not pairs: everything from the first password key on is hidden.
           Case{"Server=h;PWD=\"secret;UID=u", "Server=h;PWD=***"},
           Case{"no password here", "no password here"},
       }) {
    EXPECT_EQ(ConnectionText::Lenient(c.given).Masked(), c.shown) << c.given;
  }
}

}  // namespace
}  // namespace quillor
