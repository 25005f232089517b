; SafeFolder.nsh: installs into a folder that only administrators can change, or into none.
;
; The Orvex Uninstaller launcher lends administrator rights to the uninstall.exe beside it only
; when no other account can change that file or its folder. A setup that lets its user choose
; a folder must therefore make the folder so, or refuse it before anything is registered:
; otherwise the app ends up with an entry that "Uninstall" can never remove.
;
;   !define SAFE_FOLDER_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\YourApp"
;   !define SAFE_FOLDER_CHECKER "path\to\uninstall-check.exe"
;   !include "SafeFolder.nsh"
;   Section
;     ${SafeFolderPrepare}     ; before the first SetOutPath or File
;     ...the files, uninstall.exe and the launcher...
;     ${SafeFolderSeal}        ; before the entry is written
;     ...WriteRegStr HKLM "${SAFE_FOLDER_KEY}" ...
;
; SAFE_FOLDER_LAUNCHER names the launcher's file in the folder (default uninstaller.exe). The
; entry must hold InstallLocation and QuietUninstallString, which a later setup reads.
;
; When the setup stops, whatever the reason, it removes what it wrote into the folder (what
; was there before stays), puts back the folder's access list, registers nothing, says why in a
; message box (not in a silent setup) and exits with status 2.

!ifndef SAFE_FOLDER_NSH
!define SAFE_FOLDER_NSH

!ifndef SAFE_FOLDER_KEY
  !error "SafeFolder.nsh: define SAFE_FOLDER_KEY, the entry's key under HKLM, before the include"
!endif
!ifndef SAFE_FOLDER_CHECKER
  !error "SafeFolder.nsh: define SAFE_FOLDER_CHECKER, the built uninstall-check.exe, before the include"
!endif
!ifndef SAFE_FOLDER_LAUNCHER
  !define SAFE_FOLDER_LAUNCHER "uninstaller.exe"
!endif

!include "LogicLib.nsh"
!include "FileFunc.nsh"

; A second setup proposes the folder of the copy that is installed already.
InstallDirRegKey HKLM "${SAFE_FOLDER_KEY}" "InstallLocation"

; Owner Administrators; SYSTEM and Administrators may do anything, Users and ALL APPLICATION
; PACKAGES (by SID: Windows 7 has no SDDL name for it) read and run; nothing inherited from
; above, whose entries may let others write ("Authenticated Users: Modify" under a drive's root).
!define SAFE_FOLDER_SDDL "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;S-1-15-2-1)"
!define SAFE_FILE_SDDL "O:BAD:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)(A;;0x1200a9;;;S-1-15-2-1)"

!define SafeFolderPrepare "!insertmacro SafeFolderPrepare"
!define SafeFolderSeal "!insertmacro SafeFolderSeal"

Var SafeFolderTouched  ; 1 once the setup may have changed the folder
Var SafeFolderMade     ; the outermost folder that this setup made, "" when $INSTDIR was there
Var SafeFolderBefore   ; the folder's descriptor before this setup changed it, or 0
Var SafeFolderReason

; Both keep the registers as they were.
!macro SafeFolderPrepare
  !insertmacro SafeFolderSaved SafeFolderPrepare
!macroend

!macro SafeFolderSeal
  !insertmacro SafeFolderSaved SafeFolderSeal
!macroend

!macro SafeFolderSaved function
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $R9
  Call ${function}
  Pop $R9
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
!macroend

; $0: the system's text for the error code $0, with the code.
Function SafeFolderErrorText
  Push $1
  System::Call 'kernel32::FormatMessageW(i 0x1200, p 0, i r0, i 0, w .r1, i ${NSIS_MAX_STRLEN}, p 0) i .s'
  Pop $R9
  ${If} $R9 = 0
    StrCpy $1 ""
  ${EndIf}
  ; Without its line break.
  StrCpy $R9 $1 2 -2
  ${If} $R9 == "$\r$\n"
    StrCpy $1 $1 -2
  ${EndIf}
  IntFmt $0 "0x%x" $0
  StrCpy $0 "$1 ($0)"
  Pop $1
FunctionEnd

; $1: the path; $2: the descriptor in SDDL. $0: 0, or the error.
Function SafeFolderSetSecurity
  Push $3
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w r2, i 1, *p .r3, p 0) i .r0 ?e'
  Pop $R9
  ${If} $0 <> 0
    ; Owner and access list (the descriptor marks the list protected).
    System::Call 'advapi32::SetFileSecurityW(w r1, i 5, p r3) i .r0 ?e'
    Pop $R9
    System::Call 'kernel32::LocalFree(p r3)'
  ${EndIf}
  ${If} $0 <> 0
    StrCpy $0 0
  ${Else}
    StrCpy $0 $R9
  ${EndIf}
  Pop $3
FunctionEnd

; Stops the setup: $SafeFolderReason says why.
Function SafeFolderStop
  DetailPrint "$SafeFolderReason"
  ; What this setup wrote goes; what was there before stays.
  ${If} $SafeFolderTouched = 0
    ; Nothing yet.
  ${ElseIf} $SafeFolderMade != ""
    RMDir /r "$SafeFolderMade"
  ${Else}
    FindFirst $1 $2 "$INSTDIR\*"
    ${DoWhile} $2 != ""
      ${If} $2 != "."
      ${AndIf} $2 != ".."
        StrCpy $4 0
        FileOpen $3 "$PLUGINSDIR\safe-folder-before.txt" r
        ${Do}
          ClearErrors
          FileReadUTF16LE $3 $5
          ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
          ${IfThen} $5 == "$2$\n" ${|} StrCpy $4 1 ${|}
        ${LoopUntil} $4 = 1
        FileClose $3
        ${If} $4 = 0
          ${If} ${FileExists} "$INSTDIR\$2\*.*"
            RMDir /r "$INSTDIR\$2"
          ${Else}
            Delete "$INSTDIR\$2"
          ${EndIf}
        ${EndIf}
      ${EndIf}
      FindNext $1 $2
    ${Loop}
    FindClose $1
    ${If} $SafeFolderBefore <> 0
      System::Call 'advapi32::SetFileSecurityW(w "$INSTDIR", i 7, p $SafeFolderBefore)'
    ${EndIf}
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "Setup cannot install into $\"$INSTDIR$\".$\r$\n$\r$\n$SafeFolderReason" /SD IDOK
  SetErrorLevel 2
  Abort "$SafeFolderReason"
FunctionEnd

Function SafeFolderPrepare
  InitPluginsDir
  StrCpy $SafeFolderTouched 0
  StrCpy $SafeFolderMade ""
  StrCpy $SafeFolderBefore 0

  ; A volume without access lists (FAT32, exFAT) lets anyone change any file on it.
  System::Call 'kernel32::GetVolumePathNameW(w "$INSTDIR", w .r1, i ${NSIS_MAX_STRLEN}) i .r0 ?e'
  Pop $R9
  ${If} $0 <> 0
    System::Call 'kernel32::GetVolumeInformationW(w r1, p 0, i 0, p 0, p 0, *i .r2, w .r3, i ${NSIS_MAX_STRLEN}) i .r0 ?e'
    Pop $R9
  ${EndIf}
  ${If} $0 = 0
    StrCpy $0 $R9
    Call SafeFolderErrorText
    StrCpy $SafeFolderReason "Setup cannot tell what kind of drive this folder is on: $0"
    Call SafeFolderStop
  ${EndIf}
  IntOp $2 $2 & 8 ; FILE_PERSISTENT_ACLS
  ${If} $2 = 0
    StrCpy $SafeFolderReason "The drive $1 ($3) keeps no access lists, so anyone could change the uninstaller there, and Uninstall would refuse to run it. Choose a folder on an NTFS drive, such as one under Program Files."
    Call SafeFolderStop
  ${EndIf}

  ; Remember what is there, to leave only that if the setup stops; or the outermost folder
  ; that this setup makes.
  ${If} ${FileExists} "$INSTDIR\*.*"
    FileOpen $0 "$PLUGINSDIR\safe-folder-before.txt" w
    FindFirst $1 $2 "$INSTDIR\*"
    ${DoWhile} $2 != ""
      FileWriteUTF16LE $0 "$2$\n"
      FindNext $1 $2
    ${Loop}
    FindClose $1
    FileClose $0
    ; To put back if the setup stops.
    System::Call 'advapi32::GetFileSecurityW(w "$INSTDIR", i 7, p 0, i 0, *i .r1)'
    ${If} $1 > 0
      System::Alloc $1
      Pop $SafeFolderBefore
      System::Call 'advapi32::GetFileSecurityW(w "$INSTDIR", i 7, p $SafeFolderBefore, i r1, *i .r1) i .r0'
      ${If} $0 = 0
        System::Free $SafeFolderBefore
        StrCpy $SafeFolderBefore 0
      ${EndIf}
    ${EndIf}
  ${Else}
    StrCpy $1 "$INSTDIR"
    ${DoUntil} ${FileExists} "$1\*.*"
      StrCpy $SafeFolderMade "$1"
      ${GetParent} "$1" $1
      ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
    ${Loop}
  ${EndIf}

  StrCpy $SafeFolderTouched 1
  ClearErrors
  CreateDirectory "$INSTDIR"
  ${If} ${Errors}
    StrCpy $SafeFolderReason "Setup cannot make the folder."
    Call SafeFolderStop
  ${EndIf}
  StrCpy $1 "$INSTDIR"
  StrCpy $2 "${SAFE_FOLDER_SDDL}"
  Call SafeFolderSetSecurity
  ${If} $0 <> 0
    Call SafeFolderErrorText
    StrCpy $SafeFolderReason "Setup cannot make the folder writable by administrators alone: $0"
    Call SafeFolderStop
  ${EndIf}
  ; From here on an error means a file that could not be written.
  ClearErrors
FunctionEnd

Function SafeFolderSeal
  ; A silent setup goes on past a File that cannot be written, with the error flag set.
  ${If} ${Errors}
    StrCpy $SafeFolderReason "Setup could not write all of its files into the folder."
    Call SafeFolderStop
  ${EndIf}

  ; A file that was there already keeps its own access list.
  ${ForEach} $3 0 1 + 1
    ${If} $3 = 0
      StrCpy $1 "$INSTDIR\uninstall.exe"
    ${Else}
      StrCpy $1 "$INSTDIR\${SAFE_FOLDER_LAUNCHER}"
    ${EndIf}
    StrCpy $2 "${SAFE_FILE_SDDL}"
    Call SafeFolderSetSecurity
    ${If} $0 <> 0
      Call SafeFolderErrorText
      StrCpy $SafeFolderReason "Setup cannot make $1 writable by administrators alone: $0"
      Call SafeFolderStop
    ${EndIf}
  ${Next}

  ; What the launcher will say, from its own checks.
  File "/oname=$PLUGINSDIR\uninstall-check.exe" "${SAFE_FOLDER_CHECKER}"
  ; "C:\" would end in \", which quotes the quote.
  StrCpy $1 "$INSTDIR"
  StrCpy $2 $1 1 -1
  ${IfThen} $2 == "\" ${|} StrCpy $1 "$1\" ${|}
  nsExec::ExecToStack '"$PLUGINSDIR\uninstall-check.exe" "$1"'
  Pop $0
  Pop $1
  ${If} $0 != 0
    ; Its output is UTF-8, which nsExec took for the ANSI code page.
    System::Call 'kernel32::WideCharToMultiByte(i 0, i 0, w r1, i -1, p 0, i 0, p 0, p 0) i .r2'
    ${If} $2 > 0
      System::Alloc $2
      Pop $3
      System::Call 'kernel32::WideCharToMultiByte(i 0, i 0, w r1, i -1, p r3, i r2, p 0, p 0)'
      System::Call 'kernel32::MultiByteToWideChar(i 65001, i 0, p r3, i -1, w .r1, i ${NSIS_MAX_STRLEN})'
      System::Free $3
    ${EndIf}
    StrCpy $SafeFolderReason "Uninstall would refuse to run from this folder (uninstall-check exit status $0):$\r$\n$1"
    Call SafeFolderStop
  ${EndIf}

  ; One copy: the one installed elsewhere goes, through its own quiet uninstall, before this
  ; setup writes the entry (which that uninstall would otherwise delete).
  ClearErrors
  ReadRegStr $1 HKLM "${SAFE_FOLDER_KEY}" "InstallLocation"
  ReadRegStr $2 HKLM "${SAFE_FOLDER_KEY}" "QuietUninstallString"
  ${If} $1 != ""
  ${AndIf} $1 != "$INSTDIR"
  ${AndIf} ${FileExists} "$1\*.*"
    ${If} $2 == ""
      StrCpy $SafeFolderReason "Another copy is installed in $\"$1$\" and has no quiet uninstall command. Remove it first."
      Call SafeFolderStop
    ${EndIf}
    DetailPrint "Removing the copy in $1"
    ClearErrors
    ExecWait '$2' $0
    ${If} ${Errors}
    ${OrIf} $0 <> 0
      StrCpy $SafeFolderReason "Another copy is installed in $\"$1$\", and its uninstaller ($2) failed (exit status $0). Remove it first."
      Call SafeFolderStop
    ${EndIf}
    ; An uninstaller may go on in a copy of itself; the entry is the last thing it removes.
    StrCpy $3 0
    ${Do}
      ClearErrors
      ReadRegStr $0 HKLM "${SAFE_FOLDER_KEY}" "InstallLocation"
      ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
      IntOp $3 $3 + 1
      ${If} $3 >= 600
        StrCpy $SafeFolderReason "Another copy is installed in $\"$1$\", and its uninstaller did not remove it within a minute. Remove it first."
        Call SafeFolderStop
      ${EndIf}
      Sleep 100
    ${Loop}
  ${EndIf}

  ${If} $SafeFolderBefore <> 0
    System::Free $SafeFolderBefore
    StrCpy $SafeFolderBefore 0
  ${EndIf}
  ClearErrors
FunctionEnd

!endif
