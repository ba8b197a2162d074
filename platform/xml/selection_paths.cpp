#include "platform/xml/selection_paths.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace quillor {
namespace {

enum class Kind { kName, kNumber, kLiteral, kSymbol, kEnd };

struct Token {
  Kind kind;
  std::string text;
};

bool NameByte(unsigned char c, bool first) {
  if (c >= 0x80 || std::isalpha(c) || c == '_') return true;
  return !first && (std::isdigit(c) || c == '-' || c == '.');
}

// XPath's tokens; a name keeps its prefix ("p:name", "p:*").
std::optional<std::vector<Token>> Tokens(std::string_view s) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else if (c == '"' || c == '\'') {
      const size_t end = s.find(static_cast<char>(c), i + 1);
      if (end == std::string_view::npos) return std::nullopt;
      out.push_back({Kind::kLiteral, std::string(s.substr(i + 1, end - i - 1))});
      i = end + 1;
    } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() && std::isdigit(s[i + 1]))) {
      size_t end = i;
      while (end < s.size() && (std::isdigit(static_cast<unsigned char>(s[end])) || s[end] == '.'))
        ++end;
      out.push_back({Kind::kNumber, std::string(s.substr(i, end - i))});
      i = end;
    } else if (NameByte(c, true)) {
      size_t end = i;
      while (end < s.size() && NameByte(static_cast<unsigned char>(s[end]), false)) ++end;
      if (end + 1 < s.size() && s[end] == ':' && s[end + 1] != ':') {
        ++end;
        if (s[end] == '*') {
          ++end;
        } else {
          while (end < s.size() && NameByte(static_cast<unsigned char>(s[end]), false)) ++end;
        }
      }
      out.push_back({Kind::kName, std::string(s.substr(i, end - i))});
      i = end;
    } else {
      static constexpr std::array<std::string_view, 6> kPairs = {
          "//", "..", "::", "!=", "<=", ">="};
      std::string_view symbol = s.substr(i, 1);
      for (std::string_view pair : kPairs) {
        if (s.substr(i, 2) == pair) symbol = pair;
      }
      if (std::string_view("/.:!<>=()[],|@+-*$").find(symbol[0]) == std::string_view::npos ||
          symbol == ":" || symbol == "!") {
        return std::nullopt;
      }
      out.push_back({Kind::kSymbol, std::string(symbol)});
      i += symbol.size();
    }
  }
  out.push_back({Kind::kEnd, ""});
  return out;
}

// What an operand inside a predicate gives: a value of bounded size (a number,
// a literal, an attribute's or a text's value, a name), or elements, which may
// only be tested for being there or counted.
enum class Operand { kValue, kElements };

struct Refusal {
  std::string why;
};

class Reader {
 public:
  explicit Reader(std::vector<Token> tokens) : t_(std::move(tokens)) {}

  void Expression() {
    TopPath();
    while (Take("|")) TopPath();
    if (Peek().kind != Kind::kEnd) Refuse("'" + Peek().text + "' where the path should end");
  }

 private:
  const Token& Peek(size_t ahead = 0) const { return t_[std::min(at_ + ahead, t_.size() - 1)]; }
  bool Is(std::string_view symbol, size_t ahead = 0) const {
    return Peek(ahead).kind == Kind::kSymbol && Peek(ahead).text == symbol;
  }
  bool Take(std::string_view symbol) {
    if (!Is(symbol)) return false;
    ++at_;
    return true;
  }
  [[noreturn]] static void Refuse(std::string why) { throw Refusal{std::move(why)}; }
  void Expect(std::string_view symbol) {
    if (!Take(symbol)) Refuse("'" + std::string(symbol) + "' expected");
  }

  static bool NodeType(std::string_view name) {
    return name == "node" || name == "text" || name == "comment" ||
           name == "processing-instruction";
  }

  // The path itself. The context starts as one node; steps up from one node
  // (`..`, parent::, self::) leave one node, any other step many. From many
  // nodes only child and self steps are taken: libxml2 merges what each node's
  // step gives, removing duplicates pair by pair, so `//`, an axis that reaches
  // over a subtree, up or across from each of many nodes costs their square.
  void TopPath() {
    bool one = true;
    if (Take("/")) {
      if (!StartsStep()) return;
    } else if (Take("//")) {
      one = false;
    }
    one = TopStep(one);
    while (true) {
      if (Take("/")) {
        one = TopStep(one);
      } else if (Is("//")) {
        if (!one) Refuse("'//' after a step that selects many nodes");
        ++at_;
        one = TopStep(false);
      } else {
        return;
      }
    }
  }

  bool StartsStep() const {
    return Peek().kind == Kind::kName || Is("*") || Is(".") || Is("..") || Is("@");
  }

  // Whether the step leaves one node, given whether its context is one node.
  bool TopStep(bool one) {
    if (Take(".")) return one;
    if (Is("..")) {
      if (!one) Refuse("'..' after a step that selects many nodes");
      ++at_;
      return true;
    }
    if (Take("@")) Refuse("attributes are not elements");
    std::string axis = "child";
    if (Peek().kind == Kind::kName && Is("::", 1)) {
      static constexpr std::array<std::string_view, 9> kAxes = {"child",
                                                                "descendant",
                                                                "descendant-or-self",
                                                                "self",
                                                                "parent",
                                                                "ancestor",
                                                                "ancestor-or-self",
                                                                "following-sibling",
                                                                "preceding-sibling"};
      axis = Peek().text;
      if (std::find(kAxes.begin(), kAxes.end(), axis) == kAxes.end()) {
        Refuse("the axis " + axis);
      }
      if (!one && axis != "child" && axis != "self") {
        Refuse("the axis " + axis + " after a step that selects many nodes");
      }
      at_ += 2;
    }
    NodeTest();
    while (Take("[")) Predicate();
    return one && (axis == "self" || axis == "parent");
  }

  void NodeTest() {
    if (Take("*")) return;
    if (Peek().kind != Kind::kName) Refuse("a step expected");
    const std::string name = t_[at_++].text;
    if (Is("(")) {
      if (!NodeType(name)) Refuse("the function " + name + "() as a step");
      ++at_;
      if (name == "processing-instruction" && Peek().kind == Kind::kLiteral) ++at_;
      Expect(")");
    }
  }

  void Predicate() {
    ++depth_;
    if (depth_ > 16) Refuse("predicates nested more than 16 deep");
    Or();
    Expect("]");
    --depth_;
  }

  Operand Or() { return Joined("or", &Reader::And); }
  Operand And() { return Joined("and", &Reader::Comparison); }

  // Operands of `next` joined by the logic word `word`; two or more make a value.
  Operand Joined(std::string_view word, Operand (Reader::*next)()) {
    Operand first = (this->*next)();
    while (Peek().kind == Kind::kName && Peek().text == word) {
      ++at_;
      (this->*next)();
      first = Operand::kValue;
    }
    return first;
  }

  static void ValueNeeded(Operand operand, std::string_view where) {
    if (operand == Operand::kElements) {
      Refuse("elements " + std::string(where) + " by their text (compare an attribute or text())");
    }
  }

  Operand Comparison() {
    const Operand left = Sum();
    for (const char* op : {"=", "!=", "<", "<=", ">", ">="}) {
      if (Take(op)) {
        ValueNeeded(left, "compared");
        ValueNeeded(Sum(), "compared");
        return Operand::kValue;
      }
    }
    return left;
  }

  Operand Sum() {
    const Operand first = Unary();
    if (!Is("+") && !Is("-")) return first;
    ValueNeeded(first, "added");
    while (Take("+") || Take("-")) ValueNeeded(Unary(), "added");
    return Operand::kValue;
  }

  Operand Unary() {
    if (Take("-")) {
      ValueNeeded(Unary(), "negated");
      return Operand::kValue;
    }
    return Primary();
  }

  Operand Primary() {
    const Token& token = Peek();
    if (token.kind == Kind::kNumber || token.kind == Kind::kLiteral) {
      ++at_;
      return Operand::kValue;
    }
    if (Take("(")) {
      const Operand inner = Or();
      Expect(")");
      return inner;
    }
    if (Is("/") || Is("//")) Refuse("a path over the whole document inside a predicate");
    if (Is("..") || Is(".")) Refuse("'" + token.text + "' inside a predicate");
    if (Is("$")) Refuse("variables");
    if (token.kind == Kind::kName && Is("(", 1) && !NodeType(token.text)) return Function();
    return NearPath();
  }

  // A function of the node's own neighbourhood.
  Operand Function() {
    const std::string name = t_[at_].text;
    at_ += 2;
    std::vector<Operand> args;
    if (!Is(")")) {
      args.push_back(Or());
      while (Take(",")) args.push_back(Or());
    }
    Expect(")");
    static constexpr std::array<std::string_view, 7> kNoArguments = {
        "position", "last", "name", "local-name", "namespace-uri", "true", "false"};
    // translate() is left out: libxml2 looks each character of its text up
    // one by one, seconds for a text of many megabytes.
    static constexpr std::array<std::string_view, 9> kOfValues = {
        "string-length", "contains", "starts-with", "normalize-space", "concat",
        "substring",     "number",   "string",      "substring-before"};
    if (std::find(kNoArguments.begin(), kNoArguments.end(), name) != kNoArguments.end()) {
      if (!args.empty()) Refuse("the function " + name + "() of another node than the context");
      return Operand::kValue;
    }
    if (name == "not" || name == "boolean" || name == "count") {
      if (args.size() != 1) Refuse("the function " + name + "() with other than one argument");
      return Operand::kValue;
    }
    if (std::find(kOfValues.begin(), kOfValues.end(), name) != kOfValues.end() ||
        name == "substring-after") {
      if (args.empty()) Refuse("the function " + name + "() of the context's whole text");
      for (Operand arg : args) ValueNeeded(arg, "passed to " + name + "()");
      return Operand::kValue;
    }
    Refuse("the function " + name + "()");
  }

  // Steps from the context node to its attributes, texts and children.
  Operand NearPath() {
    Operand kind = NearStep();
    while (Take("/")) {
      if (kind == Operand::kValue) Refuse("a step below an attribute or a text");
      kind = NearStep();
    }
    if (Is("//")) Refuse("'//' inside a predicate");
    return kind;
  }

  Operand NearStep() {
    if (Take("@")) {
      if (!Take("*")) {
        if (Peek().kind != Kind::kName) Refuse("an attribute name expected");
        ++at_;
      }
      Read();
      return Operand::kValue;
    }
    std::string axis = "child";
    if (Peek().kind == Kind::kName && Is("::", 1)) {
      axis = Peek().text;
      if (axis != "child" && axis != "attribute" && axis != "self") {
        Refuse("the axis " + axis + " inside a predicate");
      }
      at_ += 2;
    }
    const bool text = Peek().kind == Kind::kName && Peek().text == "text";
    NodeTest();
    while (Take("[")) Predicate();
    if (axis == "attribute" || text) {
      Read();
      return Operand::kValue;
    }
    return Operand::kElements;
  }

  // A value read in a predicate (an attribute's, a text's) is read for every
  // node the step tests, and one read of each can come to the document's size:
  // a few reads cost a few passes, more would cost as many passes as they are.
  void Read() {
    if (++reads_ > kMostReads) {
      Refuse("more than " + std::to_string(kMostReads) + " attribute or text values read");
    }
  }
  static constexpr int kMostReads = 4;

  std::vector<Token> t_;
  size_t at_ = 0;
  int reads_ = 0;
  int depth_ = 0;
};

}  // namespace

std::optional<std::string> RefusedSelectionPath(std::string_view path) {
  std::optional<std::vector<Token>> tokens = Tokens(path);
  if (!tokens) return "a character no path of steps holds";
  try {
    Reader(std::move(*tokens)).Expression();
  } catch (const Refusal& refusal) {
    return refusal.why;
  }
  return std::nullopt;
}

}  // namespace quillor
