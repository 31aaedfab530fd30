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
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tallyvane"

; Exit codes of a silent run (/S) that was refused.
!define REFUSED_RUNNING 3
!define REFUSED_FOLDER 4

; Waits until no Tallyvane runs from $INSTDIR: a running one holds its lock file open, and the
; file cannot be removed then (a lock left by a program that died can). Retry asks again, Cancel
; ends the setup or the uninstaller; a silent run ends at once with REFUSED_RUNNING.
!macro WAIT_FOR_TALLYVANE un
Function ${un}WaitForTallyvane
    retry:
        Delete "$INSTDIR\tallyvane.lock"
        IfFileExists "$INSTDIR\tallyvane.lock" 0 done
        IfSilent 0 ask
        SetErrorLevel ${REFUSED_RUNNING}
        Quit
    ask:
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
            "Tallyvane is running from $INSTDIR.$\r$\nQuit it, then choose Retry." IDRETRY retry
        SetErrorLevel ${REFUSED_RUNNING}
        Quit
    done:
FunctionEnd
!macroend
!insertmacro WAIT_FOR_TALLYVANE ""
!insertmacro WAIT_FOR_TALLYVANE "un."

; $R0 is "1" when $INSTDIR is the folder $R1 or lies in it, "0" otherwise.
Function IsInFolder
    StrCpy $R0 0
    StrLen $R2 $R1
    IntCmp $R2 0 done
    StrCpy $R3 $INSTDIR $R2
    StrCmp $R3 $R1 0 done          ; NSIS compares without regard to case, as Windows does
    StrCpy $R3 $INSTDIR 1 $R2
    StrCmp $R3 "" inside
    StrCmp $R3 "\" inside done
    inside:
        StrCpy $R0 1
    done:
FunctionEnd

; As IsInFolder, for the folder $R1 by its long name or by its short one (C:\PROGRA~1).
Function IsInFolderByAnyName
    Call IsInFolder
    StrCmp $R0 1 done
    GetFullPathName /SHORT $R4 $R1
    StrCmp $R4 "" done
    Push $R1
    StrCpy $R1 $R4
    Call IsInFolder
    Pop $R1
    done:
FunctionEnd

; $R0 says why Tallyvane cannot live in $INSTDIR, or is empty. It keeps its configuration and
; database beside itself, which Windows refuses in Program Files and the Windows folder.
Function FolderProblem
    StrCpy $R1 $PROGRAMFILES64
    Call IsInFolderByAnyName
    StrCmp $R0 1 protected
    StrCpy $R1 $PROGRAMFILES32
    Call IsInFolderByAnyName
    StrCmp $R0 1 protected
    StrCpy $R1 $WINDIR
    Call IsInFolderByAnyName
    StrCmp $R0 1 protected
    ; Any other folder: a file must go in.
    ClearErrors
    CreateDirectory "$INSTDIR"
    FileOpen $R2 "$INSTDIR\tallyvane-setup-probe.tmp" w
    IfErrors unwritable
    FileClose $R2
    Delete "$INSTDIR\tallyvane-setup-probe.tmp"
    StrCpy $R0 ""
    Return
    protected:
        StrCpy $R0 "Tallyvane keeps its configuration and player database beside itself, and Windows lets no program write in $R1.$\r$\nChoose a folder of your own, such as $LOCALAPPDATA\Programs\Tallyvane."
        Return
    unwritable:
        RMDir "$INSTDIR"
        StrCpy $R0 "Tallyvane cannot write in $INSTDIR, where it keeps its configuration and player database.$\r$\nChoose a folder you can write to."
FunctionEnd

Function RefuseFolderSilently
    Call FolderProblem
    StrCmp $R0 "" done
    SetErrorLevel ${REFUSED_FOLDER}
    Quit
    done:
FunctionEnd

Function DirectoryLeave
    Call FolderProblem
    StrCmp $R0 "" +3
    MessageBox MB_OK|MB_ICONSTOP "$R0"
    Abort
FunctionEnd

Section "Tallyvane"
    SetShellVarContext current
    ; The directory page has checked the folder; a silent setup (/D=...) is checked here.
    Call RefuseFolderSilently
    Call WaitForTallyvane
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
    Call un.WaitForTallyvane
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
