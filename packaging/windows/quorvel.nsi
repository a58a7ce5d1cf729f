; The Windows edition's installer, built by scripts/package-windows with Debian's NSIS (makensis).
; Installs quorvel.exe and quorvel-replay.exe into Program Files with a Start menu entry and an
; uninstaller. The capture's raw socket needs administrator rights, and so does Program Files.
; Defines from the script: VERSION, STAGE (the files to install), OUTFILE.

; A 64-bit installer for the 64-bit program (and for Wine without its 32-bit half).
Target amd64-unicode
SetCompressor /SOLID lzma
!include "x64.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"

Name "Quorvel"
Caption "Quorvel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quorvel"
RequestExecutionLevel admin
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "Quorvel"
VIAddVersionKey /LANG=0 "FileDescription" "Quorvel ${VERSION} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "The Quorvel developers, MIT licence"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; A running Quorvel is asked to end as "退出" would end it, so that it saves its settings and lets go of
; its files; it is given ten seconds.
!macro EndRunningQuorvel UN
Function ${UN}EndRunningQuorvel
    StrCpy $1 0
    ${Do}
        FindWindow $0 "TFmain" "Quorvel"
        ${If} $0 == 0
        ${OrIf} $1 >= 20
            ${Break}
        ${EndIf}
        SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
        Sleep 500
        IntOp $1 $1 + 1
    ${Loop}
FunctionEnd
!macroend
!insertmacro EndRunningQuorvel ""
!insertmacro EndRunningQuorvel "un."

Section "Quorvel"
    SetRegView 64
    Call EndRunningQuorvel
    SetOutPath "$INSTDIR"
    File "${STAGE}\quorvel.exe"
    File "${STAGE}\quorvel-replay.exe"
    File "${STAGE}\README.md"
    File "${STAGE}\LICENSE.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    SetShellVarContext all
    CreateShortcut "$SMPROGRAMS\Quorvel.lnk" "$INSTDIR\quorvel.exe" "" "$INSTDIR\quorvel.exe" 0 SW_SHOWNORMAL "" "Quorvel"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quorvel"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Quorvel developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorvel.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what the installer put there. The settings in %APPDATA%\quorvel stay, for a later install;
; the run-at-logon link the program may have made would point nowhere, so it goes too.
Section "Uninstall"
    SetRegView 64
    Call un.EndRunningQuorvel
    Delete "$INSTDIR\quorvel.exe"
    Delete "$INSTDIR\quorvel-replay.exe"
    Delete "$INSTDIR\README.md"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    SetShellVarContext current
    Delete "$SMSTARTUP\quorvel.lnk"
    SetShellVarContext all
    Delete "$SMPROGRAMS\Quorvel.lnk"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_OK|MB_ICONSTOP "Quorvel needs 64-bit Windows."
        Abort
    ${EndIf}
FunctionEnd
