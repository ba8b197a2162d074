// Where the tests' fault plan reaches the embedded backend. The hooks exist in
// test builds only (QUILLOR_TEST_HOOKS, set where the tests or the fuzz targets
// are built); elsewhere, as in the package and the Windows DLLs, the backend's
// calls below are empty inline functions and the libraries carry no plan and no
// check of one. The plan itself (sqlite_faults) is built into the test programs.
#pragma once

#include <string_view>

namespace quillor::sqlite {

#if QUILLOR_TEST_HOOKS

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

#else

inline void HookBeforeStatement(std::string_view) {}
inline bool HookOpenReadOnly() { return false; }

#endif

}  // namespace quillor::sqlite
