// Where the tests' fault plan reaches the embedded backend. Nothing is installed
// in the shipped libraries, so each check is the load of a null pointer; the plan
// itself (sqlite_faults) is built into the test programs only.
#pragma once

#include <string_view>

namespace quillor::sqlite {

class SqliteHooks {
 public:
  // Called before every statement; throws the failure the statement is to meet.
  virtual void BeforeStatement(std::string_view sql) = 0;
  // Whether a new connection is to open the database read-only.
  virtual bool OpenReadOnly() const = 0;

 protected:
  ~SqliteHooks() = default;
};

// Installs hooks for the whole process (nullptr removes them). REQUIRES: hooks
// outlive every connection that may call them.
void InstallHooks(SqliteHooks* hooks);

// For the backend: the installed hooks' answers, or no fault when none are.
void HookBeforeStatement(std::string_view sql);
bool HookOpenReadOnly();

}  // namespace quillor::sqlite
