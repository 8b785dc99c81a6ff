; The Windows installer, for makensis (NSIS 3). Built by cmake/windows_installer.cmake
; with VERSION, VERSION4 (four numbers), FILES (the folder holding
; vortrim.exe, vortrim-drop.cmd, vortrim.html, DEMO.KAA, README.txt and
; LICENSE.txt) and OUTFILE.
;
; For the current user without administrator rights (the default, into the
; per-user programs folder), or for all users with /AllUsers; silent with
; /S. It puts the program's folder on that user's (or the machine's) PATH
; once, adds a Start menu entry "vortrim" that opens the page in the
; browser, adds "Extract patches here" and "List patches" to the
; right-click menu of .KAA files and an "Open with" entry, without taking
; the extension from a program that owns it, and shows in Apps & features.
; Uninstalling takes away exactly what it added.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
; No file times in the installer: the same sources give the same bytes.
SetDateSave off
RequestExecutionLevel user
Name "vortrim ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "vortrim ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion ${VERSION4}
VIAddVersionKey /LANG=0 ProductName "vortrim"
VIAddVersionKey /LANG=0 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 FileVersion "${VERSION}"
VIAddVersionKey /LANG=0 FileDescription "vortrim setup: K5000 bank lister and patch extractor"
VIAddVersionKey /LANG=0 LegalCopyright "The vortrim developers, MIT licence"

!include FileFunc.nsh
!include LogicLib.nsh
!include WinMessages.nsh
!include WordFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\vortrim"
!define VERBS "Software\Classes\SystemFileAssociations\.kaa\shell"
!define PROGID "Software\Classes\vortrim.bank"
; Windows' own drop target for programs: what receives files dropped on one.
!define EXE_DROP_TARGET "{86C86720-42A0-1069-A2E8-08002B30309D}"
!define USER_ENVIRONMENT "Environment"
!define MACHINE_ENVIRONMENT "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
; makensis' strings hold this many characters, the terminating NUL included.
!define MAX_STRING 1024
!define MAX_BYTES 2048

Var AllUsers   ; 1 with /AllUsers
Var PathType   ; the registry type of PATH as found: 1 REG_SZ, 2 REG_EXPAND_SZ
Var EnvKey     ; where PATH is kept for the mode, under SHCTX
Var EnvRoot    ; SHCTX as the handle RegGetValueW takes

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles
LicenseData "${FILES}\LICENSE.txt"

; PATH for the mode, read, written and searched; once for the installer and
; once, as "un." functions, for the uninstaller.
!macro PATH_FUNCTIONS UN
; Reads PATH for the mode into $0: "" and no error where there is none; the
; error flag where it is longer than a makensis string, which must then be
; left as it is. $PathType gets its type (REG_EXPAND_SZ for a new one).
Function ${UN}ReadPath
  StrCpy $PathType 2
  StrCpy $0 ""
  ; Its type and size first: a value that does not fit a string must not
  ; be read, or it would come back cut or empty.
  System::Call 'advapi32::RegGetValueW(p $EnvRoot, w "$EnvKey", w "Path", i 0x1000ffff, *i .r1, p 0, *i 0 .r3) i .r2'
  ClearErrors
  ${If} $2 != 0
    Return  ; no PATH of its own yet
  ${EndIf}
  StrCpy $PathType $1
  ; Bytes, with the terminating NUL.
  ${If} $3 > ${MAX_BYTES}
    SetErrors
    Return
  ${EndIf}
  ReadRegStr $0 SHCTX $EnvKey "Path"
FunctionEnd

; Writes $0 as PATH for the mode, with the type it had; an empty one is
; removed, as it was before the install made it.
Function ${UN}WritePath
  ${If} $0 == ""
    DeleteRegValue SHCTX $EnvKey "Path"
  ${ElseIf} $PathType == 1
    WriteRegStr SHCTX $EnvKey "Path" $0
  ${Else}
    WriteRegExpandStr SHCTX $EnvKey "Path" $0
  ${EndIf}
  ; Programs started from now on see the change.
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
FunctionEnd

; The position in $0 (PATH) of the entry that is exactly $INSTDIR, case
; ignored, into $3; -1 where there is none.
Function ${UN}FindEntry
  StrLen $4 $0
  StrLen $5 $INSTDIR
  StrCpy $3 0
  ${Do}
    ${If} $3 > $4
      StrCpy $3 -1
      Return
    ${EndIf}
    ; The entry from $3 to the next ";" or the end.
    StrCpy $6 $3
    ${Do}
      StrCpy $7 $0 1 $6
      ${If} $7 == ";"
      ${OrIf} $7 == ""
        ${ExitDo}
      ${EndIf}
      IntOp $6 $6 + 1
    ${Loop}
    IntOp $8 $6 - $3
    StrCpy $7 $0 $8 $3
    ${If} $7 == $INSTDIR
      Return
    ${EndIf}
    IntOp $3 $6 + 1
  ${Loop}
FunctionEnd
!macroend
!insertmacro PATH_FUNCTIONS ""
!insertmacro PATH_FUNCTIONS "un."

!macro MODE_FROM_COMMAND_LINE
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AllUsers" $1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
    SetShellVarContext all
    StrCpy $EnvKey "${MACHINE_ENVIRONMENT}"
    StrCpy $EnvRoot -2147483646  ; HKEY_LOCAL_MACHINE
  ${Else}
    StrCpy $AllUsers 0
    SetShellVarContext current
    StrCpy $EnvKey "${USER_ENVIRONMENT}"
    StrCpy $EnvRoot -2147483647  ; HKEY_CURRENT_USER
  ${EndIf}
!macroend

Function .onInit
  !insertmacro MODE_FROM_COMMAND_LINE
  ${If} $INSTDIR == ""
    ${If} $AllUsers == 1
      StrCpy $INSTDIR "$PROGRAMFILES64\vortrim"
    ${Else}
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\vortrim"
    ${EndIf}
  ${EndIf}
FunctionEnd

; Registry keys that may not be there before the install: each that the
; install makes is noted in the uninstall key, and only those are removed
; again, and only while empty.
!define MADE_KEYS "Software\Classes|Software\Classes\SystemFileAssociations|Software\Classes\SystemFileAssociations\.kaa|${VERBS}|Software\Classes\.kaa|Software\Classes\.kaa\OpenWithProgids|Software\Microsoft\Windows\CurrentVersion\Uninstall"

; Splits MADE_KEYS at "|" into a stack of keys, the last first.
!macro PUSH_KEYS
  Push ""
  StrCpy $R1 "${MADE_KEYS}"
  ${Do}
    ${WordFind} $R1 "|" "+1" $R2
    Push $R2
    StrLen $R3 $R2
    IntOp $R3 $R3 + 1
    StrCpy $R1 $R1 "" $R3
  ${LoopUntil} $R1 == ""
!macroend

Section "vortrim"
  ; Which of the keys are missing, before anything is written.
  StrCpy $R5 ""
  !insertmacro PUSH_KEYS
  ${Do}
    Pop $R2
    ${If} $R2 == ""
      ${ExitDo}
    ${EndIf}
    ClearErrors
    EnumRegKey $R4 SHCTX $R2 0
    ${If} ${Errors}
      StrCpy $R5 "$R5$R2|"
    ${EndIf}
  ${Loop}

  SetOutPath $INSTDIR
  ClearErrors
  File "${FILES}\vortrim.exe"
  File "${FILES}\vortrim-drop.cmd"
  ; The same script: by this name it lists the banks given to it.
  File "/oname=vortrim-list.cmd" "${FILES}\vortrim-drop.cmd"
  File "${FILES}\vortrim.html"
  File "${FILES}\DEMO.KAA"
  File "${FILES}\README.txt"
  File "${FILES}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    MessageBox MB_ICONSTOP "Could not write to $INSTDIR. Installing for all users needs an administrator's rights." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}

  ; The page, for whoever never opens a terminal: a Start menu entry that
  ; opens it in the default browser (the user's menu, or everyone's).
  CreateShortcut "$SMPROGRAMS\vortrim.lnk" "$INSTDIR\vortrim.html" "" "" 0 SW_SHOWNORMAL "" \
    "vortrim: list K5000 banks and save their patches, in your browser"

  ; The right-click menu of .KAA files, and "Open with": the extension's
  ; own default is never set, so a program that owns it keeps it. The verbs
  ; take any number of banks (MultiSelectModel "Player"; Windows' default
  ; takes 15) and hand them all to one script in one window: a DropTarget
  ; with the executable drop target drops the selection on the script that
  ; the verb's command names, as Explorer does when files are dropped on it.
  StrCpy $0 '"$INSTDIR\vortrim-drop.cmd" "%1"'
  StrCpy $1 '"$INSTDIR\vortrim-list.cmd" "%1"'
  WriteRegStr SHCTX "${VERBS}\vortrim.extract" "" "Extract patches here"
  WriteRegStr SHCTX "${VERBS}\vortrim.extract" "MultiSelectModel" "Player"
  WriteRegStr SHCTX "${VERBS}\vortrim.extract\command" "" $0
  WriteRegStr SHCTX "${VERBS}\vortrim.extract\DropTarget" "Clsid" "${EXE_DROP_TARGET}"
  WriteRegStr SHCTX "${VERBS}\vortrim.list" "" "List patches"
  WriteRegStr SHCTX "${VERBS}\vortrim.list" "MultiSelectModel" "Player"
  WriteRegStr SHCTX "${VERBS}\vortrim.list\command" "" $1
  WriteRegStr SHCTX "${VERBS}\vortrim.list\DropTarget" "Clsid" "${EXE_DROP_TARGET}"
  WriteRegStr SHCTX "${PROGID}" "" "K5000 bank"
  WriteRegStr SHCTX "${PROGID}\shell\open" "" "Extract patches here"
  WriteRegStr SHCTX "${PROGID}\shell\open\command" "" $0
  WriteRegStr SHCTX "Software\Classes\.kaa\OpenWithProgids" "vortrim.bank" ""

  ; Apps & features.
  ${If} $AllUsers == 1
    StrCpy $1 " /AllUsers"
  ${Else}
    StrCpy $1 ""
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "vortrim"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "The vortrim developers"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vortrim.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"$1'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S$1'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "MadeKeys" $R5
  ${GetSize} "$INSTDIR" "/S=0K" $2 $3 $4
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $2

  ; The folder on PATH, once. One longer than makensis can hold is never
  ; cut or emptied: it is left as it is, and the user told.
  Call ReadPath
  ${If} ${Errors}
    DetailPrint "PATH is too long to change safely: it was left as it is."
    MessageBox MB_ICONINFORMATION "Your PATH is longer than this installer can change safely, so it was left as it is. To run vortrim by name, add $INSTDIR to it yourself." /SD IDOK
  ${Else}
    Call FindEntry
    ${If} $3 == -1
      ${If} $0 == ""
        StrCpy $0 $INSTDIR
      ${Else}
        StrCpy $0 "$0;$INSTDIR"
      ${EndIf}
      StrLen $2 $0
      ${If} $2 < ${MAX_STRING}
        Call WritePath
      ${Else}
        DetailPrint "PATH would be too long: it was left as it is."
        MessageBox MB_ICONINFORMATION "Your PATH would grow too long for this installer, so it was left as it is. To run vortrim by name, add $INSTDIR to it yourself." /SD IDOK
      ${EndIf}
    ${EndIf}
  ${EndIf}
SectionEnd

Function un.onInit
  !insertmacro MODE_FROM_COMMAND_LINE
FunctionEnd

Section "Uninstall"
  ; The PATH entry this folder has, with the ";" that went before it (or,
  ; first in line, after it): PATH is then as it was before the install.
  Call un.ReadPath
  ${IfNot} ${Errors}
    Call un.FindEntry
    ${If} $3 != -1
      StrLen $5 $INSTDIR
      IntOp $6 $3 + $5
      ${If} $3 > 0
        IntOp $7 $3 - 1
        StrCpy $8 $0 $7
        StrCpy $9 $0 "" $6
      ${Else}
        StrCpy $8 ""
        IntOp $6 $6 + 1
        StrCpy $9 $0 "" $6
      ${EndIf}
      StrCpy $0 "$8$9"
      Call un.WritePath
    ${EndIf}
  ${EndIf}

  ReadRegStr $R5 SHCTX "${UNINSTALL_KEY}" "MadeKeys"
  DeleteRegKey SHCTX "${VERBS}\vortrim.extract"
  DeleteRegKey SHCTX "${VERBS}\vortrim.list"
  DeleteRegKey SHCTX "${PROGID}"
  DeleteRegValue SHCTX "Software\Classes\.kaa\OpenWithProgids" "vortrim.bank"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; The keys the install made, deepest first, while nothing else uses them.
  !insertmacro PUSH_KEYS
  ${Do}
    Pop $R2
    ${If} $R2 == ""
      ${ExitDo}
    ${EndIf}
    ${WordFind} "|$R5" "|$R2|" "E+1" $R3
    ${IfNot} ${Errors}
      DeleteRegKey /ifnosubkeys /ifnovalues SHCTX $R2
    ${EndIf}
  ${Loop}

  Delete "$SMPROGRAMS\vortrim.lnk"
  Delete "$INSTDIR\vortrim.exe"
  Delete "$INSTDIR\vortrim-drop.cmd"
  Delete "$INSTDIR\vortrim-list.cmd"
  Delete "$INSTDIR\vortrim.html"
  Delete "$INSTDIR\DEMO.KAA"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The per-user programs folder, if this made it and nothing else is there.
  ${If} $AllUsers != 1
    RMDir "$LOCALAPPDATA\Programs"
  ${EndIf}
SectionEnd
