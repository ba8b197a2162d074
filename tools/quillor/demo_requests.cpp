#include "tools/quillor/demo_requests.h"

namespace quillor {

const std::vector<DemoRequest>& DemoRequests() {
  static const std::vector<DemoRequest> requests{
      {"ADD: two lines accepted, one refused for its quantity of 0",
       R"(<zqinterface roottag="material" docid="mat001" proc="add">
  <material id="1"><departmentno>D01</departmentno><productno>P100</productno><inventoryno>M01</inventoryno><serial>B1</serial><price>2.5</price><quantity>4</quantity><period>3</period><totalmoney>10</totalmoney></material>
  <material id="2"><departmentno>D02</departmentno><productno>P100</productno><inventoryno>M02</inventoryno><price>1.2</price><quantity>10</quantity><period>3</period><totalmoney>12</totalmoney></material>
  <material id="3"><departmentno>D01</departmentno><inventoryno>M03</inventoryno><price>5</price><quantity>0</quantity><period>3</period><totalmoney>0</totalmoney></material>
</zqinterface>)"},
      {"An operation the component does not know",
       R"(<zqinterface roottag="material" docid="mat001" proc="DELETE"/>)"},
      {"QUERY: the lines of department D01",
       R"(<zqinterface roottag="material" docid="mat001" proc="query">
  <material><field name="cDeptID" operation="=" value="D01" logic="and"/></material>
</zqinterface>)"},
  };
  return requests;
}

}  // namespace quillor
