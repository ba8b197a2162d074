' One Transact with a login whose connection text is given, its reply written to
' a file in UTF-16: for the SQL Server connection texts under Wine.
'
'   cscript //nologo sqlserver_texts.vbs CONNECTION_TEXT REPLY_FILE
Option Explicit
Class ScriptLogin
  Public ConnectionString
End Class
Dim login, material
Set login = New ScriptLogin
login.ConnectionString = WScript.Arguments(0)
Set material = CreateObject("Quillor.IMaterial")
Dim reply, f
reply = material.Transact("<ufinterface roottag=""material"" docid=""d"" proc=""QUERY""/>", login)
Set f = CreateObject("Scripting.FileSystemObject").CreateTextFile(WScript.Arguments(1), True, True)
f.Write reply
f.Close
