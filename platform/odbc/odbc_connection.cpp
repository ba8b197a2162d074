#include "platform/odbc/odbc_connection.h"

#include "platform/failure.h"

namespace quillor {

std::unique_ptr<Connection> OpenOdbcConnection(std::string_view /*connection_text*/) {
  throw Failure(failure_numbers::kFail, "[Quillor] ODBC connections are not available yet");
}

}  // namespace quillor
