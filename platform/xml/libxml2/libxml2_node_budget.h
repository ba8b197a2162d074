// The nodes a parse on this thread may still build into one tree.
// Included by platform/xml/libxml2/*.cpp only.
#pragma once

#include <libxml/parser.h>

#include <cstddef>
#include <string>

namespace quillor::libxml2 {

// The nodes a parse on this thread may still build into one tree; a node costs
// a hundred bytes or more against the few of its text (`<a/>`), so a bound in
// bytes alone lets one element of many children take gigabytes.
struct NodeBudget {
  size_t most = 0;  // 0: no bound
  size_t nodes = 0;
  bool exceeded = false;
  std::string Why() const {
    return "A tree read from the request holds more than " + std::to_string(most) +
           " nodes (elements, attributes, comments, processing instructions): the text is"
           " refused before its tree grows";
  }
};

inline NodeBudget*& CurrentBudget() {
  thread_local NodeBudget* budget = nullptr;
  return budget;
}

// The budget of the parses within one call of ours.
class BudgetScope {
 public:
  explicit BudgetScope(size_t most) : previous_(CurrentBudget()) {
    budget_.most = most;
    CurrentBudget() = &budget_;
  }
  ~BudgetScope() { CurrentBudget() = previous_; }
  BudgetScope(const BudgetScope&) = delete;
  BudgetScope& operator=(const BudgetScope&) = delete;
  const NodeBudget& budget() const { return budget_; }

 private:
  NodeBudget budget_;
  NodeBudget* previous_;
};

// Counts `more` nodes; past the budget the parse stops, as at too deep a nesting.
inline bool OverBudget(void* ctx, size_t more) {
  NodeBudget* budget = CurrentBudget();
  if (budget == nullptr || budget->most == 0) return false;
  budget->nodes += more;
  if (budget->nodes <= budget->most) return false;
  budget->exceeded = true;
  auto* ctxt = static_cast<xmlParserCtxt*>(ctx);
  ctxt->errNo = XML_ERR_INTERNAL_ERROR;
  ctxt->wellFormed = 0;
  xmlStopParser(ctxt);
  return true;
}

}  // namespace quillor::libxml2
