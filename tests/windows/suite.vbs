' Late-bound calls from VBScript, as a script host makes them: the same requests
' and files as suite.js, with VBScript class instances as the login and the
' registered caller (objects that name their members only through IDispatchEx).
'
'   cscript //nologo suite.vbs DIR CONNECTION_TEXT [PROGID]
Option Explicit
Dim fso, dir, progid
Set fso = CreateObject("Scripting.FileSystemObject")
dir = WScript.Arguments(0)
progid = "Quillor.IMaterial"
If WScript.Arguments.Count > 2 Then progid = WScript.Arguments(2)

Function ReadUnicode(name)
  Dim s : Set s = fso.OpenTextFile(dir & "\" & name, 1, False, -1)
  If s.AtEndOfStream Then ReadUnicode = "" Else ReadUnicode = s.ReadAll
  s.Close
End Function

Sub Save(name, text)
  Dim f : Set f = fso.CreateTextFile(dir & "\" & name, True, True)
  f.Write text
  f.Close
End Sub

Class ScriptLogin
  Public ConnectionString
End Class

Dim current, calls
Class PageReceiver
  Public Function ProcessExport(xml, page, count)
    Save current & ".page-" & page & ".xml", xml
    calls = calls & "page " & page & " of " & count & vbLf
  End Function
End Class

Dim login : Set login = New ScriptLogin
login.ConnectionString = WScript.Arguments(1)
Dim caller : Set caller = New PageReceiver
Dim material : Set material = CreateObject(progid)

Dim lines, i, line, words, paged, n
lines = Split(ReadUnicode("list.txt"), vbLf)
n = 0
For i = 0 To UBound(lines)
  line = Replace(lines(i), vbCr, "")
  If line <> "" Then
    words = Split(line, " ")
    current = words(0)
    calls = ""
    paged = UBound(words) >= 1
    If paged Then paged = (words(1) = "paged")
    If paged Then
      If Not material.AddObjectReference(caller) Then Err.Raise 5
    End If
    Save current & ".reply", material.Transact(ReadUnicode(current & ".xml"), login)
    If paged Then
      Save current & ".calls", calls
      If Not material.DropObjectReference(caller) Then Err.Raise 5
    End If
    n = n + 1
  End If
Next
WScript.Echo "vbscript: " & n & " requests done"
