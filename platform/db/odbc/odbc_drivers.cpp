#include "platform/db/odbc/odbc_drivers.h"

#include "platform/db/odbc/odbc_api.h"

#include <algorithm>
#include <array>
#include <optional>

#include "platform/base/failure.h"
#include "platform/db/odbc/odbc_handle.h"
#include "platform/db/odbc/odbc_text.h"

namespace quillor {

std::vector<std::string> InstalledOdbcDrivers() {
  std::vector<std::string> names;
  std::optional<odbc::Handle> env;
  try {
    env.emplace(static_cast<SQLSMALLINT>(SQL_HANDLE_ENV), SQLHANDLE{});
  } catch (const Failure&) {
    return names;
  }
  SQLSetEnvAttr(env->get(), SQL_ATTR_ODBC_VERSION,
                reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_OV_ODBC3)), 0);
  std::array<SQLWCHAR, 512> name{};
  std::array<SQLWCHAR, 2048> attributes{};
  SQLSMALLINT name_length = 0, attributes_length = 0;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  // A name too long for the buffer comes back cut short (success with info):
  // such a name is none of those asked for.
  while (SQL_SUCCEEDED(SQLDriversW(
      env->get(), direction, name.data(), static_cast<SQLSMALLINT>(name.size()), &name_length,
      attributes.data(), static_cast<SQLSMALLINT>(attributes.size()), &attributes_length))) {
    const size_t length = std::min<size_t>(static_cast<size_t>(name_length), name.size() - 1);
    names.push_back(odbc::Utf16ToUtf8(odbc::WideView(name.data(), length)));
    direction = SQL_FETCH_NEXT;
  }
  return names;
}

}  // namespace quillor
