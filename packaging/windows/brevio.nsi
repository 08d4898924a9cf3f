; The Brevio installer. Built by the `installer` target of a Windows build
; folder (cmake/BrevioPackagingWindows.cmake), which stages the installed
; tree and runs:
;   makensis -DVERSION=1.20 -DARCH=win64|win32 -DSTAGE=<staged tree>
;            -DOUTFILE=<setup.exe> brevio.nsi
; Installs into Program Files\Brevio, registers TARNEX.dll with the system's
; regsvr32, adds the Start-menu entries and the Add/Remove Programs entry.
; Setup and uninstaller take /S (silent); setup takes /D=<folder> too.
; Exit codes: 0 done; 3 TARNEX.dll could not be registered (nothing left
; installed); 4 Brevio is running (nothing changed); 5 not an administrator;
; 6 the earlier installation in another folder could not be removed.

!ifndef VERSION | ARCH | STAGE | OUTFILE
  !error "define VERSION, ARCH (win64 or win32), STAGE and OUTFILE"
!endif

Unicode true
!if "${ARCH}" == "win64"
  ; A 64-bit setup: it runs where 32-bit programs do not, reaches the 64-bit
  ; Program Files, registry view and System32 (with its 64-bit regsvr32).
  Target amd64-unicode
  !define PROGRAM_FILES "$PROGRAMFILES64"
!else if "${ARCH}" == "win32"
  ; On 64-bit Windows the system redirects this one to Program Files (x86),
  ; the 32-bit registry view and SysWOW64's regsvr32, as a 32-bit DLL needs.
  Target x86-unicode
  !define PROGRAM_FILES "$PROGRAMFILES"
!else
  !error "ARCH must be win64 or win32, not ${ARCH}"
!endif

!define PRODUCT "Brevio"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brevio"
!define UNINSTALLER "uninstall.exe"
; Brevio.exe holds this mutex while it runs (brevio/win32/main.cpp).
!define RUNNING_MUTEX "Global\BrevioRunning"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAM_FILES}\${PRODUCT}"
; A new version goes where the last one is (unless /D says otherwise).
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestDPIAware true
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show
; A file that cannot be replaced stops the setup: never a new program
; beside an old one.
AllowSkipFiles off

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Brevio Maintainers"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Brevio.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Brevio"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Registration writes to HKEY_CLASSES_ROOT of the whole machine.
!macro REQUIRE_ADMIN
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_ICONSTOP|MB_OK "Brevio must be installed and removed by an administrator." /SD IDOK
    SetErrorLevel 5
    Quit
  ${EndIf}
!macroend

; Brevio.exe cannot be replaced or removed while it runs, in this session or
; another: until every copy is closed the user is asked to close it, and
; Cancel (the answer of a silent run) ends with exit code 4 before anything
; has changed. A mutex that another user's copy holds cannot be opened, but
; that it is there says enough.
!macro WAIT_FOR_BREVIO action
  ${Do}
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MUTEX}") p.r0 ?e'
    Pop $1
    ${If} $0 P<> 0
      System::Call 'kernel32::CloseHandle(p r0)'
    ${ElseIf} $1 <> 5 ; ERROR_ACCESS_DENIED
      ${Break}
    ${EndIf}
    MessageBox MB_ICONEXCLAMATION|MB_RETRYCANCEL "Brevio is running. Close every Brevio window, then press Retry to ${action} it; Cancel leaves Brevio as it is." /SD IDCANCEL IDRETRY brevio_closed
    SetErrorLevel 4
    Quit
    brevio_closed:
  ${Loop}
!macroend

Function .onInit
  !insertmacro REQUIRE_ADMIN
  !insertmacro WAIT_FOR_BREVIO "install"
  !if "${ARCH}" == "win64"
    SetRegView 64
  !endif
  SetShellVarContext all
FunctionEnd

Function un.onInit
  !insertmacro REQUIRE_ADMIN
  !insertmacro WAIT_FOR_BREVIO "remove"
  !if "${ARCH}" == "win64"
    SetRegView 64
  !endif
  SetShellVarContext all
FunctionEnd

; An installation in another folder (the entry's InstallLocation, when a /D=
; or the directory page chose a new one) is removed by its own uninstaller
; first, which takes its files, registration, shortcuts and entry, so none of
; them is left behind or pointing at the old folder. One in the same folder
; is upgraded in place. A folder without its uninstaller is left alone: the
; new registration and entry replace what pointed there.
Function RemoveEarlierElsewhere
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == ""
  ${OrIf} $0 == $INSTDIR
  ${OrIfNot} ${FileExists} "$0\${UNINSTALLER}"
    Return
  ${EndIf}
  DetailPrint "Removing the earlier installation in $0"
  ClearErrors
  ; _?= runs the uninstaller in its folder and waits for it.
  ExecWait '"$0\${UNINSTALLER}" /S _?=$0' $1
  ${If} ${Errors}
  ${OrIf} $1 != 0
    MessageBox MB_ICONSTOP|MB_OK "The earlier installation in $0 could not be removed (its uninstaller ended with $1). Brevio was not installed." /SD IDOK
    DetailPrint "The earlier installation in $0 could not be removed ($1)"
    SetErrorLevel 6
    Abort "Brevio was not installed."
  ${EndIf}
  ; Run in place, the uninstaller cannot delete itself.
  Delete "$0\${UNINSTALLER}"
  RMDir "$0"
FunctionEnd

; The files, one list for installing and removing; the folder part is empty
; or ends with a backslash.
!macro BREVIO_FILES action
  !insertmacro ${action} "" "Brevio.exe"
  !insertmacro ${action} "" "brevio-trim.exe"
  !insertmacro ${action} "" "TARNEX.dll"
  !insertmacro ${action} "" "README-Windows.txt"
  !insertmacro ${action} "" "copyright"
  !insertmacro ${action} "tools\" "brevio_help.htm"
!macroend
!macro INSTALL_FILE folder name
  SetOutPath "$INSTDIR\${folder}"
  File "${STAGE}\${folder}${name}"
!macroend
!macro REMOVE_FILE folder name
  Delete "$INSTDIR\${folder}${name}"
!macroend
!macro REMOVE_FILES
  !insertmacro BREVIO_FILES REMOVE_FILE
  RMDir "$INSTDIR\tools"
!macroend

Section "Brevio" SecBrevio
  SectionIn RO
  Call RemoveEarlierElsewhere
  !insertmacro BREVIO_FILES INSTALL_FILE
  SetOutPath "$INSTDIR"

  ; The system's own regsvr32: the one of this setup's bitness (System32 of
  ; a 64-bit process, SysWOW64 behind System32 for a 32-bit one).
  DetailPrint "Registering TARNEX.dll"
  ClearErrors
  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\TARNEX.dll"' $0
  ${If} ${Errors}
  ${OrIf} $0 != 0
    ; Nothing half installed stays behind: the programs need the class. The
    ; folder cannot go while it is this process's working folder.
    SetOutPath "$TEMP"
    !insertmacro REMOVE_FILES
    RMDir "$INSTDIR"
    MessageBox MB_ICONSTOP|MB_OK "TARNEX.dll could not be registered (regsvr32 ended with $0). Brevio was not installed." /SD IDOK
    DetailPrint "TARNEX.dll could not be registered (regsvr32 ended with $0)"
    SetErrorLevel 3
    Abort "Brevio was not installed."
  ${EndIf}

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Brevio.lnk" "$INSTDIR\Brevio.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Brevio Help.lnk" "$INSTDIR\tools\brevio_help.htm"

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Brevio.exe,0"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  ; Unregistered while the DLL is still there to say what it registered.
  DetailPrint "Unregistering TARNEX.dll"
  ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\TARNEX.dll"' $0
  ${If} $0 != 0
    DetailPrint "TARNEX.dll could not be unregistered (regsvr32 ended with $0)"
  ${EndIf}

  Delete "$SMPROGRAMS\${PRODUCT}\Brevio.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Brevio Help.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"

  !insertmacro REMOVE_FILES
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: files the user put there stay.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
