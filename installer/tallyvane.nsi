; The Windows setup program. It installs for the current user alone, into a folder the user may
; change (by default under the user's local application data, since the program writes its files
; beside itself), with a Start-menu shortcut and an uninstaller. Installing over an installation
; keeps the user's configuration, stamps, player database and pages; so does the uninstaller,
; unless the user asks for them to go too.
;
; makensis -DVERSION=1.0.0 -DSOURCE=<laid-out installation> -DICON=<icon> -DOUTFILE=<setup.exe> tallyvane.nsi

; A 64-bit setup for a 64-bit program.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

Name "Tallyvane ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Tallyvane"
InstallDirRegKey HKCU "Software\Tallyvane" "InstallDir"
BrandingText "Tallyvane ${VERSION}"

!include "MUI2.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\tallyvane.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tallyvane"

Section "Tallyvane"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File "${SOURCE}\tallyvane.exe"
    ; The user's own files: laid down only where they are missing.
    SetOverwrite off
    File "${SOURCE}\statConf.txt"
    File "${SOURCE}\dateStamps.txt"
    File "${SOURCE}\tallyvane.mdb"
    SetOverwrite on
    CreateDirectory "$INSTDIR\output"

    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Tallyvane.lnk" "$INSTDIR\tallyvane.exe" "" "$INSTDIR\tallyvane.exe" 0 SW_SHOWNORMAL "" "Tallyvane statistics tracker"
    WriteRegStr HKCU "Software\Tallyvane" "InstallDir" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Tallyvane"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Tallyvane project"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tallyvane.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    Delete "$SMPROGRAMS\Tallyvane.lnk"
    Delete "$INSTDIR\tallyvane.exe"
    Delete "$INSTDIR\tv.htm"
    Delete "$INSTDIR\tallyvane.lock"
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
        "Remove your configuration, trusted servers, log stamps, player database and pages as well?" \
        /SD IDNO IDNO keep
    Delete "$INSTDIR\statConf.txt"
    Delete "$INSTDIR\dateStamps.txt"
    Delete "$INSTDIR\tallyvane.mdb"
    Delete "$INSTDIR\tempdb.mdb"
    Delete "$INSTDIR\known_hosts"
    Delete "$INSTDIR\known_tls_hosts"
    RMDir /r "$INSTDIR\output"
keep:
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "Software\Tallyvane"
SectionEnd
