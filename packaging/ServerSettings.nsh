; Checks of the server address and port before anything is written: the client
; itself takes any text, so a typo would only show as a workstation that never
; connects on the day of the exam.
;
;   Call CheckServerSettings   ; reads $ServerAddress and $ServerPort
;   Pop $0                     ; "" when both are usable, else the message

!define ADDRESS_DIGITS "0123456789"
!define ADDRESS_LETTERS "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"

; Case-sensitive membership: StrCmp ignores case by the locale's rules.
; Stack in: set, character. Stack out: 1 or 0.
Function CharIn
  Exch $0 ; set
  Exch
  Exch $1 ; character
  Push $2
  Push $3
  StrCpy $2 0
  ${Do}
    StrCpy $3 $0 1 $2
    ${If} $3 == ""
      StrCpy $0 0
      ${ExitDo}
    ${EndIf}
    ${If} $3 S== $1
      StrCpy $0 1
      ${ExitDo}
    ${EndIf}
    IntOp $2 $2 + 1
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

!macro _CharIn result character set
  Push "${character}"
  Push "${set}"
  Call CharIn
  Pop ${result}
!macroend
!define CharIn "!insertmacro _CharIn"

; An IPv4 address in dotted decimal (four parts, 0 to 255, no leading zero,
; which Windows would read as octal, not 0.x.x.x) or a host name (labels of letters, digits
; and inner hyphens). Out: 1 or 0.
Function IsUsableAddress
  Push $0 ; index
  Push $1 ; character
  Push $2 ; current label
  Push $3 ; labels seen
  Push $4 ; 1 while only digits and dots were seen
  Push $5 ; 1 while every all-digit label is a valid IPv4 part
  Push $6
  Push $7
  StrLen $0 $ServerAddress
  ${If} $0 == 0
  ${OrIf} $0 > 253
    StrCpy $7 0
    Goto done
  ${EndIf}
  StrCpy $0 0
  StrCpy $2 ""
  StrCpy $3 0
  StrCpy $4 1
  StrCpy $5 1
  StrCpy $7 1
  ${Do}
    StrCpy $1 $ServerAddress 1 $0
    IntOp $0 $0 + 1
    ${If} $1 == ""
    ${OrIf} $1 == "."
      ; End of a label.
      StrLen $6 $2
      ${If} $6 == 0
      ${OrIf} $6 > 63
        StrCpy $7 0
        ${ExitDo}
      ${EndIf}
      StrCpy $6 $2 1
      ${If} $6 == "-"
        StrCpy $7 0
        ${ExitDo}
      ${EndIf}
      StrCpy $6 $2 1 -1
      ${If} $6 == "-"
        StrCpy $7 0
        ${ExitDo}
      ${EndIf}
      IntOp $3 $3 + 1
      ${If} $4 == 1
        ; Still numeric: the label has only digits. 0.x.x.x is no address
        ; to connect to (0.0.0.0 is what a server listens on).
        ${If} $3 == 1
        ${AndIf} $2 == "0"
          StrCpy $5 0
        ${EndIf}
        StrLen $6 $2
        ${If} $6 > 3
          StrCpy $5 0
        ${Else}
          StrCpy $6 $2 1
          ${If} $6 == "0"
          ${AndIf} $2 != "0"
            StrCpy $5 0
          ${ElseIf} $2 > 255
            StrCpy $5 0
          ${EndIf}
        ${EndIf}
      ${EndIf}
      StrCpy $2 ""
      ${If} $1 == ""
        ${ExitDo}
      ${EndIf}
      ${Continue}
    ${EndIf}
    ${CharIn} $6 $1 "${ADDRESS_DIGITS}"
    ${If} $6 == 0
      StrCpy $4 0
      ${CharIn} $6 $1 "${ADDRESS_LETTERS}-"
      ${If} $6 == 0
        StrCpy $7 0
        ${ExitDo}
      ${EndIf}
    ${EndIf}
    StrCpy $2 "$2$1"
  ${Loop}
  ${If} $7 == 1
  ${AndIf} $4 == 1
    ; Digits and dots only: this can only be meant as an IPv4 address.
    ${If} $3 != 4
    ${OrIf} $5 != 1
      StrCpy $7 0
    ${EndIf}
  ${EndIf}
done:
  StrCpy $0 $7
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; A decimal port from 1 to 65535, digits only. Out: 1 or 0.
Function IsUsablePort
  Push $0
  Push $1
  Push $2
  StrCpy $2 1
  StrLen $0 $ServerPort
  ${If} $0 < 1
  ${OrIf} $0 > 5
    StrCpy $2 0
  ${Else}
    StrCpy $1 $ServerPort 1
    ${If} $1 == "0"
      StrCpy $2 0
    ${EndIf}
    StrCpy $0 0
    ${Do}
      StrCpy $1 $ServerPort 1 $0
      ${If} $1 == ""
        ${ExitDo}
      ${EndIf}
      ${CharIn} $1 $1 "${ADDRESS_DIGITS}"
      ${If} $1 == 0
        StrCpy $2 0
      ${EndIf}
      IntOp $0 $0 + 1
    ${Loop}
    ${If} $2 == 1
    ${AndIf} $ServerPort > 65535
      StrCpy $2 0
    ${EndIf}
  ${EndIf}
  StrCpy $0 $2
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

Function CheckServerSettings
  Push $0
  ${If} $ServerAddress == ""
    StrCpy $0 "$(AddressEmpty)"
  ${Else}
    Call IsUsableAddress
    Pop $0
    ${If} $0 == 0
      StrCpy $0 "$(AddressInvalid)"
    ${Else}
      Call IsUsablePort
      Pop $0
      ${If} $0 == 0
        StrCpy $0 "$(PortInvalid)"
      ${Else}
        StrCpy $0 ""
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Exch $0
FunctionEnd
