' Quillor.IMaterial from VBScript: an ADD, a paged QUERY with a caller object
' that receives the pages, DropObjectReference, and every reply written to a
' UTF-8 file (through ADO's stream).
'
'   cscript //nologo quillor-sample.vbs "CONNECTION TEXT" [OUTPUT_FOLDER]
'
' Writes add-reply.xml, query-reply.xml and query-page-N.xml into OUTPUT_FOLDER
' (default: the current folder). Use the cscript of the DLL's bitness: on 64-bit
' Windows, C:\Windows\System32\cscript.exe for the 64-bit DLL and
' C:\Windows\SysWOW64\cscript.exe for the 32-bit one.
Option Explicit

Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
If WScript.Arguments.Count < 1 Then
  WScript.Echo "usage: cscript //nologo quillor-sample.vbs ""CONNECTION TEXT"" [OUTPUT_FOLDER]"
  WScript.Quit 2
End If
Dim folder : folder = "."
If WScript.Arguments.Count > 1 Then folder = WScript.Arguments(1)
folder = fso.GetAbsolutePathName(folder)

' Writes a reply to a UTF-8 file, without a byte order mark: the replies declare
' encoding="UTF-8", and the file then holds exactly the reply's bytes. Through
' ADO's stream, which every Windows has. Where there is no ADO (Wine registers
' none), the file is written as UTF-16 instead, and the script says so.
Dim warned : warned = False
Sub WriteUtf8(name, text)
  Dim path : path = fso.BuildPath(folder, name)
  Dim textStream, bytes
  On Error Resume Next
  Set textStream = CreateObject("ADODB.Stream")
  textStream.Type = 2   ' text
  textStream.Charset = "utf-8"
  textStream.Open
  If Err.Number = 0 Then
    On Error GoTo 0
    textStream.WriteText text
    textStream.Position = 3   ' past the byte order mark the stream writes first
    Set bytes = CreateObject("ADODB.Stream")
    bytes.Type = 1   ' binary
    bytes.Open
    textStream.CopyTo bytes
    bytes.SaveToFile path, 2   ' overwrite
    bytes.Close
    textStream.Close
    Exit Sub
  End If
  On Error GoTo 0
  If Not warned Then WScript.Echo "no ADODB.Stream here: the replies are written as UTF-16"
  warned = True
  Dim file : Set file = fso.CreateTextFile(path, True, True)
  file.Write text
  file.Close
End Sub

' The login object: anything with a ConnectionString property.
Class Login
  Public ConnectionString
End Class

' The caller that receives the pages of a paged QUERY (8.71).
Class PageReceiver
  Public Pages
  Public Function ProcessExport(pageXml, pageNumber, pageCount)
    WriteUtf8 "query-page-" & pageNumber & ".xml", pageXml
    Pages = Pages + 1
    ProcessExport = True
  End Function
End Class

Dim theLogin : Set theLogin = New Login
theLogin.ConnectionString = WScript.Arguments(0)
Dim material : Set material = CreateObject("Quillor.IMaterial")
Dim reply

' 1. ADD two lines of the voucher MAT-0001.
reply = material.Transact( _
  "<ufinterface roottag=""material"" docid=""MAT-0001"" proc=""ADD"">" & _
  "<material id=""1""><departmentno>D01</departmentno><productno>P100</productno>" & _
  "<inventoryno>M01</inventoryno><serial>B1</serial><price>2</price><quantity>3</quantity>" & _
  "<period>5</period><totalmoney>6</totalmoney><irdcode>0</irdcode></material>" & _
  "<material id=""2""><departmentno>D09</departmentno><inventoryno>M02</inventoryno>" & _
  "<price>1</price><quantity>1</quantity><period>5</period><totalmoney>1</totalmoney></material>" & _
  "</ufinterface>", theLogin)
WriteUtf8 "add-reply.xml", reply
WScript.Echo "ADD: " & Left(reply, InStr(reply & ">", ">"))

' 2. A QUERY in pages of one row, handed to the caller as each page is full.
Dim receiver : Set receiver = New PageReceiver
receiver.Pages = 0
Dim paged : paged = False
On Error Resume Next
paged = material.AddObjectReference(receiver)   ' 8.61 and 8.50 have no pages
On Error GoTo 0
reply = material.Transact( _
  "<ufinterface roottag=""material"" docid=""MAT-0001"" proc=""QUERY"" paginate=""1"">" & _
  "<material><field name=""iPeriod"" operation="">="" value=""3""/></material>" & _
  "</ufinterface>", theLogin)
WriteUtf8 "query-reply.xml", reply

' 3. The caller is the registered one: DropObjectReference answers True.
If paged Then
  If Not material.DropObjectReference(receiver) Then WScript.Echo "the caller was not the registered one"
End If
WScript.Echo "QUERY: " & receiver.Pages & " pages to the caller, the last in query-reply.xml"
WScript.Echo "replies written to " & folder
