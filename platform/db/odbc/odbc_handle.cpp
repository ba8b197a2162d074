#include "platform/db/odbc/odbc_handle.h"

#include "platform/db/odbc/odbc_error.h"

namespace quillor::odbc {

Handle::Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
  const SQLRETURN rc = SQLAllocHandle(type, parent, &handle_);
  if (!SQL_SUCCEEDED(rc)) {
    handle_ = SQL_NULL_HANDLE;
    // A statement or connection handle refused by its parent leaves the reason there.
    const SQLSMALLINT parent_type = type == SQL_HANDLE_STMT  ? SQL_HANDLE_DBC
                                    : type == SQL_HANDLE_DBC ? SQL_HANDLE_ENV
                                                             : SQL_HANDLE_ENV;
    throw FailureFromDiagnostics(ReadDiagnostics(parent_type, parent), "allocating a handle");
  }
}

void Handle::Check(SQLRETURN rc, const char* doing) const {
  odbc::Check(rc, type_, handle_, doing);
}

}  // namespace quillor::odbc
