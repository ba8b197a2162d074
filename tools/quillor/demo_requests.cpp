#include "tools/quillor/demo_requests.h"

namespace quillor {

const std::vector<DemoRequest>& DemoRequests() {
  static const std::vector<DemoRequest> requests{
      {"ADD: lines accepted, and lines refused for several reasons",
       R"(<zqinterface roottag="material" docid="mat001" proc="add">
  <material id="1"><departmentno>D01</departmentno><productno>P100</productno><inventoryno>M01</inventoryno><serial>B1</serial><price>2.5</price><quantity>4</quantity><period>3</period><totalmoney>10</totalmoney><irdcode>0</irdcode></material>
  <material id="2"><departmentno>D02</departmentno><productno>P100</productno><inventoryno>M02</inventoryno><price>1.2</price><quantity>10</quantity><period>3</period><totalmoney>12</totalmoney></material>
  <material id="3"><departmentno>D01</departmentno><inventoryno>M03</inventoryno><price>5</price><quantity>2</quantity><period>4</period><totalmoney>10</totalmoney></material>
  <material id="4"><departmentno>D01</departmentno><inventoryno>M03</inventoryno><price>5</price><quantity>0</quantity><period>3</period><totalmoney>0</totalmoney></material>
  <material id="5"><inventoryno>M01</inventoryno><price>1</price><quantity>1</quantity><period>3</period><totalmoney>1</totalmoney></material>
  <material id="6"><departmentno>D09</departmentno><inventoryno>M01</inventoryno><price>1</price><quantity>1</quantity><period>3</period><totalmoney>1</totalmoney></material>
  <material id="7"><departmentno>D01</departmentno><inventoryno>M99</inventoryno><price>1</price><quantity>1</quantity><period>3</period><totalmoney>1</totalmoney></material>
  <material id="8"><departmentno>D01</departmentno><inventoryno>M01</inventoryno><serial>B7</serial><price>1</price><quantity>1</quantity><period>3</period><totalmoney>1</totalmoney></material>
  <material id="9"><departmentno>D01</departmentno><inventoryno>M01</inventoryno><price>1</price><quantity>1</quantity><period>13</period><totalmoney>1</totalmoney></material>
  <material id="10"><departmentno>D01</departmentno><inventoryno>M01</inventoryno><price>2</price><quantity>3</quantity><period>3</period><totalmoney>6.02</totalmoney></material>
  <material id="11"><departmentno>D02</departmentno><productno>P200</productno><free1>BLUE</free1><inventoryno>M01</inventoryno><price>1</price><quantity>1</quantity><period>3</period><totalmoney>1</totalmoney></material>
</zqinterface>)"},
      {"ADD: line 1 sent again with a new quantity replaces the row written for it",
       R"(<zqinterface roottag="material" docid="mat002" proc="ADD">
  <material id="1"><departmentno>D01</departmentno><productno>P100</productno><inventoryno>M01</inventoryno><serial>B1</serial><price>2.5</price><quantity>6</quantity><period>3</period><totalmoney>15</totalmoney><irdcode>0</irdcode></material>
</zqinterface>)"},
      {"An operation the component does not know",
       R"(<zqinterface roottag="material" docid="mat001" proc="DELETE"/>)"},
      {"QUERY: the lines of department D01 in period 3 or later",
       R"(<zqinterface roottag="material" docid="mat001" proc="query" paginate="0">
  <material><field name="cDeptID" operation="=" value="D01" logic="and"/><field name="iPeriod" operation="&gt;=" value="3"/></material>
</zqinterface>)"},
      {"QUERY: every line, in pages of 2 handed to the registered caller (files in DIR/pages)",
       R"(<zqinterface roottag="material" docid="mat001" proc="QUERY" paginate="2"/>)", true},
  };
  return requests;
}

}  // namespace quillor
