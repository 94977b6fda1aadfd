; Quivane's setup program. Built by the Windows build (cmake/WindowsBuild.cmake):
;   makensis -DVERSION=x.y.z -DBINDIR=<folder of the x64 Quivane.dll> [-DBINDIR32=<folder of the 32-bit one>]
;            [-DBINDIRARM64=<folder of the ARM64 one>] -DOUTFILE=<setup.exe> Quivane.nsi
;
; A 32-bit program itself, so that it runs on 32-bit Windows too: there it
; installs the 32-bit build alone; on 64-bit Windows the build of the
; machine's own processor (x64, or ARM64 on Windows on ARM: Builds.nsh), and
; the 32-bit one in the folder x86 for 32-bit programs' Open and Save dialogs.
;
; Per user by default, into the user's own programs folder, with no
; administrator rights; /allusers installs for the whole machine (elevated).
; /S runs silently, for the installer and the uninstaller alike.
; The DLL registers itself (DllInstall through regsvr32 /n /i:user or
; /i:machine), so the registry rows have one source: the DLL's own code.

Unicode true
Target x86-unicode
SetCompressor /SOLID lzma

!ifndef VERSION
  !error "makensis needs -DVERSION=x.y.z"
!endif
!ifndef BINDIR
  !error "makensis needs -DBINDIR=<folder of Quivane.dll and quivane.exe>"
!endif
!ifndef OUTFILE
  !error "makensis needs -DOUTFILE=<setup program to write>"
!endif

!define PRODUCT "Quivane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quivane"
!define UNINSTALLER "Uninstall.exe"
; What a process that was refused elevation gets back.
!define ERROR_CANCELLED 1223
!define ERROR_ELEVATION_REQUIRED 740

; The scope (per user, or all users), its shell folders, its default folder
; and the folder an earlier install of the same scope went to come from
; MultiUser.nsh. It starts without administrator rights and never asks for
; them itself: a machine-wide run without them starts again elevated (below).
!define MULTIUSER_EXECUTIONLEVEL Standard
!define MULTIUSER_MINWIN 0x600
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_FUNCTION ScopeChosen
!define MULTIUSER_INSTALLMODE_UNFUNCTION un.ScopeChosen

!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh
!include MultiUser.nsh
!include Library.nsh
!addincludedir "${__FILEDIR__}"
!include Builds.nsh

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "LegalCopyright" "${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var GivenFolder ; /D= for the setup program; the uninstaller's own folder
Var Build64 ; the build for the 64-bit view: "ARM64", "x64" or "" (Builds.nsh)

; Each build registers itself with the regsvr32 of its own bitness; on 64-bit
; Windows the 32-bit one's registration lands in the 32-bit registry view,
; and its preview handler in the system's surrogate for 32-bit handlers.
!macro REGISTER_BUILDS UN_FLAG RESULT
  StrCpy $2 "user" ; the argument DllInstall gets
  ${If} $MultiUser.InstallMode == "AllUsers"
    StrCpy $2 "machine"
  ${EndIf}
  StrCpy ${RESULT} 0
  ${If} ${RunningX64}
    ; The 32-bit build first: where a registry keeps the user's classes in one
    ; view for both (Wine does), the 64-bit build's registration is what stays.
    !ifdef BINDIR32
      ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s ${UN_FLAG} /n /i:$2 "$INSTDIR\x86\Quivane.dll"' ${RESULT}
    !endif
    ; The 64-bit System32, not the 32-bit one this program would otherwise be
    ; shown; tried even when the first failed, so an uninstall removes what it can.
    ${DisableX64FSRedirection}
    ExecWait '"$WINDIR\System32\regsvr32.exe" /s ${UN_FLAG} /n /i:$2 "$INSTDIR\Quivane.dll"' $1
    ${EnableX64FSRedirection}
    ${If} ${RESULT} == 0
      StrCpy ${RESULT} $1
    ${EndIf}
  ${Else}
    ExecWait '"$SYSDIR\regsvr32.exe" /s ${UN_FLAG} /n /i:$2 "$INSTDIR\Quivane.dll"' ${RESULT}
  ${EndIf}
!macroend

; Starts this program again with administrator rights and the same command
; line, waits for it and ends with its exit code. A machine-wide install
; needs the rights; a per-user one never asks for them.
!macro RELAUNCH_ELEVATED UN
Function ${UN}RelaunchElevated
  Exch $R0 ; parameters
  Push $R1
  Push $R2
  Push $R3
  StrCpy $R3 $EXEPATH
  ; Strings go in through registers: a command line may hold quotes.
  ; SHELLEXECUTEINFOW, SEE_MASK_NOCLOSEPROCESS (0x40) so there is a process
  ; to wait for: 60 bytes for this 32-bit program (112 with a 64-bit one's padding).
  System::Call '*(i 60, i 0x40, p $HWNDPARENT, w "runas", w R3, w R0, p 0, i 1, p 0, p 0, p 0, p 0, i 0, p 0, p 0) p .R1'
  System::Call 'shell32::ShellExecuteExW(p R1) i .R2'
  ${If} $R2 == 0
    System::Free $R1
    ; The user said no to the elevation prompt, or it could not be shown.
    SetErrorLevel ${ERROR_CANCELLED}
    Quit
  ${EndIf}
  System::Call '*$R1(i, i, p, p, p, p, p, i, p, p, p, p, i, p, p .R2)'
  System::Free $R1
  System::Call 'kernel32::WaitForSingleObject(p R2, i -1)'
  System::Call 'kernel32::GetExitCodeProcess(p R2, *i .R3)'
  System::Call 'kernel32::CloseHandle(p R2)'
  SetErrorLevel $R3
  Quit
FunctionEnd
!macroend
!insertmacro RELAUNCH_ELEVATED ""
!insertmacro RELAUNCH_ELEVATED "un."

; Machine-wide work goes on only with administrator rights: without them it
; starts again elevated, once (the marker stops a second round). MultiUser.nsh
; only refuses a scope the rights do not allow; it asks for none.
!macro NEED_ADMIN UN PARAMETERS
  ${If} $MultiUser.Privileges != "Admin"
    ClearErrors
    ${${UN}GetOptions} "${PARAMETERS}" "/elevated" $1
    ${IfNot} ${Errors}
      SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
      Quit
    ${EndIf}
    Push "/elevated ${PARAMETERS}"
    Call ${UN}RelaunchElevated
  ${EndIf}
!macroend

; A folder given with /D= stays the folder, whatever the scope's default.
Function ScopeChosen
  ${If} $GivenFolder != ""
    StrCpy $INSTDIR $GivenFolder
  ${EndIf}
FunctionEnd

Function .onInit
  ; The uninstall entry and the machine's keys in the system's own view.
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  StrCpy $GivenFolder $INSTDIR
  ; Per user: /D= chooses the folder; otherwise where this scope's install
  ; went last time; otherwise the scope's default.
  !insertmacro MULTIUSER_INIT
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/allusers" $R1
  ${IfNot} ${Errors}
    !insertmacro NEED_ADMIN "" $R0
    Call MultiUser.InstallMode.AllUsers
  ${EndIf}
FunctionEnd

; Copies left aside by an earlier upgrade go now that nothing holds them;
; one still held stays for a later install (or the reboot it was marked for).
!macro REMOVE_SET_ASIDE_COPIES FOLDER
  FindFirst $R0 $R1 "${FOLDER}\*.old-*"
  ${DoWhile} $R1 != ""
    Delete "${FOLDER}\$R1"
    FindNext $R0 $R1
  ${Loop}
  FindClose $R0
!macroend
Function RemoveSetAsideCopies
  Push $R0
  Push $R1
  !insertmacro REMOVE_SET_ASIDE_COPIES "$INSTDIR"
  !insertmacro REMOVE_SET_ASIDE_COPIES "$INSTDIR\x86"
  Pop $R1
  Pop $R0
FunctionEnd

; A file a running process holds loaded can be neither overwritten nor
; deleted, but it can be renamed: it is moved aside as NAME.old-N, so that the
; new one can be written, and removed at the next install or at reboot.
; (Library.nsh's InstallLib writes a file in use only at reboot, which needs
; the rights a per-user install lacks, and until then runs the old one.)
; Leaves "ok" on the stack, or "failed" when the file can be neither removed
; nor moved. (LogicLib's error tests clear the flag, so it cannot carry the result.)
Function MoveAside
  Exch $R0 ; file name in $INSTDIR
  Push $R1
  Push $R2
  StrCpy $R2 "ok"
  ${If} ${FileExists} "$INSTDIR\$R0"
    ClearErrors
    Delete "$INSTDIR\$R0"
    ${If} ${Errors}
      StrCpy $R1 1
      ${DoWhile} ${FileExists} "$INSTDIR\$R0.old-$R1"
        IntOp $R1 $R1 + 1
      ${Loop}
      ClearErrors
      Rename "$INSTDIR\$R0" "$INSTDIR\$R0.old-$R1"
      ${If} ${Errors}
        StrCpy $R2 "failed"
      ${Else}
        DetailPrint "$R0 is in use: moved aside as $R0.old-$R1"
        ; Marking for deletion at reboot needs administrator rights; without
        ; them the next install removes it.
        Delete /REBOOTOK "$INSTDIR\$R0.old-$R1"
      ${EndIf}
    ${EndIf}
  ${EndIf}
  StrCpy $R0 $R2
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd

; The file is out of the way before it is written; one that still cannot be
; written fails the install (silently, File alone would go on without it).
!macro INSTALL_FILE SOURCE NAME
  Push "${NAME}"
  Call MoveAside
  Pop $0
  ${If} $0 != "ok"
    DetailPrint "cannot replace $INSTDIR\${NAME}"
    SetErrorLevel 2
    Abort
  ${EndIf}
  ClearErrors
  SetOverwrite try
  File "/oname=$INSTDIR\${NAME}" "${SOURCE}"
  ${If} ${Errors}
    DetailPrint "cannot write $INSTDIR\${NAME}"
    SetErrorLevel 2
    Abort
  ${EndIf}
  SetOverwrite on
!macroend

Section "Quivane"
  SetOutPath "$INSTDIR"
  Call RemoveSetAsideCopies
  ${GetNativeMachineArchitecture} $Build64
  Push $Build64
  Call BuildFor64BitView
  Pop $Build64
  ${If} $Build64 == "ARM64"
    !ifdef BINDIRARM64
      !insertmacro INSTALL_FILE "${BINDIRARM64}\Quivane.dll" "Quivane.dll"
      !insertmacro INSTALL_FILE "${BINDIRARM64}\quivane.exe" "quivane.exe"
    !else
      DetailPrint "this setup program has no ARM64 build for Windows on ARM"
      SetErrorLevel 2
      Abort
    !endif
  ${ElseIf} $Build64 == "x64"
    !insertmacro INSTALL_FILE "${BINDIR}\Quivane.dll" "Quivane.dll"
    !insertmacro INSTALL_FILE "${BINDIR}\quivane.exe" "quivane.exe"
  ${EndIf}
  ; x64.nsh's RunningX64 (a 64-bit view) holds on ARM64 Windows too.
  ${If} ${RunningX64}
    !ifdef BINDIR32
      CreateDirectory "$INSTDIR\x86"
      !insertmacro INSTALL_FILE "${BINDIR32}\Quivane.dll" "x86\Quivane.dll"
      !insertmacro INSTALL_FILE "${BINDIR32}\quivane.exe" "x86\quivane.exe"
    !endif
  ${Else}
    !ifdef BINDIR32
      !insertmacro INSTALL_FILE "${BINDIR32}\Quivane.dll" "Quivane.dll"
      !insertmacro INSTALL_FILE "${BINDIR32}\quivane.exe" "quivane.exe"
    !else
      DetailPrint "this setup program has no 32-bit build for 32-bit Windows"
      SetErrorLevel 2
      Abort
    !endif
  ${EndIf}
  ; libwebp and zlib are linked into both builds: their licences go beside them.
  !insertmacro INSTALL_FILE "${BINDIR}\libwebp-COPYING.txt" "libwebp-COPYING.txt"
  !insertmacro INSTALL_FILE "${BINDIR}\libdeflate-COPYING.txt" "libdeflate-COPYING.txt"
  !insertmacro INSTALL_FILE "${BINDIR}\zlib-LICENSE.txt" "zlib-LICENSE.txt"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; The entry comes before registering: if registering fails, what was
  ; installed can still be removed from Settings.
  ${GetSize} "$INSTDIR" "/S=0K /G=1" $0 $1 $2
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${UNINSTALLER},0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1

  !insertmacro REGISTER_BUILDS "" $0
  ${If} $0 != 0
    DetailPrint "registering Quivane.dll failed (regsvr32 exit code $0)"
    SetErrorLevel 2
    Abort
  ${EndIf}
SectionEnd

; The uninstaller works on the folder it was run from, whatever folder the
; scope's registry entry names.
Function un.ScopeChosen
  StrCpy $INSTDIR $GivenFolder
FunctionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  StrCpy $GivenFolder $INSTDIR
  !insertmacro MULTIUSER_UNINIT
  ; The scope this copy was installed for: machine-wide if the machine's
  ; uninstall entry names this folder.
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 == $INSTDIR
    ${un.GetParameters} $R1
    !insertmacro NEED_ADMIN "un." $R1
    Call un.MultiUser.InstallMode.AllUsers
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; Only this server's rows go; the file types and other handlers stay.
  ; Either build's unregistration leaves the file types' handler keys to the
  ; other while it is still registered; the last one gives back what was there.
  !insertmacro REGISTER_BUILDS "/u" $0
  ${If} $0 != 0
    DetailPrint "unregistering Quivane.dll failed (regsvr32 exit code $0)"
  ${EndIf}
  ; A binary still held by a process is moved out of the way (to the
  ; temporary folder where it can) and goes at reboot: the folder itself can
  ; go now, and a copy installed there before the reboot is not what the
  ; reboot deletes.
  !insertmacro UnInstallLib DLL NOTSHARED REBOOT_NOTPROTECTED "$INSTDIR\Quivane.dll"
  !insertmacro UnInstallLib DLL NOTSHARED REBOOT_NOTPROTECTED "$INSTDIR\quivane.exe"
  !insertmacro UnInstallLib DLL NOTSHARED REBOOT_NOTPROTECTED "$INSTDIR\x86\Quivane.dll"
  !insertmacro UnInstallLib DLL NOTSHARED REBOOT_NOTPROTECTED "$INSTDIR\x86\quivane.exe"
  Delete /REBOOTOK "$INSTDIR\libwebp-COPYING.txt"
  Delete /REBOOTOK "$INSTDIR\libdeflate-COPYING.txt"
  Delete /REBOOTOK "$INSTDIR\zlib-LICENSE.txt"
  ; Copies an upgrade moved aside.
  FindFirst $R0 $R1 "$INSTDIR\*.old-*"
  ${DoWhile} $R1 != ""
    !insertmacro UnInstallLib DLL NOTSHARED REBOOT_NOTPROTECTED "$INSTDIR\$R1"
    FindNext $R0 $R1
  ${Loop}
  FindClose $R0
  FindFirst $R0 $R1 "$INSTDIR\x86\*.old-*"
  ${DoWhile} $R1 != ""
    !insertmacro UnInstallLib DLL NOTSHARED REBOOT_NOTPROTECTED "$INSTDIR\x86\$R1"
    FindNext $R0 $R1
  ${Loop}
  FindClose $R0
  RMDir /REBOOTOK "$INSTDIR\x86"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir /REBOOTOK "$INSTDIR"
  ; Last, so that the entry is gone only when everything else is.
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
