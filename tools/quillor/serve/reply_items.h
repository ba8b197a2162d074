// What the server says of a call's reply in its log, metrics and headers, from
// the call's facts: the item results counted by their code, the reasons of the
// refused ones, and whether the call may have failed for want of its connection.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillor::serve {

// code text -> number of item results with it.
using ItemCounts = std::map<std::string, long>;
// code text -> the English reasons of the item results with it, in reply order.
using ItemReasons = std::map<std::string, std::vector<std::string>>;

// The item results by code, as the X-Quillor-Items header gives them:
// "0=4, 101=1" (codes in text order); empty for none.
std::string ItemsHeader(const ItemCounts& items);

// Whether a call may have answered for want of its connection: it gave its own
// outcome (`code`) with a failure's code, not one of the component's codes for a
// faulty request, and answered no line, so nothing was written. The server then
// asks the database itself before it answers 503.
bool MayBeUnopenedConnection(std::optional<int32_t> code, bool lines_answered);

// Whether the driver's SQLSTATE says it could not connect (class 08): the
// database need not be asked again.
bool DriverCouldNotConnect(std::string_view state);

}  // namespace quillor::serve
