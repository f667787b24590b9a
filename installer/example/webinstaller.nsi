; Example web installer with GWPlugin.dll: the user picks voice languages by flag (or single
; components), the plug-in downloads what was chosen from the maker's site and runs each
; product's installer silently in the installer's language. Build it beside the plug-in:
;   makensis webinstaller.nsi
;
; Options (makensis -DNAME=value):
;   TARGET          stub and plug-in folder kind (default x86-unicode; amd64-unicode for a
;                   64-bit build of the plug-in)
;   PLUGIN_DIR      the folder holding GWPlugin.dll (default: beside this script)
;   OUT_FILE        the installer to write (default orvel-webinstaller.exe)
;   CATALOGUE       a catalogue file that travels inside the installer: the products it lists
;                   are known even when the maker's site cannot be reached
;   CARRY_ID, CARRY_VERSION, CARRY_FILE
;                   a product installer that travels inside this one (catalogue id, version,
;                   file); it is extracted only when the queue is about to run it
;   NO_BANNER       no animated banner on the progress page
;
; The installer asks for its language unless it is started with /LANG=<language id>
; (1033 English, 1045 Polish, 1031 German, 1034 Spanish, 1036 French).
;
; The plug-in's exports are called in the order they rely on: Configuration, Initialize,
; CheckReady and HasBuiltInProducts, then the pages ShowFlagsDialog, ShowComponentsDialog
; and ShowInstallDialog.
Unicode true
!ifndef TARGET
  !define TARGET x86-unicode
!endif
Target ${TARGET}
!ifndef PLUGIN_DIR
  !define PLUGIN_DIR "."
!endif
!addplugindir /${TARGET} "${PLUGIN_DIR}"
!ifndef OUT_FILE
  !define OUT_FILE "orvel-webinstaller.exe"
!endif

!include FileFunc.nsh

Name "Orvel"
OutFile "${OUT_FILE}"
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES\Orvel"
BrandingText "Orvel"
XPStyle on
ShowInstDetails nevershow

LoadLanguageFile "${NSISDIR}\Contrib\Language files\English.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Polish.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\German.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Spanish.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\French.nlf"

; The texts of the two modes of the flags page: "language mode|user mode".
LangString FlagsModes ${LANG_ENGLISH} "Install the voices of the chosen languages|I will choose the components myself"
LangString FlagsModes ${LANG_POLISH} "Zainstaluj głosy wybranych języków|Wybiorę składniki sam"
LangString FlagsModes ${LANG_GERMAN} "Stimmen der gewählten Sprachen installieren|Komponenten selbst auswählen"
LangString FlagsModes ${LANG_SPANISH} "Instalar las voces de los idiomas elegidos|Elegiré los componentes yo mismo"
LangString FlagsModes ${LANG_FRENCH} "Installer les voix des langues choisies|Je choisirai les composants moi-même"

LangString FlagsCaption ${LANG_ENGLISH} ": Voice languages"
LangString FlagsCaption ${LANG_POLISH} ": Języki głosów"
LangString FlagsCaption ${LANG_GERMAN} ": Sprachen der Stimmen"
LangString FlagsCaption ${LANG_SPANISH} ": Idiomas de las voces"
LangString FlagsCaption ${LANG_FRENCH} ": Langues des voix"

LangString ComponentsCaption ${LANG_ENGLISH} ": Components"
LangString ComponentsCaption ${LANG_POLISH} ": Składniki"
LangString ComponentsCaption ${LANG_GERMAN} ": Komponenten"
LangString ComponentsCaption ${LANG_SPANISH} ": Componentes"
LangString ComponentsCaption ${LANG_FRENCH} ": Composants"

LangString InstallCaption ${LANG_ENGLISH} ": Downloading and installing"
LangString InstallCaption ${LANG_POLISH} ": Pobieranie i instalacja"
LangString InstallCaption ${LANG_GERMAN} ": Herunterladen und Installieren"
LangString InstallCaption ${LANG_SPANISH} ": Descarga e instalación"
LangString InstallCaption ${LANG_FRENCH} ": Téléchargement et installation"

LangString NoProducts ${LANG_ENGLISH} "No products can be installed at the moment. Please check the Internet connection and start the installer again."
LangString NoProducts ${LANG_POLISH} "W tej chwili nie można zainstalować żadnego produktu. Sprawdź połączenie z Internetem i uruchom instalator ponownie."
LangString NoProducts ${LANG_GERMAN} "Zurzeit können keine Produkte installiert werden. Bitte prüfen Sie die Internetverbindung und starten Sie das Installationsprogramm erneut."
LangString NoProducts ${LANG_SPANISH} "En este momento no se puede instalar ningún producto. Compruebe la conexión a Internet y vuelva a iniciar el instalador."
LangString NoProducts ${LANG_FRENCH} "Aucun produit ne peut être installé pour le moment. Vérifiez la connexion Internet et relancez le programme d'installation."

Page custom FlagsPage "" "$(FlagsCaption)"
Page custom ComponentsPage "" "$(ComponentsCaption)"
Page custom InstallPage "" "$(InstallCaption)"
Page instfiles

Var mode      ; RS_LANG or RS_USER, as the flags page was left
Var builtin   ; BUILTIN_PRESENT or BUILTIN_NONE
Var size      ; the download size in MB of the last page that told it

; Puts the catalogue that travels with the installer where Initialize was told it would be.
Function ExtractCatalogue
  !ifdef CATALOGUE
    SetOutPath "$PLUGINSDIR"
    File "/oname=$PLUGINSDIR\catalogue.xml" "${CATALOGUE}"
  !endif
FunctionEnd

!ifdef CARRY_FILE
; Called by the install queue just before the carried product's installer runs.
Function ExtractCarried
  SetOutPath "$PLUGINSDIR"
  File "/oname=$PLUGINSDIR\carried-setup.exe" "${CARRY_FILE}"
FunctionEnd
!endif

Function .onInit
  InitPluginsDir
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/LANG=" $R1
  IfErrors ask_language
    StrCpy $LANGUAGE $R1
    Goto language_known
  ask_language:
    Push ""
    Push ${LANG_ENGLISH}
    Push "English"
    Push ${LANG_POLISH}
    Push "Polski"
    Push ${LANG_GERMAN}
    Push "Deutsch"
    Push ${LANG_SPANISH}
    Push "Español"
    Push ${LANG_FRENCH}
    Push "Français"
    Push A
    LangDLL::LangDialog "Installer Language" "Please select the language of the installer."
    Pop $LANGUAGE
    StrCmp $LANGUAGE "cancel" 0 +2
      Abort
  language_known:

  ; Configuration pops: profile, User-Agent, a third text, the applications check-box flag.
  Push 1
  Push ""
  Push "Orvel-WebInstaller/1.0"
  Push ""
  GWPlugin::Configuration

  ; Initialize pops: the catalogue's extract function, the catalogue's path, then the
  ; descriptors "id|version|extract function|installer file" of the carried products up to "END".
  Push "END"
  !ifdef CARRY_FILE
    GetFunctionAddress $0 ExtractCarried
    Push "${CARRY_ID}|${CARRY_VERSION}|$0|$PLUGINSDIR\carried-setup.exe"
  !endif
  Push "$PLUGINSDIR\catalogue.xml"
  GetFunctionAddress $0 ExtractCatalogue
  Push $0
  GWPlugin::Initialize

  GWPlugin::CheckReady
  Pop $0
  StrCmp $0 "OK" ready
    MessageBox MB_ICONEXCLAMATION "$(NoProducts)"
    Abort
  ready:
  GWPlugin::HasBuiltInProducts
  Pop $builtin

  !ifndef NO_BANNER
    File "/oname=$PLUGINSDIR\banner.png" "banner.png"
  !endif
FunctionEnd

Function FlagsPage
  Push "/END"
  Push "$(FlagsModes)"
  GWPlugin::ShowFlagsDialog
  Pop $0            ; success, back or cancel
  StrCmp $0 "success" 0 flags_done
  Pop $mode
  StrCmp $mode "RS_LANG" 0 flags_done
  ; Without products of its own the installer downloads everything: the page tells how much.
  StrCmp $builtin "BUILTIN_PRESENT" flags_done
  Pop $size
  flags_done:
FunctionEnd

Function ComponentsPage
  StrCmp $mode "RS_LANG" 0 +2
    Abort           ; the languages decide the products: no components page
  GWPlugin::ShowComponentsDialog
  Pop $0
  StrCmp $0 "success" 0 components_done
  StrCmp $builtin "BUILTIN_PRESENT" components_done
  Pop $size
  components_done:
FunctionEnd

Function InstallPage
  !ifdef NO_BANNER
    Push ""
  !else
    ; The banner: frames of 396 x 120 pixels side by side, a new one every 2 seconds.
    Push 2
    Push 120
    Push 396
    Push "$PLUGINSDIR\banner.png"
  !endif
  GWPlugin::ShowInstallDialog
  Pop $0
  StrCmp $0 "cancel" 0 install_done
  ; "CLOSE" lies under it when the user gave up after a failed download.
  Pop $1
  Quit
  install_done:
FunctionEnd

Section
SectionEnd
