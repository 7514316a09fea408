; Morvelplint's installer for Windows (x86-64): morvelplint-web and morvelplint-check with
; their catalogues, the default rack and the documentation as HTML; the Start menu's entries;
; an uninstaller under Apps & features that keeps the user's Morvelplint.ini (it lives in
; Documents\Morvelplint, which the installer never touches). For all users into Program Files
; (with administrator rights), or for the user alone into the user's own programs folder
; (without them). /S installs and uninstalls silently; /AllUsers or /CurrentUser choose.
;
; makensis -DVERSION=a.b.c.d -DFILES=<the laid-out files> -DOUTFILE=<setup.exe> morvelplint.nsi
; (scripts/package-windows.sh lays out the files and runs it).

!ifndef VERSION | FILES | OUTFILE
  !error "VERSION, FILES and OUTFILE are needed"
!endif

Unicode true
; A 64-bit installer: a 32-bit one does not start on a 64-bit-only system.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!define PRODUCT "Morvelplint"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvelplint"
!define SETTINGS_KEY "Software\Morvelplint"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Morvelplint's authors"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${SETTINGS_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh

!define MUI_ABORTWARNING
!define MUI_LANGDLL_ALLLANGUAGES
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\doc\README.html"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; Dutch first: the program's own language.
!insertmacro MUI_LANGUAGE "Dutch"
!insertmacro MUI_LANGUAGE "English"

LangString SimulatedEntry ${LANG_DUTCH} "Morvelplint (gesimuleerd rek)"
LangString SimulatedEntry ${LANG_ENGLISH} "Morvelplint (gesimuleerd rek)"
LangString ReadmeEntry ${LANG_DUTCH} "Morvelplint - handleiding"
LangString ReadmeEntry ${LANG_ENGLISH} "Morvelplint - manual"
LangString UninstallEntry ${LANG_DUTCH} "Morvelplint verwijderen"
LangString UninstallEntry ${LANG_ENGLISH} "Uninstall Morvelplint"
LangString NotWindows64 ${LANG_DUTCH} "Morvelplint vraagt een 64-bits Windows (x86-64)."
LangString NotWindows64 ${LANG_ENGLISH} "Morvelplint needs a 64-bit Windows (x86-64)."

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "$(NotWindows64)" /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  !insertmacro MULTIUSER_INIT
  ${IfNot} ${Silent}
    !insertmacro MUI_LANGDLL_DISPLAY
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
  !insertmacro MUI_UNGETLANGUAGE
FunctionEnd

Section "Morvelplint" Main
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${FILES}\morvelplint-web.exe"
  File "${FILES}\morvelplint-check.exe"
  File "${FILES}\morvelplint-start.exe"
  File "${FILES}\default-rack.json"
  SetOutPath "$INSTDIR\locale"
  File /r "${FILES}\locale\*"
  SetOutPath "$INSTDIR\doc"
  File /r "${FILES}\doc\*"

  ; The Start menu's entries: morvelplint-start.exe starts morvelplint-web in the user's
  ; Documents\Morvelplint, with the browser opened at its address.
  SetOutPath "$INSTDIR"
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\morvelplint-start.exe" "--open" \
    "$INSTDIR\morvelplint-web.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\$(SimulatedEntry).lnk" "$INSTDIR\morvelplint-start.exe" \
    "--sim --open" "$INSTDIR\morvelplint-web.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\$(ReadmeEntry).lnk" "$INSTDIR\doc\README.html"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\$(UninstallEntry).lnk" "$INSTDIR\uninstall.exe"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; SHCTX: HKLM for all users, HKCU for the user alone, as the install mode has it.
  WriteRegStr SHCTX "${SETTINGS_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Morvelplint"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\morvelplint-web.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${Main} $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Only what the installer put there: the user's Documents\Morvelplint, with Morvelplint.ini and
; what the user saved, stays.
Section "Uninstall"
  Delete "$INSTDIR\morvelplint-web.exe"
  Delete "$INSTDIR\morvelplint-check.exe"
  Delete "$INSTDIR\morvelplint-start.exe"
  Delete "$INSTDIR\default-rack.json"
  RMDir /r "$INSTDIR\locale"
  RMDir /r "$INSTDIR\doc"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: a folder the user chose may hold more.
  RMDir "$INSTDIR"
  ; The Start menu's folder is the installer's own, its entries named in either language.
  RMDir /r "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  DeleteRegKey SHCTX "${SETTINGS_KEY}"
SectionEnd
