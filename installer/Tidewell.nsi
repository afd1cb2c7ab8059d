; Tidewell's installer: the program and its Explorer extension into one folder of Program Files,
; the extension registered and attached to the context menus of files and folders, and an
; uninstaller that takes all of it away again but leaves the user's backups described: the
; volume list, the selection files and the settings stay.
;
; makensis -DBINDIR=<folder with Tidewell.exe and TWContext.dll> -DOUTFILE=<setup.exe> Tidewell.nsi
; Silent: Tidewell-setup.exe /S [/STARTUP]; Uninstall.exe /S.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!ifndef BINDIR
  !error "BINDIR must name the folder of Tidewell.exe and TWContext.dll"
!endif
!ifndef OUTFILE
  !define OUTFILE "Tidewell-setup.exe"
!endif

!include LogicLib.nsh
!include nsDialogs.nsh
!include FileFunc.nsh
!include x64.nsh

!define PRODUCT "Tidewell"
!define CLSID "{6B0E2D71-4C3A-4F58-9E21-7A5C3D90B1E4}"
!define DESCRIPTION "Tidewell Context Menu Extension"
!define PRODUCT_KEY "Software\Corvane\Tidewell"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tidewell"
!define APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved"
; The program's single-instance mutex: named by its file's default title.
!define RUNNING_MUTEX "Tidewell"
!define SHCNE_ASSOCCHANGED 0x08000000
!define SYNCHRONIZE 0x00100000

Name "${PRODUCT}"
Caption "${PRODUCT} Setup"
UninstallCaption "${PRODUCT} Uninstall"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "Tidewell"

Var StartupCheckBox
Var StartWithWindows

Page custom OptionsPage OptionsPageLeave
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Both the installer and the uninstaller refuse to replace or remove a program that runs.
!macro RefuseWhileRunning
  System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${RUNNING_MUTEX}") p .r0 ?e'
  Pop $1
  ${If} $0 != 0
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
  ; Error 5: a copy running elevated or as another account holds a marker we may not open.
  ${If} $0 != 0
  ${OrIf} $1 == 5
    MessageBox MB_OK|MB_ICONSTOP "Tidewell is running. Please end it (End Session) and try again." /SD IDOK
    SetErrorLevel 4
    Quit
  ${EndIf}
!macroend

Function .onInit
  SetRegView 64
  !insertmacro RefuseWhileRunning
  StrCpy $StartWithWindows 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/STARTUP" $R1
  ${IfNot} ${Errors}
    StrCpy $StartWithWindows 1
  ${EndIf}
FunctionEnd

Function OptionsPage
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 24u "Tidewell will be installed into $INSTDIR, with its Explorer commands for marking files and folders for backup."
  Pop $0
  ${NSD_CreateCheckBox} 0 36u 100% 12u "&Start Tidewell with Windows"
  Pop $StartupCheckBox
  ${If} $StartWithWindows == 1
    ${NSD_Check} $StartupCheckBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function OptionsPageLeave
  ${NSD_GetState} $StartupCheckBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $StartWithWindows 1
  ${Else}
    StrCpy $StartWithWindows 0
  ${EndIf}
FunctionEnd

Section "Tidewell"
  SetRegView 64
  SetOutPath "$INSTDIR"
  File "${BINDIR}\Tidewell.exe"
  File "${BINDIR}\TWContext.dll"
  SetOutPath "$INSTDIR\manual"
  File /r "${MANUALDIR}\*.*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The volume list and the selection files live beside the program, written by the user who
  ; runs it. The grant is on the folder alone: files a user makes there are that user's own
  ; (CREATOR OWNER), while the program and the extension stay read-only to Users; an inherited
  ; grant would let any user replace code that Explorer loads for everyone.
  nsExec::Exec '"$SYSDIR\icacls.exe" "$INSTDIR" /grant *S-1-5-32-545:(M)'
  Pop $0
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "The folder $INSTDIR could not be opened to users (icacls ended with $0). Tidewell run without administrator rights cannot save its volume list there." /SD IDOK
  ${EndIf}

  ; The extension registers its class itself; without it no menu item could work.
  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\TWContext.dll"' $0
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONSTOP "The Tidewell Explorer extension could not be registered (regsvr32 ended with $0)." /SD IDOK
    ; Nothing half-installed stays behind without an entry to uninstall it by.
    ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\TWContext.dll"'
    Delete "$INSTDIR\Tidewell.exe"
    Delete "$INSTDIR\TWContext.dll"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir /r "$INSTDIR\manual"
    RMDir "$INSTDIR"
    SetErrorLevel 3
    Quit
  ${EndIf}
  ; The program's path for the extension, unquoted: it takes the folder part of it.
  WriteRegStr HKLM "${PRODUCT_KEY}\AppPath" "" "$INSTDIR\Tidewell.exe"
  WriteRegStr HKCR "*\shellex\ContextMenuHandlers\Tidewell" "" "${CLSID}"
  WriteRegStr HKCR "Directory\shellex\ContextMenuHandlers\Tidewell" "" "${CLSID}"
  WriteRegStr HKLM "${APPROVED_KEY}" "${CLSID}" "${DESCRIPTION}"
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'

  ${If} $StartWithWindows == 1
    ; The program keeps the link while LaunchOnStartup is set, and makes it the same way.
    CreateShortcut "$SMSTARTUP\Tidewell.lnk" "$INSTDIR\Tidewell.exe" "/WINSTART" \
        "$INSTDIR\Tidewell.exe" 0 SW_SHOWNORMAL "" "Tidewell"
    WriteRegDWORD HKCU "${PRODUCT_KEY}\Options" "LaunchOnStartup" 1
  ${EndIf}

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tidewell"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Corvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tidewell.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  SetRegView 64
  !insertmacro RefuseWhileRunning
FunctionEnd

Section "Uninstall"
  SetRegView 64
  ; The extension takes its own class away first; the keys below are removed in any case.
  ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\TWContext.dll"' $0
  DeleteRegKey HKCR "CLSID\${CLSID}"
  DeleteRegKey HKCR "*\shellex\ContextMenuHandlers\Tidewell"
  DeleteRegKey /ifempty HKCR "*\shellex\ContextMenuHandlers"
  DeleteRegKey /ifempty HKCR "*\shellex"
  DeleteRegKey HKCR "Directory\shellex\ContextMenuHandlers\Tidewell"
  DeleteRegKey /ifempty HKCR "Directory\shellex\ContextMenuHandlers"
  DeleteRegKey /ifempty HKCR "Directory\shellex"
  DeleteRegValue HKLM "${APPROVED_KEY}" "${CLSID}"
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'

  DeleteRegKey HKLM "${PRODUCT_KEY}\AppPath"
  DeleteRegKey /ifempty HKLM "${PRODUCT_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Corvane"
  Delete "$SMSTARTUP\Tidewell.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; VOLUMES.TWB and the .TWS files describe existing backups: they stay, and so does the folder
  ; that holds them.
  RMDir /r "$INSTDIR\manual"
  Delete /REBOOTOK "$INSTDIR\Tidewell.exe"
  Delete /REBOOTOK "$INSTDIR\TWContext.dll"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
