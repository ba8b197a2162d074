// Late-bound calls from JScript, as a script host makes them: CreateObject by
// programmatic name, a script object as the login, a script object registered
// as the caller receiving ProcessExport. For each request named in list.txt
// (one "NAME [paged]" a line), Transact's reply goes to NAME.reply and the pages
// to NAME.page-N.xml, all as UTF-16 files; NAME.calls lists the ProcessExport
// calls as "page N of M".
//
//   cscript //nologo suite.js DIR CONNECTION_TEXT [PROGID]
var args = WScript.Arguments;
var dir = args(0);
var connection = args(1);
var progid = args.length > 2 ? args(2) : "Quillor.IMaterial";
var fso = new ActiveXObject("Scripting.FileSystemObject");

function readUnicode(name) {
  var s = fso.OpenTextFile(dir + "\\" + name, 1, false, -1);
  var text = s.AtEndOfStream ? "" : s.ReadAll();
  s.Close();
  return text;
}
function save(name, text) {
  var f = fso.CreateTextFile(dir + "\\" + name, true, true);
  f.Write(text);
  f.Close();
}

var login = { ConnectionString: connection };
var current = "";
var calls = "";
var caller = {
  ProcessExport: function (xml, page, count) {
    save(current + ".page-" + page + ".xml", xml);
    calls += "page " + page + " of " + count + "\n";
  }
};

var material = new ActiveXObject(progid);
var list = readUnicode("list.txt").split("\n");
for (var i = 0; i < list.length; ++i) {
  var line = list[i].replace(/\r$/, "");
  if (line === "") continue;
  var words = line.split(" ");
  current = words[0];
  calls = "";
  var paged = words.length > 1 && words[1] === "paged";
  if (paged && !material.AddObjectReference(caller)) throw new Error("AddObjectReference refused");
  save(current + ".reply", material.Transact(readUnicode(current + ".xml"), login));
  if (paged) {
    save(current + ".calls", calls);
    if (!material.DropObjectReference(caller)) throw new Error("DropObjectReference: another caller");
  }
}
WScript.Echo("jscript: " + list.length + " lines done");
