; The Windows installer: one setup file that installs the program, its resource library and
; its help file for every user of the PC, starts the program at each logon, and registers an
; uninstaller. Built by the windows preset (target qa_installer), which passes:
;   VERSION   the project's version, major.minor.patch
;   OUTFILE   the setup file to write
;   BUILD_DIR the folder holding QuorvaneAuravo.exe, KTRResource.dll and "Quorvane Auravo.chm"
;   ICON      the program's icon
;   TARGET    (windows64 build only) amd64-unicode, for the Wine tiers of a machine that runs
;             no 32-bit program
; and, for the installer tests' build only, TEST_NOT_ADMIN: the setup runs as if its user had
; no administrator rights.
; A 32-bit installer: $PROGRAMFILES and the registry are the 32-bit ones, as for the program.

!ifdef TARGET
Target ${TARGET}
!else
Unicode true
!endif
ManifestDPIAware true
ManifestSupportedOS all
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include WinVer.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

!define PRODUCT "Quorvane Auravo"
!define MAKER "Quorvane"
!define PROGRAM "QuorvaneAuravo.exe"
!define RESOURCES "KTRResource.dll"
!define HELPFILE "Quorvane Auravo.chm"
!define UNINSTALLER "Uninstall.exe"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "${PRODUCT}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; The title of the program's hidden controller window: WM_CLOSE to it ends the program.
!define CONTROLLER_TITLE "QuorvaneAuravoSystemTrayApplication"
; How long a running copy may take to end once asked.
!define CLOSE_WAIT_MS 15000
!define SYNCHRONIZE 0x00100000
; The exit code of a setup run without administrator rights.
!define ERROR_ELEVATION_REQUIRED 740
; WTSQuerySessionInformationW's records and GetUserNameExW's form "DOMAIN\user".
!define WTS_CURRENT_SESSION -1
!define WTSUserName 5
!define WTSDomainName 7
!define NameSamCompatible 2

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${MAKER}\${PRODUCT}"
; An upgrade goes where the installed copy is, wherever the user put it.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${MAKER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) ${MAKER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var closedRunningCopy
Var runsAsDesktopUser

; HKLM, Program Files and the all-users Start menu need an administrator. Run without the rights
; (UAC turned off, or a standard account that was not elevated) every write would fail on its
; own and a silent run would still end with success: refuse before anything is done, with a
; message, and with ERROR_ELEVATION_REQUIRED as exit code when silent.
!macro REFUSE_WITHOUT_ADMIN_RIGHTS
!ifdef TEST_NOT_ADMIN
  StrCpy $0 "User"
!else
  ; "Admin" only while the token carries the Administrators group for use, i.e. elevated.
  UserInfo::GetAccountType
  Pop $0
!endif
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "Installing or removing ${PRODUCT} needs administrator rights.$\n$\nStart the setup again and allow it to make changes to the PC, or ask an administrator." /SD IDOK
    SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
    Quit
  ${EndIf}
!macroend

; Asks a running copy of the program to end (WM_CLOSE to its controller, as its Exit does) and
; waits a bounded time for its process to end, so that none of its files stays in use. Sets
; $closedRunningCopy to 1 when there was one.
!macro DEFINE_CLOSE_RUNNING_COPY prefix
Function ${prefix}CloseRunningCopy
  Push $0
  Push $1
  Push $2
  StrCpy $closedRunningCopy 0
  System::Call 'user32::FindWindowW(p 0, w "${CONTROLLER_TITLE}") p .r0'
  ${If} $0 P<> 0
    DetailPrint "Closing the running ${PRODUCT}..."
    StrCpy $closedRunningCopy 1
    StrCpy $1 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    ; Opened before the request, so the handle still names that process when it ends.
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
    System::Call 'user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0) i'
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${CLOSE_WAIT_MS}) i'
      System::Call 'kernel32::CloseHandle(p r2) i'
    ${Else}
      ; Without a handle, the controller window going away is the sign.
      StrCpy $1 0
      ${DoWhile} $1 < ${CLOSE_WAIT_MS}
        System::Call 'user32::IsWindow(p r0) i .r2'
        ${IfThen} $2 = 0 ${|} ${Break} ${|}
        Sleep 100
        IntOp $1 $1 + 100
      ${Loop}
    ${EndIf}
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Waits until the installed program file can be written (no copy of it runs any more, also
; none in another user's session that the close request could not reach). Interactively the
; user may close it and retry; otherwise the run is aborted and nothing is left half-done.
Function ${prefix}EnsureProgramNotInUse
  ${DoWhile} ${FileExists} "$INSTDIR\${PROGRAM}"
    ClearErrors
    FileOpen $0 "$INSTDIR\${PROGRAM}" a
    ${IfNot} ${Errors}
      FileClose $0
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${PRODUCT} is still running and cannot be replaced.$\n$\nEnd it (Exit on its tray menu, in every user's session) and press Retry." \
      /SD IDCANCEL IDRETRY +2
    Abort "${PRODUCT} is still running."
  ${Loop}
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_RUNNING_COPY ""
!insertmacro DEFINE_CLOSE_RUNNING_COPY "un."

; Whether this setup runs as the user whose desktop it is shown on. On a standard user's PC the
; UAC prompt asks for an administrator's name and password: the setup then runs as that other
; account, and a program it started would run as the administrator, with the administrator's
; preferences, not as the user at the PC. The session's user (as Windows logged it on) is
; compared with this process's, both as "DOMAIN\user"; when either cannot be read, they count
; as different.
Function CheckDesktopUser
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $runsAsDesktopUser 0
  System::Call 'wtsapi32::WTSQuerySessionInformationW(p 0, i ${WTS_CURRENT_SESSION}, i ${WTSDomainName}, *p .r0, *i .r1) i .r2'
  ${If} $2 <> 0
    System::Call 'kernel32::lstrcpynW(w .r3, p r0, i ${NSIS_MAX_STRLEN}) p'
    System::Call 'wtsapi32::WTSFreeMemory(p r0)'
    System::Call 'wtsapi32::WTSQuerySessionInformationW(p 0, i ${WTS_CURRENT_SESSION}, i ${WTSUserName}, *p .r0, *i .r1) i .r2'
    ${If} $2 <> 0
      System::Call 'kernel32::lstrcpynW(w .r1, p r0, i ${NSIS_MAX_STRLEN}) p'
      System::Call 'wtsapi32::WTSFreeMemory(p r0)'
      StrCpy $3 "$3\$1"
      System::Call 'secur32::GetUserNameExW(i ${NameSamCompatible}, w .r0, *i ${NSIS_MAX_STRLEN}) i .r2'
      ; StrCmp ignores letter case, as Windows does in account names.
      ${If} $2 <> 0
      ${AndIf} $1 != ""
      ${AndIf} $0 == $3
        StrCpy $runsAsDesktopUser 1
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Started through the shell, not as a child of this elevated installer: Explorer hands the file
; to the shell already running on the desktop, so the program runs with the user's own rights,
; as it does when started at logon, and a later start of it from the Start menu can reach it.
; Only when this setup runs as the desktop's user (see CheckDesktopUser): for another account
; nothing is started, and the Run value starts the program at the user's next logon.
Function StartProgram
  ${If} $runsAsDesktopUser = 1
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\${PROGRAM}"'
  ${EndIf}
FunctionEnd

; The finish page offers the start only to the desktop's own user.
Function FinishPageShow
  ${If} $runsAsDesktopUser <> 1
    ${NSD_Uncheck} $mui.FinishPage.Run
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
  ${EndIf}
FunctionEnd

Function .onInit
  ${IfNot} ${AtLeastWin7}
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} needs Windows 7 or later." /SD IDOK
    Abort
  ${EndIf}
  !insertmacro REFUSE_WITHOUT_ADMIN_RIGHTS
  Call CheckDesktopUser
  ; One setup at a time.
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "QuorvaneAuravoSetup") p .r0 ?e'
  Pop $1
  ${If} $1 = 183 ; ERROR_ALREADY_EXISTS
    MessageBox MB_OK|MB_ICONEXCLAMATION "The ${PRODUCT} setup is already running." /SD IDOK
    Abort
  ${EndIf}
FunctionEnd

Section "Install"
  SetShellVarContext all
  Call CloseRunningCopy
  Call EnsureProgramNotInUse

  SetOutPath "$INSTDIR"
  SetOverwrite on
  ClearErrors
  File "${BUILD_DIR}\${PROGRAM}"
  File "${BUILD_DIR}\${RESOURCES}"
  File "${BUILD_DIR}\${HELPFILE}"
  ; A silent run answers File's own error prompt with Ignore: stop rather than report success.
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Setup could not write the files of ${PRODUCT} to $INSTDIR." /SD IDOK
    Abort "Files could not be written."
  ${EndIf}
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateShortcut "${SHORTCUT}" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0 SW_SHOWNORMAL \
    "" "${PRODUCT} Settings"

  ; Started at every logon, for every user of the PC.
  WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\${PROGRAM}"'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\${PROGRAM}",0'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"

  ; A silent upgrade gives back the copy it closed; an interactive one offers it on the
  ; finish page.
  ${If} ${Silent}
  ${AndIf} $closedRunningCopy = 1
    Call StartProgram
  ${EndIf}
SectionEnd

Function un.onInit
  !insertmacro REFUSE_WITHOUT_ADMIN_RIGHTS
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Call un.CloseRunningCopy
  Call un.EnsureProgramNotInUse

  Delete "$INSTDIR\${PROGRAM}"
  Delete "$INSTDIR\${RESOURCES}"
  Delete "$INSTDIR\${HELPFILE}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: nothing the user put there is removed.
  RMDir "$INSTDIR"
  ${GetParent} "$INSTDIR" $0
  RMDir "$0"
  Delete "${SHORTCUT}"

  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The preferences under HKEY_CURRENT_USER belong to each user and stay.
SectionEnd
