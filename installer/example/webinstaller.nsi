; Example web installer using GWPlugin.dll. Build it beside the plug-in:
;   makensis webinstaller.nsi
; The plug-in's exports are called in this order: Configuration, Initialize, then CheckReady and
; HasBuiltInProducts, then the pages ShowFlagsDialog, ShowComponentsDialog, ShowInstallDialog.
Unicode true
Target x86-unicode
!addplugindir /x86-unicode "."

Name "Orvel"
OutFile "orvel-webinstaller.exe"
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES\Orvel"

LoadLanguageFile "${NSISDIR}\Contrib\Language files\English.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Polish.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\German.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Spanish.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\French.nlf"

Page custom FlagsPage
Page custom ComponentsPage
Page custom InstallPage
Page instfiles

Var mode

; Extracts the built-in catalogue file where Initialize was told it would be.
Function ExtractCatalogue
  SetOutPath "$PLUGINSDIR"
  ; File "catalogue.xml"
FunctionEnd

Function .onInit
  InitPluginsDir
  ; Configuration pops: profile, User-Agent, a third text, the applications check-box flag.
  Push 1
  Push ""
  Push "Orvel-WebInstaller/1.0"
  Push ""
  GWPlugin::Configuration

  ; Initialize pops: the extract function, the built-in catalogue path, then product
  ; descriptors "id|version|extract function|installer file" up to "END".
  Push "END"
  Push "$PLUGINSDIR\catalogue.xml"
  GetFunctionAddress $0 ExtractCatalogue
  Push $0
  GWPlugin::Initialize

  GWPlugin::CheckReady
  Pop $0
  StrCmp $0 "OK" +3
    MessageBox MB_ICONEXCLAMATION "No products can be installed at the moment."
    Abort
FunctionEnd

Function FlagsPage
  Push "/END"
  Push "Install the voices of the chosen languages|I will choose the components myself"
  GWPlugin::ShowFlagsDialog
  Pop $0            ; success, back or cancel
  StrCmp $0 "success" 0 done
  Pop $mode         ; RS_LANG (then the download size in MB) or RS_USER
  StrCmp $mode "RS_LANG" 0 done
  Pop $1
done:
FunctionEnd

Function ComponentsPage
  StrCmp $mode "RS_LANG" 0 +2
    Abort           ; the language choice decides the products
  GWPlugin::ShowComponentsDialog
  Pop $0
  StrCmp $0 "success" 0 +2
  Pop $1            ; download size in MB
FunctionEnd

Function InstallPage
  Push ""           ; no banner image
  GWPlugin::ShowInstallDialog
  Pop $0
  StrCmp $0 "cancel" 0 +3
  Pop $1            ; "CLOSE" when a failed download was cancelled
  Quit
FunctionEnd

Section
SectionEnd
