; Which build goes into the 64-bit registry view, from the machine's own
; processor (an IMAGE_FILE_MACHINE_* value, as x64.nsh's
; GetNativeMachineArchitecture reads it through IsWow64Process2): Windows on
; ARM's Explorer is an ARM64 process and loads ARM64 DLLs only, x64 Windows'
; an x64 one; 32-bit Windows has no 64-bit view. The 32-bit build serves
; 32-bit programs on all of them.
;   Push MACHINE / Call BuildFor64BitView / Pop $0   ; "ARM64", "x64" or ""

!define IMAGE_FILE_MACHINE_ARM64 0xAA64
!define IMAGE_FILE_MACHINE_AMD64 0x8664

Function BuildFor64BitView
  Exch $0
  ${If} $0 = ${IMAGE_FILE_MACHINE_ARM64}
    StrCpy $0 "ARM64"
  ${ElseIf} $0 = ${IMAGE_FILE_MACHINE_AMD64}
    StrCpy $0 "x64"
  ${Else}
    StrCpy $0 ""
  ${EndIf}
  Exch $0
FunctionEnd
