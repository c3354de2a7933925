; Nox-Setup.exe: installs Nox, stores the administrator password, registers
; the login program as the Windows shell and writes an uninstaller that takes
; everything back through Clearway.exe.
;
; Built by CMake (target "setup"), never by hand:
;   makensis -DNOX_TARGET=amd64-unicode|x86-ansi -DNOX_VERSION=1.4.0
;            -DNOX_BIN=<folder of the programs> -DNOX_CLEARWAY=<Clearway.exe>
;            -DNOX_README=<README.md> -DNOX_OUTPUT=<Nox-Setup.exe> nox.nsi
;
; Command line of the installer:
;   /S  /D=FOLDER (last)  /PASSWORD=TEXT  /NOPASSWORD  /SHELL=0|1  /MASTER=FOLDER
; A silent install with no password stored and none given is refused unless
; /NOPASSWORD says so: without a password any command line uninstalls.
; of the uninstaller (Uninstall.exe in the install folder):
;   /S  /PASSWORD=TEXT
; Exit codes: 0 done, 1 cancelled or failed, 2 refused (bad password or bad
; command line).
;
; On Windows NT the installer also registers and starts NoxService.exe, the
; service that does the login's protected work; the uninstaller stops and
; removes it first. Windows 95/98 get neither the file nor the service.

!ifndef NOX_TARGET | NOX_VERSION | NOX_BIN | NOX_CLEARWAY | NOX_README | NOX_OUTPUT
  !error "Build Nox-Setup.exe through CMake: cmake --build --preset mingw64 --target setup"
!endif

Target ${NOX_TARGET}
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!include LogicLib.nsh
!include WinVer.nsh
!include nsDialogs.nsh

!define kUninstallKey "Software\Microsoft\Windows\CurrentVersion\Uninstall\Nox"
!define kNoxKey "Software\Quillon\Nox"
!define kWinlogonKey "Software\Microsoft\Windows NT\CurrentVersion\Winlogon"
!define kCore "UninstallCore.exe"
; One installer or uninstaller at a time on a machine.
!define kMutex "Global\Quillon.Nox.Setup"
; What Clearway gets when no password is stored and none was given: any
; non-empty text lets it run then (it must not end in "/U", which would skip
; the table files).
!define kNoPassword "none"
!define kOk 0
!define kFailed 1
!define kRefused 2

Name "Nox"
OutFile "${NOX_OUTPUT}"
BrandingText "Nox ${NOX_VERSION}"
!if ${NOX_TARGET} == amd64-unicode
  InstallDir "$PROGRAMFILES64\Nox"
!else
  InstallDir "$PROGRAMFILES\Nox"
!endif
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${NOX_VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Nox"
VIAddVersionKey /LANG=1033 "CompanyName" "Quillon"
VIAddVersionKey /LANG=1033 "FileDescription" "Nox Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${NOX_VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${NOX_VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) Quillon"

Var password     ; /PASSWORD= or the password page; empty: none given
Var shell        ; "1" registers the login program as the shell
Var master       ; /MASTER=, empty when not given
Var nopassword   ; "1": /NOPASSWORD, a silent install may store none
Var asked_folder ; /D=, empty when not given
Var mutex
Var page_first   ; the password page's two fields
Var page_second

; ------------------------------------------------------------ shared code

; Registry access in the 64-bit view for the 64-bit installer, so the
; values land where the 64-bit programs read them.
!macro UseNativeRegistryView
  !if ${NOX_TARGET} == amd64-unicode
    SetRegView 64
  !endif
!macroend

; Leaves with the exit code after a message (shown only when not silent).
!macro Leave CODE MESSAGE
  MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}" /SD IDOK
  SetErrorLevel ${CODE}
  Quit
!macroend

!macro DefineSharedFunctions UN
  ; Takes the one-installer-at-a-time mutex; leaves with 1 when it is taken.
  Function ${UN}TakeMutex
    System::Call 'kernel32::CreateMutex(p 0, i 0, t "${kMutex}") p .r0 ?e'
    Pop $1
    StrCpy $mutex $0
    ${If} $1 = 183 ; ERROR_ALREADY_EXISTS
      !insertmacro Leave ${kFailed} "Nox Setup is already running. Wait until it has finished."
    ${EndIf}
  FunctionEnd

  ; Splits the command line into switches and checks each. Quotes group
  ; blanks into a switch ("/PASSWORD=two words") and are dropped; "/D=" and
  ; "_?=" take the rest of the line, as NSIS itself reads them. Leaves with 2
  ; on a switch it does not know or an empty value.
  Function ${UN}ParseCommandLine
    ; $CMDLINE ends before a "/D=", which NSIS cuts off: the whole text.
    System::Call 'kernel32::GetCommandLine() t .r0'
    StrCpy $1 0 ; position
    StrLen $2 $0
    ; Skip the program's own name.
    StrCpy $3 $0 1
    ${If} $3 == '"'
      IntOp $1 $1 + 1
      ${Do}
        ${IfThen} $1 >= $2 ${|} ${ExitDo} ${|}
        StrCpy $3 $0 1 $1
        IntOp $1 $1 + 1
        ${IfThen} $3 == '"' ${|} ${ExitDo} ${|}
      ${Loop}
    ${Else}
      ${Do}
        ${IfThen} $1 >= $2 ${|} ${ExitDo} ${|}
        StrCpy $3 $0 1 $1
        ${IfThen} $3 == ' ' ${|} ${ExitDo} ${|}
        IntOp $1 $1 + 1
      ${Loop}
    ${EndIf}
    ${Do}
      ; Blanks between switches.
      ${Do}
        ${IfThen} $1 >= $2 ${|} ${ExitDo} ${|}
        StrCpy $3 $0 1 $1
        ${IfThen} $3 != ' ' ${|} ${ExitDo} ${|}
        IntOp $1 $1 + 1
      ${Loop}
      ${IfThen} $1 >= $2 ${|} ${ExitDo} ${|}
      StrCpy $3 $0 3 $1
      ${If} $3 S== "/D="
        IntOp $1 $1 + 3
        StrCpy $asked_folder $0 "" $1
        ${ExitDo}
      ${EndIf}
      ${IfThen} $3 S== "_?=" ${|} ${ExitDo} ${|}
      ; One switch, up to a blank outside quotes.
      StrCpy $4 "" ; the switch
      StrCpy $5 0  ; inside quotes
      ${Do}
        ${IfThen} $1 >= $2 ${|} ${ExitDo} ${|}
        StrCpy $3 $0 1 $1
        ${If} $3 == ' '
        ${AndIf} $5 = 0
          ${ExitDo}
        ${EndIf}
        IntOp $1 $1 + 1
        ${If} $3 == '"'
          IntOp $5 1 - $5
        ${Else}
          StrCpy $4 "$4$3"
        ${EndIf}
      ${Loop}
      Push $4
      Call ${UN}TakeSwitch
    ${Loop}
  FunctionEnd

  ; Returns the stored-password check of the text on the stack: -1 it is the
  ; stored password, 0 it differs or is empty, -2 no password is stored.
  Function ${UN}CheckPassword
    Exch $0
    Push $1
    System::Call '$PLUGINSDIR\Tessel.dll::CheckPassword(m r0) i .r1 ?u'
    StrCpy $0 $1
    Pop $1
    Exch $0
  FunctionEnd

  ; Extracts the password store's library for the calls above.
  Function ${UN}UnpackTessel
    InitPluginsDir
    SetOutPath $PLUGINSDIR
    File "${NOX_BIN}\Tessel.dll"
  FunctionEnd

  ; Whether the shell value (first on the stack) names explorer.exe in the
  ; folder (second), quoted or not, letter case ignored.
  Function ${UN}IsOwnShell
    Exch $0 ; shell value
    Exch
    Exch $1 ; folder
    StrCpy $1 "$1\explorer.exe"
    ${If} $0 == $1
    ${OrIf} $0 == '"$1"'
      StrCpy $0 1
    ${Else}
      StrCpy $0 0
    ${EndIf}
    Pop $1
    Exch $0
  FunctionEnd

  ; The current shell value: Winlogon "Shell" on NT, SYSTEM.INI on 95/98.
  Function ${UN}ReadShell
    Push $0
    ${If} ${IsNT}
      ReadRegStr $0 HKLM "${kWinlogonKey}" "Shell"
    ${Else}
      ReadINIStr $0 "$WINDIR\SYSTEM.INI" "boot" "shell"
    ${EndIf}
    Exch $0
  FunctionEnd

  Function ${UN}WriteShell
    Exch $0
    ${If} ${IsNT}
      WriteRegStr HKLM "${kWinlogonKey}" "Shell" $0
    ${Else}
      WriteINIStr "$WINDIR\SYSTEM.INI" "boot" "shell" $0
      FlushINI "$WINDIR\SYSTEM.INI"
    ${EndIf}
    Pop $0
  FunctionEnd
!macroend

!insertmacro DefineSharedFunctions ""
!insertmacro DefineSharedFunctions "un."

; ------------------------------------------------------------ installer

; The shell value that names the installed explorer.exe: its full path,
; quoted when it has a blank.
Function OwnShellValue
  Exch $0 ; install folder
  Push $1
  StrCpy $0 "$0\explorer.exe"
  Push $0
  Call HasBlank
  Pop $1
  ${If} $1 = 1
    StrCpy $0 '"$0"'
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

Function HasBlank
  Exch $0
  Push $1
  Push $2
  StrLen $1 $0
  ${Do}
    ${If} $1 = 0
      StrCpy $0 0
      ${ExitDo}
    ${EndIf}
    IntOp $1 $1 - 1
    StrCpy $2 $0 1 $1
    ${If} $2 == ' '
      StrCpy $0 1
      ${ExitDo}
    ${EndIf}
  ${Loop}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

Page directory
Page custom PasswordPageShow PasswordPageLeave
Page instfiles

Function TakeSwitch
  Pop $6
  StrCpy $7 $6 10
  StrCpy $8 $6 "" 10
  ${If} $6 S== "/S"
  ${OrIf} $6 S== "/NCRC"
    Return
  ${ElseIf} $6 == "/NOPASSWORD"
    StrCpy $nopassword 1
  ${ElseIf} $6 == "/SHELL=0"
    StrCpy $shell 0
  ${ElseIf} $6 == "/SHELL=1"
    StrCpy $shell 1
  ${ElseIf} $7 == "/PASSWORD="
    ${If} $8 == ""
      !insertmacro Leave ${kRefused} "/PASSWORD= needs a password."
    ${EndIf}
    StrCpy $password $8
  ${ElseIf} $6 == "/MASTER="
    !insertmacro Leave ${kRefused} "/MASTER= needs a folder."
  ${Else}
    StrCpy $7 $6 8
    StrCpy $8 $6 "" 8
    ${If} $7 == "/MASTER="
      StrCpy $master $8
    ${Else}
      !insertmacro Leave ${kRefused} "Unknown switch: $6$\r$\nSwitches: /S /D=FOLDER /PASSWORD=TEXT /NOPASSWORD /SHELL=0 /MASTER=FOLDER"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function .onInit
  !insertmacro UseNativeRegistryView
  StrCpy $shell 1
  Call TakeMutex
  Call ParseCommandLine
  Call UnpackTessel
  Call RequireSilentPassword
FunctionEnd

; A silent install leaves with 2 when no password is stored and none is
; given, unless /NOPASSWORD asked for exactly that.
Function RequireSilentPassword
  ${IfNot} ${Silent}
  ${OrIf} $password != ""
  ${OrIf} $nopassword == 1
    Return
  ${EndIf}
  Push ${kNoPassword}
  Call CheckPassword
  Pop $0
  ${If} $0 = -2
    !insertmacro Leave ${kRefused} "No administrator password is stored and none was given: give /PASSWORD=TEXT, or /NOPASSWORD to let any command line uninstall Nox. Nothing was installed."
  ${EndIf}
FunctionEnd

; Two password fields, filled with /PASSWORD= when it was given; left empty
; the password stored before stays (only when there is one).
Function PasswordPageShow
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 24u "The administrator password protects the removal of Nox. Enter it twice (at most 80 characters). Leave both empty to keep the password stored before."
  Pop $0
  ${NSD_CreateLabel} 0 32u 30% 12u "Password:"
  Pop $0
  ${NSD_CreatePassword} 32% 30u 60% 12u $password
  Pop $page_first
  ${NSD_CreateLabel} 0 50u 30% 12u "Repeat it:"
  Pop $0
  ${NSD_CreatePassword} 32% 48u 60% 12u $password
  Pop $page_second
  nsDialogs::Show
FunctionEnd

Function PasswordPageLeave
  ${NSD_GetText} $page_first $0
  ${NSD_GetText} $page_second $1
  ${If} $0 S!= $1
    MessageBox MB_OK|MB_ICONEXCLAMATION "The two passwords differ."
    Abort
  ${EndIf}
  ${If} $0 == ""
    Push ${kNoPassword}
    Call CheckPassword
    Pop $1
    ${If} $1 = -2
      MessageBox MB_OK|MB_ICONEXCLAMATION "No administrator password is stored yet: choose one."
      Abort
    ${EndIf}
  ${EndIf}
  StrCpy $password $0
FunctionEnd

; Stores $password through Tessel.dll and reads it back. Leaves with 2 when
; the store refuses it (nothing is stored then, and the install folder goes
; again when it is empty), with 1 when it does not read back.
Function StorePassword
  StrLen $0 $password
  ${If} $0 > 80
    RMDir $INSTDIR
    !insertmacro Leave ${kRefused} "The password is longer than 80 characters. Nothing was installed."
  ${EndIf}
  ; SetPassword ciphers the text in place: give it a buffer of its own.
  StrCpy $0 $password
  System::Call '*(&m${NSIS_MAX_STRLEN} r0) p .r1'
  System::Call '$PLUGINSDIR\Tessel.dll::SetPassword(p r1) i .r2 ?u'
  System::Free $1
  ${If} $2 = 0
    RMDir $INSTDIR
    !insertmacro Leave ${kRefused} "This password cannot be stored (the password store refuses it). Choose another one. Nothing was installed."
  ${EndIf}
  Push $password
  Call CheckPassword
  Pop $2
  ${If} $2 != -1
    !insertmacro Leave ${kFailed} "The password was stored but does not read back. Nothing was installed."
  ${EndIf}
FunctionEnd

Function CreateInstallFolder
  ; NSIS puts its default folder in place of a /D= it finds unusable.
  ${If} $asked_folder != ""
  ${AndIf} $asked_folder != $INSTDIR
  ${AndIf} $asked_folder != "$INSTDIR\"
    !insertmacro Leave ${kFailed} "The folder $asked_folder cannot be used. Nothing was installed."
  ${EndIf}
  ClearErrors
  CreateDirectory $INSTDIR
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$INSTDIR\*.*"
    !insertmacro Leave ${kFailed} "The folder $INSTDIR cannot be created. Nothing was installed."
  ${EndIf}
FunctionEnd

Function InstallFiles
  SetOutPath $INSTDIR
  SetOverwrite on
  File "${NOX_BIN}\explorer.exe"
  File "${NOX_CLEARWAY}"
  File "${NOX_BIN}\Tessel.dll"
  File "${NOX_BIN}\CLASPS.dll"
  File "${NOX_BIN}\noxadmin.exe"
  File "${NOX_BIN}\pelorus.exe"
  ${If} ${IsNT}
    File "${NOX_BIN}\NoxService.exe"
  ${EndIf}
  File /oname=README.txt "${NOX_README}"
  File /oname=Uninstall.exe "${NOX_BIN}\nox_uninstall_launcher.exe"
  WriteUninstaller "$INSTDIR\${kCore}"
FunctionEnd

Function WriteUninstallEntry
  WriteRegStr HKLM "${kUninstallKey}" "DisplayName" "Nox"
  WriteRegStr HKLM "${kUninstallKey}" "Publisher" "Quillon"
  WriteRegStr HKLM "${kUninstallKey}" "DisplayVersion" "${NOX_VERSION}"
  WriteRegStr HKLM "${kUninstallKey}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${kUninstallKey}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${kUninstallKey}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${kUninstallKey}" "NoModify" 1
  WriteRegDWORD HKLM "${kUninstallKey}" "NoRepair" 1
FunctionEnd

Function WriteMasterFolder
  ${IfThen} $master == "" ${|} Return ${|}
  nsExec::Exec '"$INSTDIR\noxadmin.exe" settings set --master-folder "$master" --copy-from-master yes'
  Pop $0
  ${If} $0 != 0
    !insertmacro Leave ${kFailed} "noxadmin could not write the master folder $master into NoxSettings.TBL (exit $0)."
  ${EndIf}
FunctionEnd

; NT: a service of an earlier install is stopped and removed before its
; program is replaced (a running program cannot be overwritten).
Function RemoveEarlierService
  ${IfNot} ${IsNT}
  ${OrIfNot} ${FileExists} "$INSTDIR\NoxService.exe"
    Return
  ${EndIf}
  nsExec::Exec '"$INSTDIR\NoxService.exe" /uninstall'
  Pop $0
  ${If} $0 != 0
    !insertmacro Leave ${kFailed} "The running NoxService could not be stopped (exit $0). Nothing was installed."
  ${EndIf}
FunctionEnd

; NT: registers the installed NoxService.exe and starts it.
Function InstallService
  ${IfNot} ${IsNT}
    Return
  ${EndIf}
  DetailPrint "Installing and starting NoxService"
  nsExec::Exec '"$INSTDIR\NoxService.exe" /install'
  Pop $0
  ${If} $0 != 0
    !insertmacro Leave ${kFailed} "NoxService could not be installed (exit $0)."
  ${EndIf}
  nsExec::Exec '"$SYSDIR\sc.exe" start NoxService'
  Pop $0
  ${If} $0 != 0
    !insertmacro Leave ${kFailed} "NoxService could not be started (sc.exe exit $0)."
  ${EndIf}
FunctionEnd

; Makes the installed explorer.exe the shell. The value it replaces is saved
; once: installing again keeps the first saved value, and Nox's own path (of
; this or an earlier folder) is never saved, the Windows shell instead.
Function RegisterShell
  ${IfThen} $shell != 1 ${|} Return ${|}
  Push $INSTDIR
  Call OwnShellValue
  Pop $0
  ClearErrors
  ReadRegStr $1 HKLM "${kNoxKey}" "PreviousShell"
  ${If} ${Errors}
    Call ReadShell
    Pop $1
    ReadRegStr $2 HKLM "${kUninstallKey}" "InstallLocation"
    Push $INSTDIR
    Push $1
    Call IsOwnShell
    Pop $3
    ${If} $2 != ""
      Push $2
      Push $1
      Call IsOwnShell
      Pop $4
      IntOp $3 $3 | $4
    ${EndIf}
    ${If} $1 == ""
    ${OrIf} $3 = 1
      StrCpy $1 "explorer.exe"
    ${EndIf}
    WriteRegStr HKLM "${kNoxKey}" "PreviousShell" $1
  ${EndIf}
  Push $0
  Call WriteShell
FunctionEnd

; The order keeps a failure from leaving the machine half set up: nothing
; before the folder and the password are settled, the shell only once every
; file it needs is in place.
Section "Nox"
  Call CreateInstallFolder
  ${If} $password != ""
    Call StorePassword
  ${EndIf}
  Call RemoveEarlierService
  Call InstallFiles
  Call WriteUninstallEntry
  Call WriteMasterFolder
  Call InstallService
  Call RegisterShell
  SetErrorLevel ${kOk}
SectionEnd

; ------------------------------------------------------------ uninstaller

UninstPage custom un.PasswordPageShow un.PasswordPageLeave
UninstPage instfiles

Function un.TakeSwitch
  Pop $6
  StrCpy $7 $6 10
  StrCpy $8 $6 "" 10
  ${If} $6 S== "/S"
  ${OrIf} $6 S== "/NCRC"
    Return
  ${ElseIf} $7 == "/PASSWORD="
    ${If} $8 == ""
      !insertmacro Leave ${kRefused} "/PASSWORD= needs a password."
    ${EndIf}
    StrCpy $password $8
  ${Else}
    !insertmacro Leave ${kRefused} "Unknown switch: $6$\r$\nSwitches: /S /PASSWORD=TEXT"
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro UseNativeRegistryView
  Call un.TakeMutex
  Call un.ParseCommandLine
  Call un.UnpackTessel
  ; The uninstaller carries its own Clearway.exe, so that Nox can be removed
  ; even when the installed files were deleted by hand.
  File "${NOX_CLEARWAY}"
FunctionEnd

Function un.PasswordPageShow
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 24u "Enter the administrator password to remove Nox and every restriction it imposes."
  Pop $0
  ${NSD_CreatePassword} 0 30u 60% 12u $password
  Pop $page_first
  nsDialogs::Show
FunctionEnd

Function un.PasswordPageLeave
  ${NSD_GetText} $page_first $password
FunctionEnd

; Leaves with 2 unless the password is the stored one, or none is stored.
Function un.CheckAdministrator
  ${If} $password == ""
    Push ${kNoPassword}
  ${Else}
    Push $password
  ${EndIf}
  Call un.CheckPassword
  Pop $0
  ${If} $0 = 0
    ${If} $password == ""
      !insertmacro Leave ${kRefused} "The administrator password is needed to remove Nox (/PASSWORD=). Nothing was changed."
    ${EndIf}
    !insertmacro Leave ${kRefused} "Invalid password. Nothing was changed."
  ${EndIf}
FunctionEnd

Function un.RunClearway
  StrCpy $0 $password
  ${IfThen} $0 == "" ${|} StrCpy $0 ${kNoPassword} ${|}
  DetailPrint "Taking back every restriction (Clearway.exe)"
  ClearErrors
  ExecWait '"$PLUGINSDIR\Clearway.exe" $0' $1
  ${If} ${Errors}
  ${OrIf} $1 != 0
    !insertmacro Leave ${kFailed} "Clearway.exe failed (exit $1). Nox is still installed."
  ${EndIf}
FunctionEnd

; NT: stops and removes the service, before anything else is taken back, so
; that it logs nobody in or off meanwhile. Its program must still be there.
Function un.RemoveService
  ${IfNot} ${IsNT}
  ${OrIfNot} ${FileExists} "$INSTDIR\NoxService.exe"
    Return
  ${EndIf}
  DetailPrint "Stopping and removing NoxService"
  nsExec::Exec '"$INSTDIR\NoxService.exe" /uninstall'
  Pop $0
  ${If} $0 != 0
    !insertmacro Leave ${kFailed} "NoxService could not be stopped and removed (exit $0). Nox is still installed."
  ${EndIf}
FunctionEnd

; Puts the saved shell back, unless the shell no longer names Nox (then it
; was changed since and stays as it is).
Function un.RestoreShell
  ClearErrors
  ReadRegStr $0 HKLM "${kNoxKey}" "PreviousShell"
  ${IfThen} ${Errors} ${|} Return ${|}
  Call un.ReadShell
  Pop $1
  Push $INSTDIR
  Push $1
  Call un.IsOwnShell
  Pop $2
  ${If} $2 = 1
    Push $0
    Call un.WriteShell
  ${EndIf}
  DeleteRegValue HKLM "${kNoxKey}" "PreviousShell"
  DeleteRegKey /ifempty HKLM "${kNoxKey}"
FunctionEnd

; Only the files the installer put there: whatever else is in the folder
; stays, and so does the folder then.
Function un.RemoveFiles
  Delete "$INSTDIR\explorer.exe"
  Delete "$INSTDIR\Clearway.exe"
  Delete "$INSTDIR\Tessel.dll"
  Delete "$INSTDIR\CLASPS.dll"
  Delete "$INSTDIR\noxadmin.exe"
  Delete "$INSTDIR\pelorus.exe"
  Delete "$INSTDIR\NoxService.exe"
  Delete "$INSTDIR\README.txt"
  Delete /REBOOTOK "$INSTDIR\${kCore}"
  Delete /REBOOTOK "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK $INSTDIR
FunctionEnd

; The administrator password's key and the keys of ours above it, when
; nothing else is left in them.
Function un.RemoveOwnKeys
  DeleteRegKey HKLM "${kNoxKey}\CurrentVersion\Wardkeep"
  DeleteRegKey /ifempty HKLM "${kNoxKey}\CurrentVersion"
  DeleteRegKey /ifempty HKLM "${kNoxKey}"
  DeleteRegKey /ifempty HKLM "Software\Quillon"
FunctionEnd

Section "Uninstall"
  Call un.CheckAdministrator
  Call un.RemoveService
  Call un.RunClearway
  Call un.RestoreShell
  Call un.RemoveOwnKeys
  Call un.RemoveFiles
  DeleteRegKey HKLM "${kUninstallKey}"
  SetErrorLevel ${kOk}
SectionEnd
