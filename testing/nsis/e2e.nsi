; End-to-end cases of the plug-in inside a real NSIS installer. Built by run-e2e with
;   -DTARGET=<stub target> -DPLUGIN_DIR=<GWPlugin.dll> -DTEST_PLUGIN_DIR=<GWPageTest.dll>
;   -DOUT_FILE=<installer> -DCASE=<case> [-DACTION=next|back|cancel]
; Each case writes what it popped, one line each, to result.txt beside the installer.
Unicode true
Target ${TARGET}
!addplugindir /${TARGET} "${PLUGIN_DIR}"
!addplugindir /${TARGET} "${TEST_PLUGIN_DIR}"
Name "OrvTest"
; Parallel test runs share the Wine prefix: the caption and the page event name the case.
Caption "OrvTest ${CASE}"
OutFile "${OUT_FILE}"
RequestExecutionLevel user
InstallDir "$TEMP\OrvTest-${CASE}"

Var result

!macro Write text
  FileWrite $result "${text}$\r$\n"
!macroend

!macro OpenResult
  FileOpen $result "$EXEDIR\result.txt" w
!macroend

Function ExtractCatalogue
  StrCpy $R9 "extract-called"
FunctionEnd

!if "${CASE}" == "stack"
Section
  !insertmacro OpenResult
  GWPlugin::HasBuiltInProducts
  Pop $0
  !insertmacro Write "before-initialize=$0"

  Push "MARKER"
  Push 2
  Push "third"
  Push "OrvTest/1.0"
  Push "emotivar"
  GWPlugin::Configuration
  Pop $0
  !insertmacro Write "after-configuration=$0"

  Push "MARKER"
  Push "END"
  Push "VOICE_WISLA|1.2.0.0|0|$EXEDIR\wisla.exe"
  Push "$PLUGINSDIR\catalogue.xml"
  GetFunctionAddress $0 ExtractCatalogue
  Push $0
  StrCpy $R9 "not-called"
  GWPlugin::Initialize
  Pop $0
  !insertmacro Write "after-initialize=$0"
  !insertmacro Write "extract=$R9"
  GWPlugin::HasBuiltInProducts
  Pop $0
  !insertmacro Write "builtin=$0"
  GWPlugin::CheckReady
  Pop $0
  !insertmacro Write "ready=$0"

  ; 600 characters come back doubled: 1200 > the string size, so they arrive cut.
  StrCpy $1 ""
  StrCpy $2 0
  grow:
    StrCpy $1 "$1abcdefghij"
    IntOp $2 $2 + 1
    IntCmp $2 60 0 grow
  Push $1
  GWPageTest::Echo
  Pop $3
  StrLen $4 $3
  !insertmacro Write "echo-length=$4"

  ClearErrors
  Pop $0
  IfErrors 0 +2
  !insertmacro Write "stack=empty"
  FileClose $result
SectionEnd
!endif

!if "${CASE}" == "empty_stack"
Section
  !insertmacro OpenResult
  GWPlugin::Initialize
  ClearErrors
  Pop $0
  IfErrors 0 +2
  !insertmacro Write "after-initialize=empty"
  GWPlugin::HasBuiltInProducts
  Pop $0
  !insertmacro Write "builtin=$0"
  GWPlugin::CheckReady
  Pop $0
  !insertmacro Write "ready=$0"
  FileClose $result
SectionEnd
!endif

!ifdef ACTION
; A page before the test page (shown by nothing, so NSIS passes it) gives Back somewhere to go.
Page custom FirstPageCreate
Page custom TestPageCreate
Page instfiles

Function FirstPageCreate
FunctionEnd

Function TestPageCreate
  !insertmacro OpenResult
  Exec '"$EXEDIR\pagedriver.exe" ${ACTION} "OrvTest ${CASE}" "OrvTestPageShown_${CASE}"'
  Push "BENEATH"
  Push "OrvTestPageShown_${CASE}"
  Push "e2e value"
  GWPageTest::ShowTestPage
  Pop $0
  !insertmacro Write "result=$0"
  Pop $0
  !insertmacro Write "left=$0"
  Pop $0
  !insertmacro Write "$0"
  Pop $0
  !insertmacro Write "beneath=$0"
  FileClose $result
  Quit
FunctionEnd

Section
SectionEnd
!endif

!if "${CASE}" == "install_page"
; The progress page with nothing to install presses Next by itself.
Page custom InstallPageCreate
Page instfiles

Function InstallPageCreate
  !insertmacro OpenResult
  Push "BENEATH"
  Push ""
  GWPlugin::ShowInstallDialog
  Pop $0
  !insertmacro Write "result=$0"
  Pop $0
  !insertmacro Write "beneath=$0"
  FileClose $result
  Quit
FunctionEnd

Section
SectionEnd
!endif

!ifdef GATEWAY
; The catalogue cases against the local HTTPS gateway (run-e2e points the plug-in there through
; its test hook and defines LANG, BUILTIN and WAIT). Silent: everything runs in one section.
;   LANG     the installer language ($LANGUAGE) the plug-in sees
;   BUILTIN  1: the installer carries Garonne (a descriptor); 0: it carries nothing
;   WAIT     1: the script waits until the download has ended before CheckReady, without
;            dispatching messages (the download ends while the plug-in is not asked)
; NSIS keeps $LANGUAGE only for a language the installer has.
LoadLanguageFile "${NSISDIR}\Contrib\Language files\English.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\German.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Spanish.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\French.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Polish.nlf"

Function .onInit
  StrCpy $LANGUAGE ${LANG}
FunctionEnd

Function ExtractBuiltInCatalogue
  SetOutPath "$PLUGINSDIR"
  File "/oname=$PLUGINSDIR\builtin.xml" "${BUILTIN_XML}"
FunctionEnd

Section
  InitPluginsDir
  !insertmacro OpenResult
  Push 1
  Push "third"
  Push "OrvTest/1.0"
  Push "profile"
  GWPlugin::Configuration

  !if ${WAIT} == 1
    Push "OrvGwDownloaded_${CASE}"
    GWPageTest::EventCreate
  !endif

  Push "MARKER"
  Push "END"
  !if ${BUILTIN} == 1
    Push "VOICE_GARONNE|1.6.0.0|0|$EXEDIR\garonne.exe"
  !endif
  Push "$PLUGINSDIR\builtin.xml"
  GetFunctionAddress $0 ExtractBuiltInCatalogue
  Push $0
  GWPlugin::Initialize

  !if ${WAIT} == 1
    Push 60000
    GWPageTest::EventWait
    Pop $0
    !insertmacro Write "download=$0"
  !endif

  GWPlugin::CheckReady
  Pop $0
  !insertmacro Write "ready=$0"
  GWPlugin::HasBuiltInProducts
  Pop $0
  !insertmacro Write "builtin=$0"
  Pop $0
  !insertmacro Write "beneath=$0"
  FileClose $result
SectionEnd
!endif
