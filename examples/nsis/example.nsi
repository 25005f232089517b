; A small application's setup that ships the Orvex Uninstaller launcher beside its own
; uninstaller and registers the launcher in the system's list of installed programs, with the
; uninstaller's silent command beside it for management tools.
;
;   makensis examples/nsis/example.nsi      (after building build/release/uninstaller.exe and
;                                            uninstall-check.exe)
;
; Defines (makensis -DNAME=value): FOLDER, the folder under Program Files; LAUNCHER, the built
; launcher; CHECKER, the built uninstall-check.exe; OUTFILE, the setup to write;
; SILENT_UNINSTALL, an uninstaller without pages (the launcher passes it no arguments, so /S
; cannot ask for that).
;
; The folder that the user chooses is made writable by administrators alone, or refused before
; anything is registered (SafeFolder.nsh).

Unicode true
RequestExecutionLevel admin

!include "FileFunc.nsh"

!ifndef FOLDER
  !define FOLDER "Orvex Example"
!endif
!ifndef LAUNCHER
  !define LAUNCHER "../../build/release/uninstaller.exe"
!endif
!ifndef CHECKER
  !define CHECKER "../../build/release/uninstall-check.exe"
!endif
!ifndef OUTFILE
  !define OUTFILE "../../build/orvex-example-setup.exe"
!endif

!define APP_NAME "Orvex Example"
!define APP_VERSION "1.0.0"
!define PUBLISHER "Halvorn"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvexExample"

!define SAFE_FOLDER_KEY "${UNINSTALL_KEY}"
!define SAFE_FOLDER_CHECKER "${CHECKER}"
!include "SafeFolder.nsh"

Name "${APP_NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${FOLDER}"

!ifdef SILENT_UNINSTALL
  SilentUnInstall silent
!endif

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  ${SafeFolderPrepare}
  SetOutPath "$INSTDIR"
  File "readme.txt"
  File "orvex-example.ini"
  ; The launcher, whatever the built file is called; it starts uninstall.exe from its folder.
  File "/oname=uninstaller.exe" "${LAUNCHER}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${SafeFolderSeal}

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${APP_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; Quoted: the path has spaces, and the system runs this string as a command line.
  ; For people: the launcher, which checks the folder before it lends its rights.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstaller.exe$\""
  ; For management tools, which run it elevated with no one at the screen: the uninstaller
  ; itself, since the launcher passes it no /S.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KB, of what is in the folder now (uninstall.exe included), so that it follows the files.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\readme.txt"
  Delete "$INSTDIR\orvex-example.ini"
  Delete "$INSTDIR\uninstall.exe"

  ; The launcher that started this uninstaller may not have exited yet: a running program
  ; cannot be deleted, so try again for a few seconds before leaving it to the next restart.
  StrCpy $0 0
  retry_launcher:
    ClearErrors
    Delete "$INSTDIR\uninstaller.exe"
    IfErrors 0 launcher_deleted
    IntOp $0 $0 + 1
    IntCmp $0 30 launcher_stuck
    Sleep 100
    Goto retry_launcher
  launcher_stuck:
    Delete /REBOOTOK "$INSTDIR\uninstaller.exe"
  launcher_deleted:

  ; Only if empty: files the user put there stay.
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
