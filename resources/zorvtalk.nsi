; The installer of the 32-bit Windows build. A per-user install that needs no
; administrator rights: the programs go under the user's local programs folder, so the
; settings file kept beside the program stays writable. The uninstaller keeps the
; user's settings, history and logs unless asked to remove them.
;
; makensis -DVERSION=1.8 -DNUMERIC_VERSION=1.8.0.0 -DSTAGE=<folder with the exes,
;          README.txt and LICENSE.txt> -DICON=<zorvtalk.ico> -DOUTFILE=<setup.exe> zorvtalk.nsi
; -DTARGET=amd64-unicode makes a 64-bit twin, for checking on a machine that cannot
; run 32-bit programs.
Unicode true
!ifdef TARGET
Target ${TARGET}
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel user
!include "MUI2.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZORVTalk"

Name "ZORVTalk ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\ZORVTalk"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "ZORVTalk ${VERSION}"

VIProductVersion "${NUMERIC_VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "ZORVTalk"
VIAddVersionKey /LANG=1033 "CompanyName" "ZORVTalk developers"
VIAddVersionKey /LANG=1033 "FileDescription" "ZORVTalk ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 ZORVTalk developers, MIT licence"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\zorvtalk.exe"
!define MUI_UNCOMPONENTSPAGE_TEXT_TOP "Your settings (zorvtalk.ini), command history and logs are kept unless you tick them below."
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "ZORVTalk" SEC_PROGRAM
    SectionIn RO
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File "${STAGE}\zorvtalk.exe"
    File "${STAGE}\zorvtalk-cli.exe"
    File "${STAGE}\README.txt"
    File "${STAGE}\LICENSE.txt"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "$SMPROGRAMS\ZORVTalk.lnk" "$INSTDIR\zorvtalk.exe" "" "$INSTDIR\zorvtalk.exe" 0 \
        SW_SHOWNORMAL "" "Terminal for a ZORV controller on a serial port"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "ZORVTalk"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "ZORVTalk developers"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zorvtalk.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "un.ZORVTalk" UNSEC_PROGRAM
    SectionIn RO
    SetShellVarContext current
    Delete "$INSTDIR\zorvtalk.exe"
    Delete "$INSTDIR\zorvtalk-cli.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\Uninstall.exe"
    Delete "$SMPROGRAMS\ZORVTalk.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; Off unless ticked, and so never in a silent uninstall: these are the user's.
; A short name: the page's list is narrow; the description says it whole.
Section /o "un.Settings, history, logs" UNSEC_USER_FILES
    Delete "$INSTDIR\zorvtalk.ini"
    Delete "$INSTDIR\zorvtalk.history"
    RMDir /r "$INSTDIR\log"
SectionEnd

; Last: the folder goes only when nothing of the user's is left in it.
Section "-un.Folder"
    RMDir "$INSTDIR"
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${UNSEC_PROGRAM} "ZORVTalk, its command-line runner and the Start menu entry."
    !insertmacro MUI_DESCRIPTION_TEXT ${UNSEC_USER_FILES} "Your settings (zorvtalk.ini), command history and log files. Kept unless ticked."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
