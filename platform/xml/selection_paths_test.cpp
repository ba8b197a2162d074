// Which paths a selection takes: those callers write (names, steps, predicates
// on a node's own neighbourhood) run; those that can cost a pass over the whole
// document per node are refused, saying what in them is refused.
#include "platform/xml/selection_paths.h"

#include <gtest/gtest.h>

namespace quillor {
namespace {

TEST(SelectionPathsTest, PathsCallersWriteAreTaken) {
  for (const char* path : {"material/field",
                           "/field",
                           "/",
                           "//material",
                           "material|*",
                           "../material",
                           "material/self::*[1]/field",
                           "*[string-length(name())=8]",
                           "material[field/@value]",
                           "..",
                           "material[1]/field",
                           "material[last()-1]",
                           "material[@id='7' and not(@skip)]",
                           "p:material/field",
                           "material[count(field) > 2]",
                           "node()[self::text() or self::comment()]",
                           "material[text()='x']",
                           "descendant::material/child::field",
                           "material[contains(@id, \"a\")]",
                           "*/*[position() < 3]",
                           "material[field[@name='cDeptID']]",
                           "a-b.c/field",
                           "preceding-sibling::*/field",
                           "../../ancestor::*/field",
                           "//material/field[@name='a' and @operation='=' and @value='1']",
                           "material[concat(@a, text()) = 'x']"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(RefusedSelectionPath(path), std::nullopt);
  }
}

TEST(SelectionPathsTest, PathsThatReachOverTheWholeDocumentAreRefused) {
  struct Case {
    const char* path;
    const char* why;
  };
  const Case cases[] = {
      {"//*[count(//*[string-length(string(/))>0])>0]/field", "whole document"},
      {"//*[contains(string(/),'zz')]/field", "whole document"},
      {"*[count(//*[count(//*)])]", "whole document"},
      {"//*[string-length(string(.))]", "'.' inside a predicate"},
      {"//*[.='x']", "'.' inside a predicate"},
      {"//*[*='x']", "compared by their text"},
      {"//*[contains(*, 'x')]", "passed to contains()"},
      {"//*[string()]", "whole text"},
      {"//*[../*]", "'..' inside a predicate"},
      {"//*[a//b]", "'//' inside a predicate"},
      {"//*[ancestor::*]", "axis ancestor"},
      {"//*[following-sibling::*]", "axis following-sibling inside"},
      {"//*[id('x')]", "function id()"},
      {"count(/)", "function count() as a step"},
      {"@*", "attributes"},
      {"$x", "step expected"},
      {"(//a)[1]", "step expected"},
      {"*[1*2]", "']' expected"},
      // From many nodes a step that is not a child step merges overlapping sets:
      // minutes on a document of a few hundred thousand elements.
      {"//*/..", "'..' after a step that selects many"},
      {"material[last()]/..", "'..' after a step that selects many"},
      {"//*//*", "'//' after a step that selects many"},
      {"material//field", "'//' after a step that selects many"},
      {"//*/descendant::*", "axis descendant after a step"},
      {"//*/ancestor::*", "axis ancestor after a step"},
      {"ancestor::*//*", "'//' after a step"},
      {"//*/preceding-sibling::*", "axis preceding-sibling after"},
      {"*/parent::*", "axis parent after"},
      {"//*[@a or @b or @c or text() or @d]", "more than 4 attribute or text values"},
      {"//*[concat(text(),text(),text(),text(),text())]", "more than 4"},
      {"//*[translate(text(),'x','y')='a']", "function translate()"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::optional<std::string> why = RefusedSelectionPath(c.path);
    ASSERT_TRUE(why.has_value());
    EXPECT_NE(why->find(c.why), std::string::npos) << *why;
  }
}

}  // namespace
}  // namespace quillor
