; Snapwell's installer, made on the build machine by NSIS as a 64-bit
; Unicode installer. The build passes:
;   VERSION      the program's version, read from its VERSIONINFO
;                (resources/Snapwell.rc), so that it is written only there
;   PAYLOAD_DIR  the files to install: the stripped programs, the
;                description and language files and the help folder
;   ICON         the program's icon
;   WIZARD_BITMAP  the picture of the first and last pages
;   OUT_FILE     the installer to make
;
; It installs for all users into Program Files\Veltrane\Snapwell, registers
; the automation server, adds a Start-menu shortcut and an entry in "Apps &
; features", and asks the installing user's first start for the first-run
; questions. Installing over an earlier version closes the running Snapwell
; through its tray window first and leaves the user's options alone.
Unicode true
Target amd64-unicode

!macro RequireDefine name
    !ifndef ${name}
        !error "makensis needs -D${name}=...; scripts/build.sh passes it through CMake"
    !endif
!macroend
!insertmacro RequireDefine VERSION
!insertmacro RequireDefine PAYLOAD_DIR
!insertmacro RequireDefine ICON
!insertmacro RequireDefine WIZARD_BITMAP
!insertmacro RequireDefine OUT_FILE

!define PRODUCT "Snapwell"
!define COMPANY "Veltrane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define PROGRAM_KEY "Software\${COMPANY}\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The class of Snapwell's hidden main window, the owner of its tray icon,
; and the name of the mutex that one running Snapwell holds.
!define TRAY_WINDOW_CLASS "SnapwellShellIconWND"
!define INSTANCE_MUTEX "${PRODUCT}"
!define DEFAULT_FOLDER "$PROGRAMFILES64\${COMPANY}\${PRODUCT}"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "${DEFAULT_FOLDER}"
; An upgrade goes where the earlier version is, unless /D= says otherwise.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; A file that cannot be replaced stops the installation rather than leaving
; a mix of two versions behind.
AllowSkipFiles off
ManifestDPIAware true
ManifestSupportedOS all
BrandingText "${COMPANY} ${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include WinMessages.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WIZARD_BITMAP}"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${WIZARD_BITMAP}"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TEXT "$(WelcomeText)"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; Ticked unless the user clears it: the first start asks the first-run
; questions.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(StartSnapwellNow)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartSnapwell
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.ConfirmPageCreate un.ConfirmPageLeave
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH

; The installer's language follows the Windows display language: German
; for German, English for every other.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
!include "${__FILEDIR__}\Texts.nsh"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${COMPANY}"

; Closes a running Snapwell the way its own Exit does and waits for it to
; end: WM_CLOSE to its tray window runs its exit steps (the options saved,
; the autostart entry written), so nothing is ever killed. A Snapwell that
; does not end, or one still at its splash or first-run questions (it holds
; its mutex but has no tray window yet), is left to the user, who closes it
; and retries or cancels.
!macro DefineCloseRunningSnapwell un
Function ${un}CloseRunningSnapwell
    Push $0
    Push $1
    Push $2
    Push $3
close:
    StrCpy $3 "ended"
    FindWindow $0 "${TRAY_WINDOW_CLASS}"
    ${If} $0 P<> 0
        DetailPrint "$(ClosingSnapwell)"
        StrCpy $1 0
        System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
        ; SYNCHRONIZE: the right to wait for the process's end.
        System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
        SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=10000
        ${If} $2 P<> 0
            System::Call 'kernel32::WaitForSingleObject(p r2, i 30000) i .r1'
            System::Call 'kernel32::CloseHandle(p r2)'
            ${If} $1 <> 0
                StrCpy $3 "running"
            ${EndIf}
        ${EndIf}
    ${EndIf}
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${INSTANCE_MUTEX}") p .r2'
    ${If} $2 P<> 0
        System::Call 'kernel32::CloseHandle(p r2)'
        StrCpy $3 "running"
    ${EndIf}
    ${If} $3 == "running"
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(SnapwellStillRunning)" /SD IDCANCEL IDRETRY close
        DetailPrint "$(SnapwellStillRunning)"
        Pop $3
        Pop $2
        Pop $1
        Pop $0
        Abort
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd
!macroend
!insertmacro DefineCloseRunningSnapwell ""
!insertmacro DefineCloseRunningSnapwell "un."

Function .onInit
    ; One installer at a time: two would replace the same files.
    System::Call 'kernel32::CreateMutexW(p 0, i 0, w "${PRODUCT}Setup") p .r0 ?e'
    Pop $1
    ${If} $1 = 183 ; ERROR_ALREADY_EXISTS
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(SetupAlreadyRunning)" /SD IDOK
        Abort
    ${EndIf}
    SetShellVarContext all
FunctionEnd

; The installer runs elevated, perhaps as another administrator than the
; signed-in user. The shell starts Snapwell instead, as the user who runs the
; shell, with that user's rights and profile.
Function StartSnapwell
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\Snapwell.exe"'
FunctionEnd

Section "Snapwell" SectionProgram
    SectionIn RO
    SetShellVarContext all
    Call CloseRunningSnapwell

    SetOutPath "$INSTDIR"
    File "${PAYLOAD_DIR}/Snapwell.exe"
    File "${PAYLOAD_DIR}/snapctl.exe"
    ; The default options, the dialog descriptions and the language files.
    File "${PAYLOAD_DIR}/*.xml"
    ; The help folder is replaced whole, so that a page that moved in this
    ; version leaves no stale copy behind.
    RMDir /r "$INSTDIR\docs"
    File /r "${PAYLOAD_DIR}/docs"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    DetailPrint "$(RegisteringServer)"
    ClearErrors
    ExecWait '"$INSTDIR\Snapwell.exe" /Regserver' $0
    ${If} ${Errors}
    ${OrIf} $0 <> 0
        DetailPrint "$(RegisterFailed)"
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(RegisterFailed)" /SD IDOK
        SetErrorLevel 3
    ${EndIf}

    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Snapwell.exe" "" "$INSTDIR\Snapwell.exe" 0 \
        SW_SHOWNORMAL "" "$(ShortcutDescription)"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Snapwell.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "https://snapwell.veltrane.com/"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"

    ; The installing user's first start asks the first-run questions. A user
    ; who already answered them ("NeedConfig" is 0) or who has options from
    ; an earlier version keeps what they have.
    ClearErrors
    ReadRegDWORD $0 HKCU "${PROGRAM_KEY}" "NeedConfig"
    ${If} ${Errors}
        SetShellVarContext current
        ${IfNot} ${FileExists} "$APPDATA\${COMPANY}\${PRODUCT}\options.xml"
            WriteRegDWORD HKCU "${PROGRAM_KEY}" "NeedConfig" 1
        ${EndIf}
        SetShellVarContext all
    ${EndIf}
SectionEnd

; The uninstaller's first page: the folder it removes, and the box that
; removes the user's settings too (left clear, and clear when silent).
Var RemoveSettingsBox
Var RemoveSettings

Function un.onInit
    SetShellVarContext all
    StrCpy $RemoveSettings ${BST_UNCHECKED}
FunctionEnd

Function un.ConfirmPageCreate
    !insertmacro MUI_HEADER_TEXT "$(UninstallTitle)" "$(UninstallSubtitle)"
    nsDialogs::Create 1018
    Pop $0
    ${If} $0 == error
        Abort
    ${EndIf}
    ${NSD_CreateLabel} 0 0 100% 20u "$(UninstallFolderText)"
    Pop $0
    ${NSD_CreateText} 0 24u 100% 13u "$INSTDIR"
    Pop $0
    SendMessage $0 ${EM_SETREADONLY} 1 0
    SetShellVarContext current
    ${NSD_CreateCheckbox} 0 50u 100% 12u "$(RemoveSettingsText)"
    Pop $RemoveSettingsBox
    ${NSD_CreateLabel} 12u 66u -12u 20u "$(SettingsFolderText)$\r$\n$APPDATA\${COMPANY}\${PRODUCT}"
    Pop $0
    SetShellVarContext all
    ${NSD_SetState} $RemoveSettingsBox $RemoveSettings
    GetDlgItem $0 $HWNDPARENT 1
    SendMessage $0 ${WM_SETTEXT} 0 "STR:$(^UninstallBtn)"
    nsDialogs::Show
FunctionEnd

Function un.ConfirmPageLeave
    ${NSD_GetState} $RemoveSettingsBox $RemoveSettings
FunctionEnd

Section "Uninstall"
    SetShellVarContext all
    Call un.CloseRunningSnapwell

    DetailPrint "$(UnregisteringServer)"
    ExecWait '"$INSTDIR\Snapwell.exe" /Unregserver'

    Delete /REBOOTOK "$INSTDIR\Snapwell.exe"
    Delete /REBOOTOK "$INSTDIR\snapctl.exe"
    Delete "$INSTDIR\*.xml"
    RMDir /r "$INSTDIR\docs"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    ; The company folder goes too when Snapwell was its only program.
    ${If} "$INSTDIR" == "${DEFAULT_FOLDER}"
        RMDir "$PROGRAMFILES64\${COMPANY}"
    ${EndIf}

    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    ; Snapwell writes its autostart entry as it exits, so the entry goes
    ; only now that it has ended.
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"

    ${If} $RemoveSettings == ${BST_CHECKED}
        SetShellVarContext current
        RMDir /r "$APPDATA\${COMPANY}\${PRODUCT}"
        RMDir "$APPDATA\${COMPANY}"
        RMDir /r "$TEMP\${COMPANY}\${PRODUCT}"
        RMDir "$TEMP\${COMPANY}"
        DeleteRegKey HKCU "${PROGRAM_KEY}"
        DeleteRegKey /ifempty HKCU "Software\${COMPANY}"
        SetShellVarContext all
    ${EndIf}
SectionEnd
