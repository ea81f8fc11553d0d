; The client's installer: the program in Program Files, a Start-menu shortcut,
; an uninstaller in Programs and Features, and the exam server's address and
; port in config.ini in the Windows directory, where the client looks for it.
; NSIS.template.in defines the names, the version and the staged files.
;
; Silent:  setup.exe /S [/IP=address] [/PORT=port] [/D=install folder]
; Exit code 0 when installed; 2 when the settings were refused or the
; installation failed, with nothing written.

Unicode true
Target ${NSIS_TARGET}
ManifestSupportedOS all
ManifestDPIAware true
; The Windows directory is only writable for administrators.
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; Installed files get the install time: the build time would make two builds
; of the same sources differ.
SetDateSave off
XPStyle on

Name "${PRODUCT_NAME}"
OutFile "${OUT_FILE}"
!if "${NSIS_TARGET}" == "amd64-unicode"
  InstallDir "$PROGRAMFILES64\${INSTALL_DIR_NAME}"
!else
  InstallDir "$PROGRAMFILES\${INSTALL_DIR_NAME}"
!endif
BrandingText "${PRODUCT_NAME} ${PRODUCT_VERSION}"
ShowInstDetails show
ShowUninstDetails show

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${REGISTRY_KEY}"
!define CONFIG_FILE "$WINDIR\config.ini"
!define START_MENU_DIR "$SMPROGRAMS\${PRODUCT_NAME}"
!define SHORTCUT "${START_MENU_DIR}\${PRODUCT_NAME}.lnk"
!define CLIENT_EXE "ExamClient.exe"
!define UNINSTALLER "Uninstall.exe"
!define EXIT_REFUSED 2

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

Var ServerAddress
Var ServerPort
Var AddressField
Var PortField

!include "${__FILEDIR__}/ServerSettings.nsh"

!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_DIRECTORY
Page custom ServerPageShow ServerPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"
!include "${__FILEDIR__}/zh_CN.nsh"

VIProductVersion "${VERSION_MAJOR}.${VERSION_MINOR}.${VERSION_PATCH}.0"
VIFileVersion "${VERSION_MAJOR}.${VERSION_MINOR}.${VERSION_PATCH}.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${INSTALLER_DESCRIPTION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${PRODUCT_VERSION}"
; makensis warns without this standard key; no holder is named here.
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" ""

Function .onInit
  SetShellVarContext all
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP "$(NeedAdmin)" /SD IDOK
    SetErrorLevel ${EXIT_REFUSED}
    Quit
  ${EndIf}

  StrCpy $ServerAddress "127.0.0.1"
  StrCpy $ServerPort "19730"
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/IP=" $R1
  ${IfNot} ${Errors}
    StrCpy $ServerAddress $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/PORT=" $R1
  ${IfNot} ${Errors}
    StrCpy $ServerPort $R1
  ${EndIf}

  Call CheckServerSettings
  Pop $R2
  ${If} $R2 != ""
    ${If} ${Silent}
      ; Nothing has been written yet; a deployment script sees the exit code.
      SetErrorLevel ${EXIT_REFUSED}
      Quit
    ${EndIf}
    ; Interactive: say why, and let the settings page correct it.
    MessageBox MB_ICONEXCLAMATION "$R2"
  ${EndIf}
FunctionEnd

Function ServerPageShow
  !insertmacro MUI_HEADER_TEXT "$(ServerPageTitle)" "$(ServerPageSubtitle)"
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 30u "$(ServerPageIntro)"
  Pop $0
  ${NSD_CreateLabel} 0 40u 60u 12u "$(ServerAddressLabel)"
  Pop $0
  ${NSD_CreateText} 64u 38u 160u 13u "$ServerAddress"
  Pop $AddressField
  ${NSD_CreateLabel} 0 60u 60u 12u "$(ServerPortLabel)"
  Pop $0
  ${NSD_CreateNumber} 64u 58u 50u 13u "$ServerPort"
  Pop $PortField
  ${NSD_CreateLabel} 0 82u 100% 24u "$(ServerHint)"
  Pop $0
  nsDialogs::Show
FunctionEnd

Function ServerPageLeave
  ${NSD_GetText} $AddressField $ServerAddress
  ${NSD_GetText} $PortField $ServerPort
  Call CheckServerSettings
  Pop $0
  ${If} $0 != ""
    MessageBox MB_ICONEXCLAMATION "$0"
    Abort
  ${EndIf}
FunctionEnd

Section "-Client"
  ; The settings first: if the Windows directory cannot be written, nothing
  ; else is put in place.
  ; The uninstaller removes config.ini only if an installation made it; a
  ; reinstall over our own file keeps that.
  ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "ConfigCreated"
  ${IfNot} ${FileExists} "${CONFIG_FILE}"
    StrCpy $1 1
  ${EndIf}
  ${If} $1 != 1
    StrCpy $1 0
  ${EndIf}
  ClearErrors
  WriteINIStr "${CONFIG_FILE}" "Server" "IP" "$ServerAddress"
  WriteINIStr "${CONFIG_FILE}" "Server" "Port" "$ServerPort"
  ${If} ${Errors}
    MessageBox MB_ICONSTOP "$(ConfigWriteFailed)" /SD IDOK
    SetErrorLevel ${EXIT_REFUSED}
    Abort
  ${EndIf}
  FlushINI "${CONFIG_FILE}"

  SetOutPath "$INSTDIR"
  !insertmacro INSTALL_STAGED_FILES
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateDirectory "${START_MENU_DIR}"
  CreateShortCut "${SHORTCUT}" "$INSTDIR\${CLIENT_EXE}" "" "$INSTDIR\${CLIENT_EXE}" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${PRODUCT_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${CLIENT_EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "ConfigCreated" $1
  ${GetSize} "$INSTDIR" "/S=0K" $2 $3 $4
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $2
SectionEnd

Function un.onInit
  SetShellVarContext all
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP "$(UninstallNeedAdmin)" /SD IDOK
    SetErrorLevel ${EXIT_REFUSED}
    Quit
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "ConfigCreated"
  ${If} $1 == 1
    Delete "${CONFIG_FILE}"
  ${EndIf}
  Delete "${SHORTCUT}"
  RMDir "${START_MENU_DIR}"
  !insertmacro DELETE_STAGED_FILES
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Not /r: files someone else put there stay.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
