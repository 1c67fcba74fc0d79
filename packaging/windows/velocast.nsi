; The Windows installer: the portable folder under Program Files, a Start-menu entry, start
; with Windows for the user who installs, and an uninstaller that removes all three.
; makensis -DVERSION=2.10 -DSTAGE=<portable folder> -DOUTFILE=<setup.exe> [-DICON=<velocast.ico>] velocast.nsi
Unicode true
; 64-bit like the program: its registry keys and folders are the 64-bit ones, with no WOW64 redirection.
Target amd64-unicode
!include "MUI2.nsh"

!ifndef VERSION
  !error "VERSION is not defined"
!endif
!ifndef STAGE
  !error "STAGE (the portable folder) is not defined"
!endif

Name "Velocast ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Velocast"
InstallDirRegKey HKLM "Software\Velocast" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velocast"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

!ifdef ICON
  ; The installer and the uninstaller wear the program's icon.
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The first language is the default: the clubs' Windows is Portuguese. The program's own texts
; are built into velocast.exe and follow Windows' display language.
!insertmacro MUI_LANGUAGE "PortugueseBR"
!insertmacro MUI_LANGUAGE "English"

Section "Velocast"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The data-link file and velocast.conf stay where the host system keeps them (C:\QZ); the
  ; installer never writes or removes them.
  CreateDirectory "$SMPROGRAMS\Velocast"
  CreateShortCut "$SMPROGRAMS\Velocast\Velocast.lnk" "$INSTDIR\velocast.exe"
  CreateShortCut "$SMPROGRAMS\Velocast\Uninstall Velocast.lnk" "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${RUN_KEY}" "Velocast" '"$INSTDIR\velocast.exe"'

  WriteRegStr HKLM "Software\Velocast" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Velocast"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Velocast"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velocast.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; A running tray program holds its files open: it is asked to end first.
  nsExec::Exec 'taskkill /IM velocast.exe'
  DeleteRegValue HKCU "${RUN_KEY}" "Velocast"
  Delete "$SMPROGRAMS\Velocast\Velocast.lnk"
  Delete "$SMPROGRAMS\Velocast\Uninstall Velocast.lnk"
  RMDir "$SMPROGRAMS\Velocast"
  RMDir /r "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Velocast"
SectionEnd
