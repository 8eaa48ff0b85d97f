; The installer of qm320 for Windows, made by scripts/windows-build.sh:
;   makensis -DVERSION=3.03 -DSTAGE=<program folder> -DOUTFILE=<setup.exe> -DICON=<qm320.ico> qm320.nsi
; It installs for the user who runs it, without administrator rights: the
; program goes to %LOCALAPPDATA%\Programs\qm320, the Start menu entry to the
; user's own menu, the uninstaller's entry to the user's part of the
; registry. "/S" installs and uninstalls without questions.

; A 64-bit installer for the 64-bit program: it runs where the program runs,
; and under a Wine without 32-bit support.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define PRODUCT "qm320"
!define CAPTION "QM320 Interface Program"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\qm320"

Name "${CAPTION} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

!include "MUI2.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\qm320.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${CAPTION}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${CAPTION} installer"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "the qm320 developers"

Section "qm320"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    ; The program folder as the zip holds it.
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\${CAPTION}.lnk" "$INSTDIR\qm320.exe" "" "$INSTDIR\qm320.ico" 0
    ; Apps & features lists it for this user.
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${CAPTION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\qm320.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "qm320"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    Delete "$SMPROGRAMS\${CAPTION}.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ; What the installer put there, and the folder once it is empty. The
    ; journals and the settings in %LOCALAPPDATA%\qm320 are the user's and stay.
    RMDir /r "$INSTDIR\platforms"
    RMDir /r "$INSTDIR\styles"
    RMDir /r "$INSTDIR\fonts"
    Delete "$INSTDIR\*.exe"
    Delete "$INSTDIR\*.dll"
    Delete "$INSTDIR\qm320.ico"
    RMDir "$INSTDIR"
    ; The folder of per-user programs, if the installer made it and it is
    ; empty now.
    RMDir "$LOCALAPPDATA\Programs"
SectionEnd
