; A tiny product installer for the install queue's tests, built once per product with
;   makensis -DTARGET=<stub target> -DID=<catalogue id> -DKEY=<product key> -DVERSION=<a.b.c.d>
;            -DOUT_FILE=<installer> product.nsi
; It does what the queue relies on a product installer to do, and tells the test about it:
; - appends "ID|<value of /L=>|<its whole command line>" to the file that the environment
;   variable ORV_PRODUCT_RECORD names (when set);
; - exits at once with code N when the environment variable ORV_FAIL_<ID> is N;
; - otherwise writes the REG_SZ "Version" under its product key: under HKEY_LOCAL_MACHINE in
;   the 32-bit view (where the plug-in reads products), or, when ORV_PRODUCT_REGROOT names a
;   key, under HKEY_CURRENT_USER\<that key>\<product key> (a test's own registry sandbox).
Unicode true
Target ${TARGET}
Name "${ID}"
OutFile "${OUT_FILE}"
RequestExecutionLevel user
SilentInstall silent
ShowInstDetails nevershow

!include FileFunc.nsh

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/L=" $R1
  IfErrors 0 +2
    StrCpy $R1 "none"
  ReadEnvStr $R2 ORV_PRODUCT_RECORD
  StrCmp $R2 "" recorded
    FileOpen $0 "$R2" a
    FileSeek $0 0 END
    FileWrite $0 "${ID}|$R1|$CMDLINE$\r$\n"
    FileClose $0
  recorded:
  ReadEnvStr $R3 ORV_FAIL_${ID}
  StrCmp $R3 "" +3
    SetErrorLevel $R3
    Quit
FunctionEnd

Section
  ReadEnvStr $R4 ORV_PRODUCT_REGROOT
  StrCmp $R4 "" machine
    WriteRegStr HKCU "$R4\${KEY}" "Version" "${VERSION}"
    Goto done
  machine:
    SetRegView 32
    WriteRegStr HKLM "${KEY}" "Version" "${VERSION}"
  done:
SectionEnd
