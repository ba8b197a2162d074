// One ODBC handle (environment, connection or statement), freed when it goes.
#pragma once

#include "platform/db/odbc/odbc_api.h"

#include <utility>

namespace quillor::odbc {

class Handle {
 public:
  // Allocates a handle of the type under its parent; failure is a Failure.
  Handle(SQLSMALLINT type, SQLHANDLE parent);
  ~Handle() {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
  }
  Handle(Handle&& other) noexcept
      : type_(other.type_), handle_(std::exchange(other.handle_, SQLHANDLE{})) {}
  Handle& operator=(Handle&&) = delete;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  SQLHANDLE get() const { return handle_; }
  SQLSMALLINT type() const { return type_; }

  // Throws this handle's diagnostics unless rc is a success.
  void Check(SQLRETURN rc, const char* doing) const;

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

}  // namespace quillor::odbc
