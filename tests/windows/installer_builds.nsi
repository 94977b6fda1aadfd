; The setup program's choice of build for the 64-bit view (installer/Builds.nsh),
; asked for each machine, since no Windows on ARM is at hand; and for the
; machine it runs on. Writes one line per machine, "MACHINE BUILD", to the
; file given as /out=FILE:
;   makensis -DOUTFILE=<program.exe> installer_builds.nsi
Unicode true
Target x86-unicode
OutFile "${OUTFILE}"
SilentInstall silent
RequestExecutionLevel user

!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh
!addincludedir "${__FILEDIR__}\..\..\installer"
!include Builds.nsh

Var Out

!macro ASK MACHINE
  Push ${MACHINE}
  Call BuildFor64BitView
  Pop $0
  FileWrite $Out "${MACHINE} $0$\n"
!macroend

Section
  ${GetParameters} $1
  ${GetOptions} $1 "/out=" $2
  FileOpen $Out $2 w
  ; ARM64, x64, x86, ARM (32-bit), and an unknown one.
  !insertmacro ASK 0xAA64
  !insertmacro ASK 0x8664
  !insertmacro ASK 0x14C
  !insertmacro ASK 0x1C4
  !insertmacro ASK 0
  ${GetNativeMachineArchitecture} $3
  IntFmt $3 "0x%X" $3
  !insertmacro ASK $3
  FileClose $Out
SectionEnd
