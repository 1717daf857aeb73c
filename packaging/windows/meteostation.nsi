; The Windows installer of "Метеостанция": per user, without administrator rights, into the
; user's programs folder; Start-menu entries for the program and the demo; an uninstaller listed in
; "Приложения и возможности" that removes the program (and its autostart entry) and keeps the data
; folder %LOCALAPPDATA%\meteostation. A second run upgrades in place. Built on Linux by
; cmake/windows_installer.cmake:
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.2.0 -DFILES_NSH=files.nsh -DICON=meteostation.ico
;            -DOUTFILE=setup.exe meteostation.nsi
; files.nsh (made by installer_files.cmake) lists the files of the installed folder.
Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!ifndef VERSION | FILES_NSH | ICON | OUTFILE
  !error "VERSION, FILES_NSH, ICON and OUTFILE must be given with -D"
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "${FILES_NSH}"

!define PRODUCT "Метеостанция"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\meteostation"
; The program's autostart entry ("Запускать вместе с системой") is a value of this name here.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "meteostation"
; Exit code of a run that stopped because the program is running.
!define PROGRAM_RUNNING_EXIT 2

Name "${PRODUCT} ${VERSION}"
Caption "Установка программы «${PRODUCT}» ${VERSION}"
UninstallCaption "Удаление программы «${PRODUCT}»"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\meteostation"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка программы «${PRODUCT}» ${VERSION}"
VIAddVersionKey /LANG=1049 "CompanyName" "meteostation developers"
VIAddVersionKey /LANG=1049 "LegalCopyright" "meteostation developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\meteostation.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Запустить программу «${PRODUCT}»"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

; Stops the run, saying why, while a program of the installed folder runs: its files could be
; neither replaced nor removed. Windows refuses to open a running program's file for writing.
!macro STOP_WHILE_RUNNING UN
Function ${UN}StopWhileRunning
  ${ForEach} $R0 0 1 + 1
    ${If} $R0 == 0
      StrCpy $R1 "$INSTDIR\meteostation.exe"
    ${Else}
      StrCpy $R1 "$INSTDIR\meteostation-demo.exe"
    ${EndIf}
    ${If} ${FileExists} "$R1"
      ClearErrors
      FileOpen $R2 "$R1" a
      ${If} ${Errors}
        MessageBox MB_OK|MB_ICONSTOP "Программа «${PRODUCT}» сейчас работает. Закройте её (и её демонстрацию) и запустите $(^Name) снова." /SD IDOK
        SetErrorLevel ${PROGRAM_RUNNING_EXIT}
        Quit
      ${EndIf}
      FileClose $R2
    ${EndIf}
  ${Next}
FunctionEnd
!macroend
!insertmacro STOP_WHILE_RUNNING ""
!insertmacro STOP_WHILE_RUNNING "un."

Section "Программа"
  Call StopWhileRunning
  ; An earlier installation goes first, by its own uninstaller (the files it knows of), but its
  ; registry entries, shortcuts and the autostart entry stay: they are written anew or kept.
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    ExecWait '"$INSTDIR\uninstall.exe" /S /UPGRADE _?=$INSTDIR' $0
    ${If} $0 <> 0
      MessageBox MB_OK|MB_ICONSTOP "Не удалось удалить прежнюю версию из папки «$INSTDIR» (код $0)." /SD IDOK
      SetErrorLevel $0
      Quit
    ${EndIf}
    Delete "$INSTDIR\uninstall.exe"
  ${EndIf}

  !insertmacro MeteoInstallFiles
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\meteostation.exe" "" "$INSTDIR\meteostation.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} (демонстрация).lnk" "$INSTDIR\meteostation-demo.exe" "" "$INSTDIR\meteostation-demo.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "meteostation developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\meteostation.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Var Upgrade

Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/UPGRADE" $R1
  ${IfNot} ${Errors}
    StrCpy $Upgrade 1
  ${EndIf}
  Call un.StopWhileRunning
FunctionEnd

Section "Uninstall"
  !insertmacro MeteoRemoveFiles
  ${If} $Upgrade != 1
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} (демонстрация).lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  ; The data folder, %LOCALAPPDATA%\meteostation, stays: it holds the station's history.
SectionEnd
