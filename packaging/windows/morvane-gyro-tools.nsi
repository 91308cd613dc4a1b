; The Windows installer: the programs into "Program Files\Morvane RC Gyro Tools", a Start-menu
; folder, and an uninstaller entered in "Apps & features". makensis gets from the build:
;   VERSION     the program version (1.07)
;   OUTFILE     the setup program to write
;   CLI_EXE     morvane-gyro-cli.exe
;   TOOLS_EXE   morvane-gyro-tools.exe, when the build has the desktop program
;   README      the README, installed as README.txt
;   COPYRIGHT   the copyright notice, installed as Copyright.txt
;   ICON        the program icon (.ico), when the build has one
; /S installs or uninstalls without a window; an uninstall leaves the pilot's settings
; (%APPDATA%\Morvane, %LOCALAPPDATA%\Morvane) where they are.

; A 64-bit installer for the 64-bit programs: it runs wherever they run (on Linux under Wine
; with the 64-bit loader alone, no 32-bit one needed), and Windows itself refuses it on 32-bit
; systems, where the programs would not run either.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include FileFunc.nsh

!define NAME "Morvane RC Gyro Tools"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\MorvaneGyroTools"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${NAME}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${NAME} ${VERSION} Setup"
VIAddVersionKey "CompanyName" "Morvane"
VIAddVersionKey "LegalCopyright" "2026 The Morvane RC Gyro Tools developers"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; No "Run" box on the last page: the program would run elevated, as the administrator whose
; password was given, and keep its settings in that account's profile.
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The 64-bit registry (a 64-bit installer's own view; said so that it stays so) and the
; all-users Start menu.
!macro Views
  SetRegView 64
  SetShellVarContext all
!macroend
Function .onInit
  !insertmacro Views
FunctionEnd
Function un.onInit
  !insertmacro Views
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "/oname=morvane-gyro-cli.exe" "${CLI_EXE}"
  !ifdef TOOLS_EXE
    File "/oname=morvane-gyro-tools.exe" "${TOOLS_EXE}"
  !endif
  File "/oname=README.txt" "${README}"
  File "/oname=Copyright.txt" "${COPYRIGHT}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${NAME}"
  !ifdef TOOLS_EXE
    CreateShortcut "$SMPROGRAMS\${NAME}\${NAME}.lnk" "$INSTDIR\morvane-gyro-tools.exe"
  !endif
  CreateShortcut "$SMPROGRAMS\${NAME}\README.lnk" "$INSTDIR\README.txt"
  CreateShortcut "$SMPROGRAMS\${NAME}\Uninstall ${NAME}.lnk" "$INSTDIR\Uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Morvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  !ifdef TOOLS_EXE
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\morvane-gyro-tools.exe"
  !else
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\morvane-gyro-cli.exe"
  !endif
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Exactly what the installer put there; the folder goes only when nothing else is left in it.
Section "Uninstall"
  Delete "$INSTDIR\morvane-gyro-cli.exe"
  !ifdef TOOLS_EXE
    Delete "$INSTDIR\morvane-gyro-tools.exe"
  !endif
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Copyright.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  !ifdef TOOLS_EXE
    Delete "$SMPROGRAMS\${NAME}\${NAME}.lnk"
  !endif
  Delete "$SMPROGRAMS\${NAME}\README.lnk"
  Delete "$SMPROGRAMS\${NAME}\Uninstall ${NAME}.lnk"
  RMDir "$SMPROGRAMS\${NAME}"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
