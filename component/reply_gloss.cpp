#include "component/reply_gloss.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>

#include "messages/message_ids.h"
#include "messages/message_text_map.h"
#include "platform/xml/xml.h"

namespace quillor {

namespace {

struct Gloss {
  std::string_view id;
  std::string_view english;
};

// Longer texts first where one could hold another.
constexpr Gloss kGlosses[] = {
    {msg::kConnectionError, "the database connection failed (the connection text is empty)"},
    {msg::kXmlParseError, "the request is not well-formed XML"},
    {msg::kNoRootNode, "the request document has no root element"},
    {msg::kUnknownProc, "unknown operation: proc is neither ADD nor QUERY"},
    {msg::kDatabaseOperationError, "database operation failed: "},
    {msg::kDepartmentEmpty, "the department number is empty"},
    {msg::kDepartmentNotBase, ": the department is not a base costing department"},
    {msg::kInventoryEmpty, "the inventory code is empty"},
    {msg::kInventoryUnknown, "the inventory code is not in the inventory file"},
    {msg::kBatchRequired,
     "with batch costing, the product batch of dedicated material must not be empty"},
    {msg::kBatchUnknown, ": the batch is not in the production batch table"},
    {msg::kQuantityZero, "the quantity must not be 0"},
    {msg::kPeriodOutOfRange, "the period must be between 1 and 12"},
    {msg::kPeriodClosed, "the period is closed"},
    {msg::kTotalMismatch, "the total is not price times quantity"},
    {msg::kRecordExists, "the row is already in the material table"},
    {msg::kCostObjectNotFound, ": no cost object matches these values"},
    {msg::kProductUnknown, "the product is not in the product structure table"},
    {msg::kLabelDepartment, "department "},
    {msg::kLabelProduct, "product "},
    {msg::kLabelMoCode, "order "},
    {msg::kLabelMoSubSn, "order line "},
    {msg::kLabelMoRouteSn, "operation line "},
    {msg::kLabelBomVersionId, "BOM version id "},
    {msg::kLabelBomVersion, "BOM version "},
    {msg::kLabelOmpFlag, "outsourcing flag "},
    {msg::kSuccess, "written"},
};

// A message ID's text in the release's table, when it carries the ID.
std::optional<std::string> TextOf(const MessageTextMap& texts, std::string_view id) {
  if (const auto it = texts.find(id); it != texts.end()) return it->second;
  return std::nullopt;
}

struct Known {
  std::string chinese;
  std::string english;
};

std::vector<Known> KnownTextsOf(const MessageTextMap& texts) {
  std::vector<Known> out;
  for (const Gloss& g : kGlosses) {
    if (auto text = TextOf(texts, g.id)) out.push_back({std::move(*text), std::string(g.english)});
  }
  for (int i = 0; i < 10; ++i) {
    if (auto text = TextOf(texts, msg::kLabelFree[i])) {
      out.push_back({std::move(*text), "free item " + std::to_string(i + 1) + " "});
    }
  }
  // Where one text holds another, the longer one is the one meant.
  std::stable_sort(out.begin(), out.end(), [](const Known& a, const Known& b) {
    return a.chinese.size() > b.chinese.size();
  });
  return out;
}

// Made once per table: a process glosses the replies of one release or a few.
const std::vector<Known>& KnownTexts(const MessageTextMap& texts) {
  static std::mutex mutex;
  static std::map<const MessageTextMap*, std::vector<Known>> known;
  std::lock_guard lock(mutex);
  auto it = known.find(&texts);
  if (it == known.end()) it = known.emplace(&texts, KnownTextsOf(texts)).first;
  return it->second;
}

// Data joined straight after a text (a code after "not in the inventory file")
// reads as its object.
void AppendData(std::string& out, std::string_view data) {
  if (data.empty()) return;
  if (!out.empty() && out.back() != ' ') out += ": ";
  out.append(data);
}

std::string_view ItemOutcome(std::string_view code) {
  if (code == "0") return "";
  if (code == "100") return "the write failed: ";
  if (code == "101") return "refused: ";
  if (code == "999") return "the batch stopped: ";
  return "";
}

}  // namespace

std::string GlossMessage(std::string_view message, const MessageTextMap& texts) {
  const std::vector<Known>& known = KnownTexts(texts);
  std::string out;
  bool matched = false;
  size_t at = 0;
  while (at < message.size()) {
    const Known* found = nullptr;
    size_t found_at = std::string_view::npos;
    for (const Known& k : known) {
      const size_t pos = message.find(k.chinese, at);
      if (pos < found_at) {
        found_at = pos;
        found = &k;
      }
    }
    if (!found) break;
    AppendData(out, message.substr(at, found_at - at));
    out += found->english;
    at = found_at + found->chinese.size();
    matched = true;
  }
  if (!matched) return std::string(message);
  AppendData(out, message.substr(at));
  // Labels and the texts joined after data begin with separators of their own.
  while (out.compare(0, 2, ", ") == 0 || out.compare(0, 2, ": ") == 0) out.erase(0, 2);
  if (out.size() >= 2 && out.compare(out.size() - 2, 2, ": ") == 0) out.resize(out.size() - 2);
  return out;
}

std::string GlossItem(std::string_view id, std::string_view code, std::string_view message,
                      const MessageTextMap& texts) {
  return "# item " + std::string(id) + ": " + std::string(code) + ", " +
         std::string(ItemOutcome(code)) + GlossMessage(message, texts);
}

std::string GlossUnanswered(std::string_view code, std::string_view message,
                            const MessageTextMap& texts) {
  return "# reply " + std::string(code) + ": " + GlossMessage(message, texts);
}

std::vector<std::string> GlossReply(std::string_view reply, const MessageTextMap& texts) {
  XmlDocument doc;
  if (!doc.LoadXml(reply) || !doc.Root()) return {"# the reply is not XML"};
  const XmlElement root = doc.Root();
  std::vector<std::string> lines;
  if (root.Name() == "reply") {
    const std::vector<XmlElement> children = root.ChildElements();
    const auto code = root.Attribute("code");
    if (code && children.empty()) {
      lines.push_back(GlossUnanswered(*code, root.Attribute("message").value_or(""), texts));
      return lines;
    }
    for (const XmlElement& item : children) {
      if (item.Name() != "item") continue;
      const std::string item_code = item.Attribute("code").value_or("");
      lines.push_back(GlossItem(item.Attribute("id").value_or("?"), item_code,
                                item.Attribute("message").value_or(""), texts));
    }
    if (lines.empty()) lines.push_back("# no item results");
    return lines;
  }
  const std::string row_name = root.Attribute("roottag").value_or("");
  size_t rows = 0;
  for (const XmlElement& child : root.ChildElements()) rows += child.Name() == row_name ? 1 : 0;
  lines.push_back("# " + std::to_string(rows) + (rows == 1 ? " row" : " rows") + " in the reply");
  return lines;
}

}  // namespace quillor
