; brevant-setup.exe: the plug-in for the 32-bit and the 64-bit messenger, its pages, the default
; settings and, as an option, the bundled translation server.
;
; Built by CMake (installer/CMakeLists.txt), which defines:
;   OUTFILE     the installer to write
;   X64_DLL     brevant.dll of the x64 build      X86_DLL  brevant.dll of the x86 build
;   SERVER_EXE  trans-server.exe of the x64 build CONFIG_INI the default configUIN.ini
;   FILES_NSH   the generated lists of page files VERSION  the product version
;
; Per-user by default, without administrator rights: $LOCALAPPDATA\Programs\brevant and
; HKCU\Software\Classes. Machine-wide on request (the first page, or /ALLUSERS): Program Files and
; HKLM\Software\Classes, which asks for administrator rights. /CURRENTUSER forces per-user,
; /NOSERVER leaves the server out, /LANG=2052|1033 picks Chinese or English, /D=folder picks the
; folder, /S runs silently.
; The uninstaller keeps configUIN.ini unless asked (its components page, or /REMOVECONFIG).
;
; Both DLLs live in one folder under distinct names, because the plug-in finds its pages and
; configUIN.ini beside itself: one folder means one set of pages and one settings file, whichever
; messenger loads it. Each DLL registers itself (regsvr32, /n /i:user for a per-user
; registration), so the installer writes exactly the keys the DLL's own unregistration removes.

Unicode true
; A 64-bit installer: it runs the 64-bit regsvr32 for the x64 DLL and, through WoW64, the 32-bit
; one for the x86 DLL.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include WinMessages.nsh
!include "${FILES_NSH}"

!define PRODUCT brevant
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\brevant"
!define X64_NAME brevant64.dll
!define X86_NAME brevant32.dll
; The uninstaller's exit code when machine-wide removal is asked for without the rights for it.
!define ERROR_ELEVATION_REQUIRED 740

Name "brevant"
OutFile "${OUTFILE}"
BrandingText "brevant ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

; No copyright line in the version resource.
!pragma warning disable 9100
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=0 ProductName "brevant"
VIAddVersionKey /LANG=0 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 FileVersion "${VERSION}"
VIAddVersionKey /LANG=0 FileDescription "brevant setup"

Var MachineWide     ; 1: for every user of the machine
Var ModeGiven       ; 1: the mode came from the command line (or an elevated restart)
Var DirGiven        ; 1: the folder came from /D=
Var RadioMachine
Var RadioUser

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one used when the system's is neither.
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

LangString ModeTitle ${LANG_SIMPCHINESE} "安装方式"
LangString ModeTitle ${LANG_ENGLISH} "Installation type"
LangString ModeSubtitle ${LANG_SIMPCHINESE} "为谁安装 brevant？"
LangString ModeSubtitle ${LANG_ENGLISH} "Who should brevant be installed for?"
LangString ModeUser ${LANG_SIMPCHINESE} "仅为我安装（不需要管理员权限）"
LangString ModeUser ${LANG_ENGLISH} "Only for me (no administrator rights needed)"
LangString ModeMachine ${LANG_SIMPCHINESE} "为这台电脑的所有用户安装（需要管理员权限）"
LangString ModeMachine ${LANG_ENGLISH} "For everyone who uses this computer (needs administrator rights)"
LangString ElevateFailed ${LANG_SIMPCHINESE} "没有取得管理员权限，无法为所有用户安装。"
LangString ElevateFailed ${LANG_ENGLISH} "Administrator rights were not granted; brevant cannot be installed for everyone."
LangString NeedAdmin ${LANG_SIMPCHINESE} "为所有用户安装或卸载需要管理员权限。"
LangString NeedAdmin ${LANG_ENGLISH} "Installing or removing brevant for everyone needs administrator rights."
LangString SecPlugin ${LANG_SIMPCHINESE} "brevant 翻译插件"
LangString SecPlugin ${LANG_ENGLISH} "brevant translation plug-in"
LangString SecServer ${LANG_SIMPCHINESE} "本地翻译服务器（trans-server）"
LangString SecServer ${LANG_ENGLISH} "Local translation server (trans-server)"
LangString ServerShortcut ${LANG_SIMPCHINESE} "启动 brevant 翻译服务器"
LangString ServerShortcut ${LANG_ENGLISH} "Start the brevant translation server"
LangString RegisterFailed ${LANG_SIMPCHINESE} "插件注册失败："
LangString RegisterFailed ${LANG_ENGLISH} "The plug-in could not be registered:"
LangString No32Bit ${LANG_SIMPCHINESE} "此系统不能运行 32 位程序：32 位插件已复制但未注册。"
LangString No32Bit ${LANG_ENGLISH} "This system runs no 32-bit programs: the 32-bit plug-in is copied but not registered."
LangString UnSecConfig ${LANG_SIMPCHINESE} "同时删除设置（configUIN.ini）"
LangString UnSecConfig ${LANG_ENGLISH} "Also remove the settings (configUIN.ini)"

; ---------------------------------------------------------------- shared by both halves

; regsvr32 for one DLL: $0 the regsvr32 program, $1 its switches, $2 the DLL. Sets the error flag
; when regsvr32 could not run or reported a failure.
!macro RUN_REGSVR32 UN
Function ${UN}RunRegsvr32
  ClearErrors
  ExecWait '"$0" $1 "$2"' $3
  ${If} ${Errors}
  ${OrIf} $3 != 0
    DetailPrint "regsvr32 $1 $2: $3"
    SetErrors
  ${EndIf}
FunctionEnd
!macroend
!insertmacro RUN_REGSVR32 ""
!insertmacro RUN_REGSVR32 "un."

; Pushes "1" when this process has administrator rights, else "0".
!macro IS_ADMIN UN
Function ${UN}IsAdmin
  ClearErrors
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    Push 1
  ${Else}
    Push 0
  ${EndIf}
FunctionEnd
!macroend
!insertmacro IS_ADMIN ""
!insertmacro IS_ADMIN "un."

; ---------------------------------------------------------------- installer

Function UseMode
  ${If} $MachineWide == 1
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ${If} $DirGiven != 1
    ; Over an earlier installation of the same kind: its folder, so its settings stay in use.
    ReadRegStr $0 SHCTX "${UNINST_KEY}" "InstallLocation"
    ${If} $0 != ""
      StrCpy $INSTDIR $0
    ${ElseIf} $MachineWide == 1
      StrCpy $INSTDIR "$PROGRAMFILES64\brevant"
    ${Else}
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\brevant"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function ModePage
  ${If} $ModeGiven == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "$(ModeTitle)" "$(ModeSubtitle)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateRadioButton} 0 10u 100% 14u "$(ModeUser)"
  Pop $RadioUser
  ${NSD_CreateRadioButton} 0 34u 100% 14u "$(ModeMachine)"
  Pop $RadioMachine
  ${If} $MachineWide == 1
    ${NSD_Check} $RadioMachine
  ${Else}
    ${NSD_Check} $RadioUser
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $RadioMachine $0
  ${If} $0 == ${BST_CHECKED}
    Call IsAdmin
    Pop $0
    ${If} $0 != 1
      ; Start again with administrator rights; this instance ends.
      ClearErrors
      ${If} $DirGiven == 1
        ExecShell "runas" "$EXEPATH" "/ALLUSERS /LANG=$LANGUAGE /D=$INSTDIR"
      ${Else}
        ExecShell "runas" "$EXEPATH" "/ALLUSERS /LANG=$LANGUAGE"
      ${EndIf}
      ${If} ${Errors}
        MessageBox MB_ICONEXCLAMATION "$(ElevateFailed)"
        Abort
      ${EndIf}
      Quit
    ${EndIf}
    StrCpy $MachineWide 1
  ${Else}
    StrCpy $MachineWide 0
  ${EndIf}
  Call UseMode
FunctionEnd

; Registers one DLL: $0 regsvr32, $2 the DLL. Stops the installation when it fails.
Function RegisterDll
  ${If} $MachineWide == 1
    StrCpy $1 "/s"
  ${Else}
    StrCpy $1 "/s /n /i:user"
  ${EndIf}
  Call RunRegsvr32
  ${If} ${Errors}
    MessageBox MB_ICONSTOP "$(RegisterFailed) $2" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
FunctionEnd

Section "$(SecPlugin)" SecPlugin
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "/oname=${X64_NAME}" "${X64_DLL}"
  File "/oname=${X86_NAME}" "${X86_DLL}"
  !insertmacro BREVANT_INSTALL_PAGES
  SetOutPath "$INSTDIR"
  ; The user's settings survive a reinstallation.
  SetOverwrite off
  File "/oname=configUIN.ini" "${CONFIG_INI}"
  SetOverwrite on
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The uninstall entry comes before registration, so that a failed registration can be undone.
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayName" "brevant"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoRepair" 1

  ; The x86 DLL first, the x64 one last. Windows keeps the per-user class keys apart for 32-bit
  ; and 64-bit programs, so there the order does not matter; Wine keeps one copy of them, where
  ; the last registration wins, and a 64-bit messenger must find the 64-bit DLL.
  ; Without WoW64 no 32-bit messenger can run, so there is nothing to register the x86 DLL for.
  ${If} ${FileExists} "$WINDIR\SysWOW64\regsvr32.exe"
    StrCpy $0 "$WINDIR\SysWOW64\regsvr32.exe"
    StrCpy $2 "$INSTDIR\${X86_NAME}"
    Call RegisterDll
  ${Else}
    DetailPrint "$(No32Bit)"
  ${EndIf}
  StrCpy $0 "$SYSDIR\regsvr32.exe"
  StrCpy $2 "$INSTDIR\${X64_NAME}"
  Call RegisterDll
SectionEnd

Section "$(SecServer)" SecServer
  SetOutPath "$INSTDIR"
  File "${SERVER_EXE}"
  ; An earlier installation in the other language named its shortcut otherwise.
  ReadRegStr $0 SHCTX "${UNINST_KEY}" "ServerShortcut"
  ${If} $0 != ""
    Delete "$0"
  ${EndIf}
  CreateDirectory "$SMPROGRAMS\brevant"
  CreateShortcut "$SMPROGRAMS\brevant\$(ServerShortcut).lnk" "$INSTDIR\trans-server.exe"
  ; The shortcut's name follows the installer's language; the uninstaller reads it back.
  WriteRegStr SHCTX "${UNINST_KEY}" "ServerShortcut" "$SMPROGRAMS\brevant\$(ServerShortcut).lnk"
SectionEnd

Section "-size"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; Section identifiers exist only after their sections, hence here.
Function .onInit
  StrCpy $MachineWide 0
  StrCpy $ModeGiven 0
  StrCpy $DirGiven 0
  ; No InstallDir attribute: $INSTDIR is set here only when /D= was given.
  ${If} $INSTDIR != ""
    StrCpy $DirGiven 1
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    StrCpy $MachineWide 1
    StrCpy $ModeGiven 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/CURRENTUSER" $R1
  ${IfNot} ${Errors}
    StrCpy $MachineWide 0
    StrCpy $ModeGiven 1
  ${EndIf}
  ; /LANG=2052 (Chinese) or /LANG=1033 (English) instead of the system's language.
  ClearErrors
  ${GetOptions} $R0 "/LANG=" $R1
  ${IfNot} ${Errors}
    StrCpy $LANGUAGE $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/NOSERVER" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecServer} 0
  ${EndIf}
  ; Offered first on the page: the kind of an earlier installation, when there is only one.
  ${If} $ModeGiven != 1
  ${AndIfNot} ${Silent}
    ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
    ReadRegStr $1 HKCU "${UNINST_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} $1 == ""
      StrCpy $MachineWide 1
    ${EndIf}
  ${EndIf}
  ${If} $MachineWide == 1
  ${AndIf} $ModeGiven == 1
    Call IsAdmin
    Pop $0
    ${If} $0 != 1
      ; A silent installation cannot ask; an interactive one gets the choice page back.
      ${If} ${Silent}
        SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
        Quit
      ${EndIf}
      StrCpy $ModeGiven 0
    ${EndIf}
  ${EndIf}
  Call UseMode
FunctionEnd

; ---------------------------------------------------------------- uninstaller

Section "-un.plugin"
  ; Both registrations first, while the DLLs are still there to remove their own keys.
  ReadRegStr $4 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $4 == $INSTDIR
    StrCpy $1 "/u /s"
  ${Else}
    StrCpy $1 "/u /s /n /i:user"
  ${EndIf}
  ${If} ${FileExists} "$WINDIR\SysWOW64\regsvr32.exe"
  ${AndIf} ${FileExists} "$INSTDIR\${X86_NAME}"
    StrCpy $0 "$WINDIR\SysWOW64\regsvr32.exe"
    StrCpy $2 "$INSTDIR\${X86_NAME}"
    Call un.RunRegsvr32
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\${X64_NAME}"
    StrCpy $0 "$SYSDIR\regsvr32.exe"
    StrCpy $2 "$INSTDIR\${X64_NAME}"
    Call un.RunRegsvr32
  ${EndIf}

  Delete "$INSTDIR\${X64_NAME}"
  Delete "$INSTDIR\${X86_NAME}"
  !insertmacro BREVANT_REMOVE_PAGES
  Delete "$INSTDIR\trans-server.exe"
  ReadRegStr $0 SHCTX "${UNINST_KEY}" "ServerShortcut"
  ${If} $0 != ""
    Delete "$0"
  ${EndIf}
  RMDir "$SMPROGRAMS\brevant"
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey SHCTX "${UNINST_KEY}"
  ; Only an empty folder goes: configUIN.ini and anything the user put there stay.
  RMDir "$INSTDIR"
SectionEnd

Section /o "un.$(UnSecConfig)" UnSecConfig
  Delete "$INSTDIR\configUIN.ini"
  RMDir "$INSTDIR"
SectionEnd

Function un.onInit
  ; Machine-wide when the machine's uninstall entry names this folder.
  SetShellVarContext current
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    SetShellVarContext all
    Call un.IsAdmin
    Pop $0
    ${If} $0 != 1
      ${If} ${Silent}
        SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
        Quit
      ${EndIf}
      ${un.GetParameters} $R0
      ClearErrors
      ExecShell "runas" "$EXEPATH" "$R0 _?=$INSTDIR"
      ${If} ${Errors}
        MessageBox MB_ICONEXCLAMATION "$(NeedAdmin)"
      ${EndIf}
      Quit
    ${EndIf}
  ${EndIf}
  ${un.GetParameters} $R0
  ClearErrors
  ${un.GetOptions} $R0 "/REMOVECONFIG" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${UnSecConfig} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
