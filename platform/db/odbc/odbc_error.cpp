#include "platform/db/odbc/odbc_error.h"

#include "platform/db/odbc/odbc_api.h"

#include "platform/db/odbc/odbc_text.h"

namespace quillor::odbc {

std::vector<DiagRecord> ReadDiagnostics(SQLSMALLINT handle_type, SQLHANDLE handle) {
  std::vector<DiagRecord> records;
  if (handle == SQL_NULL_HANDLE) return records;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRecW(handle_type, handle, i, state, &native, nullptr, 0, &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    std::u16string message(static_cast<size_t>(length) + 1, u'\0');
    rc = SQLGetDiagRecW(handle_type, handle, i, state, &native, Wide(message),
                        static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    message.resize(std::min(static_cast<size_t>(length), message.size() - 1));
    records.push_back({Utf16ToUtf8(WideView(state, 5)), native, Utf16ToUtf8(message)});
  }
  return records;
}

int32_t FailureNumberForState(std::string_view state) {
  if (state.starts_with("42") || state == "37000" || state == "S0002" || state == "S0022") {
    return failure_numbers::kDbStatement;
  }
  if (state.starts_with("23")) return failure_numbers::kDbConstraint;
  return failure_numbers::kFail;
}

Failure FailureFromDiagnostics(const std::vector<DiagRecord>& records, std::string_view doing) {
  if (records.empty()) {
    return Failure(failure_numbers::kFail,
                   "[unixODBC] " + std::string(doing) + " failed without a diagnostic");
  }
  std::string description;
  for (const DiagRecord& record : records) {
    std::string_view message = record.message;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '\t')) {
      message.remove_suffix(1);
    }
    if (message.empty()) continue;
    if (!description.empty()) description += '\n';
    description += message;
  }
  return Failure(FailureNumberForState(records.front().state), std::move(description))
      .WithState(records.front().state);
}

void Check(SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle, std::string_view doing) {
  if (SQL_SUCCEEDED(rc)) return;
  throw FailureFromDiagnostics(ReadDiagnostics(handle_type, handle), doing);
}

}  // namespace quillor::odbc
