' A late-bound client of TARNEX.CTarnex: the script engine's own COM
' machinery creates the object by its ProgID and calls every operation
' through IDispatch. Arguments: the recording program, a scratch folder, the
' folder of TARNEX.dll; %TARNEX_RECORD_DIR% is an empty folder for the
' recordings. Wine's script host ends a script silently on a run-time error,
' so only a last line "PASS" means success. Prints one line per failed check and "PASS" or
' "FAIL n" last; the exit status is the number of failed checks.
Option Explicit

Dim recorder, scratch, dllFolder, failures
recorder = WScript.Arguments(0)
scratch = WScript.Arguments(1)
dllFolder = WScript.Arguments(2)
failures = 0

Sub Check(name, actual, expected)
  If VarType(actual) <> VarType(expected) Or actual <> expected Then
    WScript.Echo "failed: " & name & ": got [" & actual & "] (type " & VarType(actual) & _
                 "), expected [" & expected & "] (type " & VarType(expected) & ")"
    failures = failures + 1
  End If
End Sub

Dim fso, shell, env, t
Set fso = CreateObject("Scripting.FileSystemObject")
Set shell = CreateObject("WScript.Shell")
Set env = shell.Environment("Process")
Set t = CreateObject("TARNEX.CTarnex")

' --- Path strings --------------------------------------------------------
Check "JoinPathFile2", t.JoinPathFile2("  C:\out\  ", "a.htm"), "C:\out\a.htm"
Check "RipPath", t.RipPath("C:\web\index.htm"), "C:\web\"
Check "RipFile", t.RipFile("C:\web\index.htm"), "index.htm"
Check "RipExt", t.RipExt("C:\my.site\index"), ".site\index"
Check "SwitchExt", t.SwitchExt(" page.HTM ", " .htm", ".bak "), "page.bak"
' Arguments are coerced to the declared types, as the type library says.
Check "RipFile of a number", t.RipFile(12.5), CStr(12.5)

' --- Folders -------------------------------------------------------------
t.MakeDir2 scratch & "\made\a\\b\ \c"
Check "MakeDir2 made every level", fso.FolderExists(scratch & "\made\a\b\c"), True
fso.CreateTextFile(scratch & "\plain.txt").Close
' A level that is a file stops it; the box cannot show here, nothing is raised.
t.MakeDir2 scratch & "\plain.txt\sub"
Check "MakeDir2 stops at a file", fso.FolderExists(scratch & "\plain.txt\sub"), False
' No desktop to show the chooser on: the empty string.
Check "GetDir without a desktop", t.GetDir(0), ""
t.SetTopWnd 0, True

' --- Profiles ------------------------------------------------------------
Dim ini
ini = scratch & "\p.ini"
Check "SaveValue", t.SaveValue("Options", "Width", "  640 ", ini) <> 0, True
Check "LoadValue", t.LoadValue("Options", "Width", "0", ini), "640"
Check "LoadValue of a missing key", t.LoadValue("Options", "Height", "  x  ", ini), "x"
Check "SaveValue of blanks deletes", t.SaveValue("Options", "Width", "   ", ini) <> 0, True
Check "deleted key gives the default", t.LoadValue("Options", "Width", "0", ini), "0"
Check "SaveValue into a missing folder", t.SaveValue("S", "K", "V", scratch & "\none\p.ini"), CLng(0)
' strFile left out: the default profile beside the library.
Check "SaveValue without strFile", t.SaveValue("Late", "Key", "v1") <> 0, True
Check "LoadValue without strFile", t.LoadValue("Late", "Key", ""), "v1"
Check "default profile beside the library", fso.FileExists(dllFolder & "\TARNEX.ini"), True
Check "blank strFile is the default", t.LoadValue("Late", "Key", "", "   "), "v1"
Check "empty key deletes the section", t.SaveValue("Late", "", "ignored") <> 0, True
Check "section gone", t.LoadValue("Late", "Key", "none"), "none"

' --- Launchers, against the recording program ------------------------------
' The recorder writes record.txt into the folder %TARNEX_RECORD_DIR% names.
' Waits for the file of one launch, returns its text and removes it.
Dim record
record = env("TARNEX_RECORD_DIR") & "\record.txt"
Function Recorded()
  Dim deadline, text, problem
  ' The file may be caught while its writer still holds it: try again.
  On Error Resume Next
  problem = ""
  ' Wine's script host has no WScript.Sleep: poll until 20 s have passed.
  deadline = Timer + 20
  Do
    If fso.FileExists(record) Then
      Err.Clear
      text = fso.OpenTextFile(record).ReadAll()
      If Err.Number = 0 Then fso.DeleteFile record
      If Err.Number = 0 Then
        Recorded = text
        Exit Function
      End If
      problem = ": " & Err.Description
    End If
  Loop While Timer < deadline
  Recorded = "(nothing recorded" & problem & ")"
End Function

' A document type and an address scheme whose program is the recorder, in
' this test prefix only.
Dim command
command = """" & recorder & """ ""%1"""
shell.RegWrite "HKCR\.tnxrec\", "tnxrecfile"
shell.RegWrite "HKCR\tnxrecfile\shell\open\command\", command
shell.RegWrite "HKCR\tnxrec\", "URL:tnxrec"
shell.RegWrite "HKCR\tnxrec\URL Protocol", ""
shell.RegWrite "HKCR\tnxrec\shell\open\command\", command

Dim doc
doc = scratch & "\help.tnxrec"
fso.CreateTextFile(doc).Close
t.OpenHelp doc
Check "OpenHelp opens the document with its program", Recorded(), doc & vbLf
t.OpenWeb "tnxrec:page"
Check "OpenWeb opens the address with its program", Recorded(), "tnxrec:page" & vbLf
' The shell finds the platform's own browser program for the bare name (its
' search ends in the system folder, before any place a test could use), so
' the check is that an IExplore.exe runs; stopping it ends the test's one.
Function BrowserStopped()
  Dim deadline
  BrowserStopped = False
  deadline = Timer + 20
  Do
    If shell.Run("taskkill /f /im iexplore.exe", 0, True) = 0 Then
      BrowserStopped = True
      Exit Function
    End If
  Loop While Timer < deadline
End Function
t.OpenWebNew "http://example.invalid/page"
Check "OpenWebNew starts IExplore.exe", BrowserStopped(), True
Check "ShellExe starts a program", t.ShellExe(0, "open", recorder, "one ""two three""", scratch, 1) > 32, True
Check "ShellExe passes the parameters", Recorded(), "one" & vbLf & "two three" & vbLf
Check "ShellExe of a missing file", t.ShellExe(0, "open", scratch & "\missing.exe", "", "", 1) <= 32, True

' Wine's script host cannot delete keys: its reg.exe can.
shell.Run "reg delete HKCR\tnxrec /f", 0, True
shell.Run "reg delete HKCR\tnxrecfile /f", 0, True
shell.Run "reg delete HKCR\.tnxrec /f", 0, True

' --- The platform's errors for calls that do not fit -------------------------
On Error Resume Next
Dim r
Err.Clear
r = t.RipFile("a", "b")
Check "too many arguments: error 450", Err.Number, CLng(450)
Err.Clear
r = t.JoinPathFile2("a")
Check "a required argument left out: error 450", Err.Number, CLng(450)
Err.Clear
t.SetTopWnd "not a number", True
Check "an argument of the wrong type: error 13", Err.Number, CLng(13)
Err.Clear
r = t.NoSuchOperation()
Check "an unknown name: error 438", Err.Number, CLng(438)
On Error GoTo 0

If failures = 0 Then
  WScript.Echo "PASS"
Else
  WScript.Echo "FAIL " & failures
End If
WScript.Quit failures
