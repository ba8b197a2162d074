// Which path expressions a selection takes. A selection runs over a request of
// up to hundreds of megabytes, so its cost must stay near one pass over the
// document whatever the expression says; libxml2's budget of operations counts
// steps, not what a step costs (the text of the whole document is one step).
// The paths taken are location paths as callers write them: from the context
// (one node) any step, down, up or across; from the many nodes a step selects,
// child steps only (libxml2 merges what each node's step gives by comparing
// pairs, so `//` or `..` from many nodes costs their square). Predicates test
// a node's own neighbourhood (its position, name, attributes, texts and the
// presence of children), reading at most a few values. Refused: anything in a
// predicate or function argument that reaches over the whole document or a
// whole subtree (an absolute path, "//", ancestors or following nodes, "." or
// an element compared or passed by its text), and translate().
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillor {

// Why the expression is not one a selection takes, or nothing when it is. Meant
// for expressions that are valid XPath; anything it cannot read is refused.
std::optional<std::string> RefusedSelectionPath(std::string_view path);

}  // namespace quillor
