; The kit's Windows installer, built by scripts/build_windows_kit.sh:
;
;   makensis -INPUTCHARSET UTF8 -DKIT=<build>/installer/kit.nsh
;            -DFILES=<out>/installer/files.nsh -DOUTFILE=<setup.exe> installer.nsi
;
; kit.nsh (from packaging/CMakeLists.txt) names the product, its version and
; the programs; files.nsh (from the kit script) lists every file of dist/.
;
; It installs the three program folders under Program Files\PLC Serial Kit
; for every user, adds a Start-menu shortcut per program and an entry under
; Add/Remove Programs. The shortcuts start the programs in the user's own
; %LOCALAPPDATA%\PLC Serial Kit (made by the program), where Tavrin keeps its
; history file; the uninstaller removes only what was installed, so history
; files stay. An older installation is uninstalled first, wherever it is.
;
; setup.exe /S installs silently; /D=C:\Folder (last on the command line)
; picks the folder. Exit status 0 done, 2 cancelled, 5 no rights to install.

Unicode true
Target amd64-unicode
; The name plc-serial-kit-<version>-windows-x64-setup.exe is wanted: Windows
; then asks for administrator rights, as the installer needs them anyway.
!pragma warning disable 9000
ManifestDPIAware true
SetCompressor /SOLID lzma

!include "${KIT}"
!include "${FILES}"
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT_NAME}"
!define START_MENU "$SMPROGRAMS\${PRODUCT_NAME}"
!define DATA_DIR "%LOCALAPPDATA%\${PRODUCT_NAME}"

Name "${PRODUCT_NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT_NAME}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
BrandingText "${PRODUCT_NAME} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "${PRODUCT_NAME}"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey FileDescription "${PRODUCT_NAME} setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey LegalCopyright "${PUBLISHER}"

!define MUI_ICON "${INSTALLER_ICON}"
!define MUI_UNICON "${INSTALLER_ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This installs Tavrin (serial console), Morvex (Bluetooth serial adapter configurator) and Pelurk (USB serial port checker) for every user of this computer, with a Start-menu entry for each.$\r$\n$\r$\nAn older version of ${PRODUCT_NAME} is replaced; its history files are kept.$\r$\n$\r$\nInstalling needs administrator rights."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

; Stops the installer, before anything is changed, when it cannot write what
; it installs: a user without administrator rights, or a folder it may not
; make or write.
!macro REFUSE TEXT
  MessageBox MB_OK|MB_ICONSTOP "${TEXT}" /SD IDOK
  SetErrorLevel 5
  Quit
!macroend

Function .onInit
  SetShellVarContext all
  SetRegView 64
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    !insertmacro REFUSE "${PRODUCT_NAME} is installed for every user under Program Files, which needs administrator rights. Start the installer again with $\"Run as administrator$\"; nothing was changed."
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    !insertmacro REFUSE "Removing ${PRODUCT_NAME} needs administrator rights; nothing was changed."
  ${EndIf}
FunctionEnd

; A probe file in the chosen folder tells whether it can be written; a folder
; made only for the probe goes again.
Function CheckFolderIsWritable
  StrCpy $1 "existed"
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    StrCpy $1 "made"
  ${EndIf}
  ClearErrors
  CreateDirectory "$INSTDIR"
  FileOpen $0 "$INSTDIR\write-test.tmp" w
  ${If} ${Errors}
    ${If} $1 == "made"
      RMDir "$INSTDIR"
    ${EndIf}
    !insertmacro REFUSE "Cannot write in $INSTDIR. Installing there needs administrator rights, or pick another folder; nothing was changed."
  ${EndIf}
  FileClose $0
  Delete "$INSTDIR\write-test.tmp"
FunctionEnd

; The uninstaller of the installation found in the registry, run silently
; from a copy so that it can remove itself and its folder (the old folder
; may be another one than this installation's).
Function RemoveOlderInstallation
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == ""
  ${OrIfNot} ${FileExists} "$0\uninstall.exe"
    Return
  ${EndIf}
  DetailPrint "Removing the installed version from $0"
  InitPluginsDir
  CopyFiles /SILENT "$0\uninstall.exe" "$PLUGINSDIR\older-uninstall.exe"
  ExecWait '"$PLUGINSDIR\older-uninstall.exe" /S _?=$0' $1
  ${If} $1 != 0
    DetailPrint "The older version's uninstaller ended with status $1; its files are overwritten."
  ${EndIf}
  Delete "$PLUGINSDIR\older-uninstall.exe"
FunctionEnd

!macro ADD_SHORTCUT FOLDER EXE TITLE COMMENT
  SetOutPath "$INSTDIR\${FOLDER}"
  CreateShortCut "${START_MENU}\${TITLE}.lnk" "$INSTDIR\${FOLDER}\${EXE}" \
    '--data-dir "${DATA_DIR}"' "$INSTDIR\${FOLDER}\${EXE}" 0 SW_SHOWNORMAL "" "${COMMENT}"
!macroend

!macro REMOVE_SHORTCUT FOLDER EXE TITLE COMMENT
  Delete "${START_MENU}\${TITLE}.lnk"
!macroend

Section "Install"
  Call CheckFolderIsWritable
  Call RemoveOlderInstallation

  !insertmacro KIT_INSTALL_FILES
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${START_MENU}"
  !insertmacro KIT_PROGRAMS ADD_SHORTCUT

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${MAIN_PROGRAM},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  !insertmacro KIT_PROGRAMS REMOVE_SHORTCUT
  RMDir "${START_MENU}"
  ; File by file, then each folder only when empty: a history file a user
  ; kept beside a program stays, with its folder.
  !insertmacro KIT_REMOVE_FILES
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
