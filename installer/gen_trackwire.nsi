; Setup for gen_trackwire.dll: copies the plug-in into the player's Plugins
; folder, optionally installs the stream-overlay receiver in a folder of its
; own with a Start-menu entry, and registers an uninstaller. Built by
; installer/build.sh, which defines DLL (the shipped gen_trackwire.dll),
; RECEIVER (the shipped trackwire_receiver.exe) and OUTFILE.
;
; Silent: /S [/RECEIVER [/NOSTART] [/NOAUTOSTART]] [/D=player folder]; the
; receiver only with /RECEIVER, and then it starts at the end unless /NOSTART
; and at log-on unless /NOAUTOSTART.
; Exit codes: 0 done, 2 no winamp.exe in the folder, 3 the player is running;
; NSIS's own otherwise (1 cancelled).

!ifndef DLL | RECEIVER | OUTFILE
  !error "makensis -DDLL=gen_trackwire.dll -DRECEIVER=trackwire_receiver.exe -DOUTFILE=setup.exe gen_trackwire.nsi"
!endif

Unicode true
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define PRODUCT "WinAmp Tunebeacon"
!define VERSION "1.0"
!define UNINSTALLER "gen_trackwire_uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\gen_trackwire"
!define PLAYER_CLASS "Winamp v1.x"
; All-users context: every account and any administrator's uninstall see these.
!define RECEIVER_DIR "$PROGRAMFILES\${PRODUCT} Receiver"
!define RECEIVER_LINK "$SMPROGRAMS\${PRODUCT} Receiver.lnk"
!define SONG_DIR "$DOCUMENTS\${PRODUCT}"
; The receiver's own "Start when I log on" writes and removes the same value.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "${PRODUCT} Receiver"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
; The trailing \ keeps Browse from appending "Winamp" to the chosen folder.
InstallDir "$PROGRAMFILES\Winamp\"
; The player's own installer records its folder here.
InstallDirRegKey HKCU "Software\Winamp" ""
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileDescription "${PRODUCT} ${VERSION} Setup"
; A standard key: without it makensis warns, and -WX fails the build.
VIAddVersionKey /LANG=1033 LegalCopyright ""

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh
!include WinVer.nsh

!define MUI_ABORTWARNING
; One dialog serves both components pages; the texts say what each box does.
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "The stream overlay receiver takes the plug-in's reports on this PC for an OBS overlay. It gets its own folder and a Start-menu entry, starts when you log on if you keep that ticked, and writes the song files into Public Documents\${PRODUCT}."
!define MUI_COMPONENTSPAGE_TEXT_COMPLIST "Components to install:"
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_PAGE_HEADER_TEXT "Choose the Player Folder"
!define MUI_PAGE_HEADER_SUBTEXT "The plug-in goes into the Plugins folder of the player."
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup will copy gen_trackwire.dll into the Plugins folder of the player installed in the folder below. To use another installation of the player, click Browse and select its folder (the one that holds winamp.exe). Close the player before you click Install."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Player folder"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; The log stays until Next: its lines say where the song files go.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_FINISHPAGE_NOREBOOTSUPPORT
!define MUI_FINISHPAGE_TEXT "Start the player: the plug-in is under$\r$\nPreferences, Plug-ins, General Purpose,$\r$\n$\"${PRODUCT} v${VERSION}$\"."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start the receiver now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartReceiver
!define MUI_FINISHPAGE_SHOWREADME
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Open the control page"
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION OpenControlPage
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
!insertmacro MUI_PAGE_FINISH

!define MUI_PAGE_HEADER_TEXT "Uninstall ${PRODUCT}"
!define MUI_PAGE_HEADER_SUBTEXT "Remove gen_trackwire.dll from the player."
!define MUI_COMPONENTSPAGE_TEXT_TOP "This removes gen_trackwire.dll from $INSTDIR\Plugins, and the stream overlay receiver. The settings (gen_trackwire.ini: host, port and request path) stay unless you tick the box below."
!define MUI_COMPONENTSPAGE_TEXT_COMPLIST " "
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; A loaded plug-in file cannot be replaced: the player must be closed.
!macro WAIT_FOR_PLAYER prefix
Function ${prefix}WaitForPlayer
  retry:
  FindWindow $0 "${PLAYER_CLASS}"
  ${If} $0 <> 0
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "The player is running. Close it, then click Retry." /SD IDCANCEL IDRETRY retry
    SetErrorLevel 3
    Quit
  ${EndIf}
FunctionEnd
!macroend
!insertmacro WAIT_FOR_PLAYER ""
!insertmacro WAIT_FOR_PLAYER "un."

; A running receiver holds its program file: each one in this session is
; asked to end (its icon's "Exit"), then its file is waited for, 10 s at most.
!define RECEIVER_WINDOW_CLASS "WinAmpTunebeaconReceiverTray"
!macro END_RECEIVERS prefix
Function ${prefix}EndReceivers
  StrCpy $1 0
  ${Do}
    FindWindow $0 "${RECEIVER_WINDOW_CLASS}"
    ${IfThen} $0 = 0 ${|} ${ExitDo} ${|}
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=10000
    IntOp $1 $1 + 1
  ${LoopUntil} $1 >= 16
  ${If} $1 > 0
    DetailPrint "Ended the running receiver"
  ${EndIf}
  ${If} ${FileExists} "${RECEIVER_DIR}\trackwire_receiver.exe"
    StrCpy $1 0
    ${Do}
      ClearErrors
      FileOpen $0 "${RECEIVER_DIR}\trackwire_receiver.exe" a
      ${IfNot} ${Errors}
        FileClose $0
        ${ExitDo}
      ${EndIf}
      Sleep 100
      IntOp $1 $1 + 1
    ${LoopUntil} $1 >= 100
  ${EndIf}
FunctionEnd
!macroend
!insertmacro END_RECEIVERS ""
!insertmacro END_RECEIVERS "un."

Function CheckFolder
  ${IfNot} ${FileExists} "$INSTDIR\winamp.exe"
    MessageBox MB_OK|MB_ICONEXCLAMATION \
      "There is no winamp.exe in$\r$\n$INSTDIR$\r$\n$\r$\nChoose the folder the player is installed in." \
      /SD IDOK
    ${If} ${Silent}
      SetErrorLevel 2
      Quit
    ${EndIf}
    Abort
  ${EndIf}
FunctionEnd

Function DirectoryLeave
  Call CheckFolder
  Call WaitForPlayer
FunctionEnd

Section "gen_trackwire.dll (the plug-in)" PLUGIN_SECTION
  SectionIn RO
  SetOutPath "$INSTDIR\Plugins"
  File "/oname=gen_trackwire.dll" "${DLL}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
SectionEnd

SectionGroup /e "Stream overlay receiver"
Section "The receiver and its Start-menu entry" RECEIVER_SECTION
  SetShellVarContext all
  Call EndReceivers
  SetOutPath "${RECEIVER_DIR}"
  File "/oname=trackwire_receiver.exe" "${RECEIVER}"
  ; The shortcut's working folder is $OUTDIR: the song files' folder, too.
  SetOutPath "${SONG_DIR}"
  ; The log's own line would name the whole Start-menu path, wider than the log.
  SetDetailsPrint none
  CreateShortCut "${RECEIVER_LINK}" "${RECEIVER_DIR}\trackwire_receiver.exe" \
    '--folder "${SONG_DIR}"' "" "" SW_SHOWNORMAL "" \
    "Takes the plug-in's reports for a stream overlay (http://127.0.0.1/?overlay=1) and writes the song files into ${SONG_DIR}"
  SetDetailsPrint both
  DetailPrint 'Start-menu entry: "${PRODUCT} Receiver"'
  ; One line each, as wide as the log shows without cutting.
  DetailPrint "The receiver writes now_playing.txt, now_playing.json,"
  DetailPrint "artist.txt, album.txt and title.txt into the folder"
  DetailPrint "${SONG_DIR}"
  SetShellVarContext current
SectionEnd

; HKCU is the hive of the account that setup runs as: when another account
; elevated it, that account's log-on starts the receiver, not the user's.
Section "Start the receiver when I log on" AUTOSTART_SECTION
  SetShellVarContext all
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" \
    '"${RECEIVER_DIR}\trackwire_receiver.exe" --folder "${SONG_DIR}"'
  SetShellVarContext current
  DetailPrint "The receiver starts when you log on"
SectionEnd
SectionGroupEnd

; Installing the receiver without the log-on start turns an earlier one off.
Section "-no log-on start"
  ${If} ${SectionIsSelected} ${RECEIVER_SECTION}
  ${AndIfNot} ${SectionIsSelected} ${AUTOSTART_SECTION}
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
SectionEnd

Section "-list entry"
  SectionGetSize ${PLUGIN_SECTION} $0
  ; A receiver from an earlier run is still installed, so it counts too.
  SetShellVarContext all
  ${If} ${FileExists} "${RECEIVER_DIR}\trackwire_receiver.exe"
    SectionGetSize ${RECEIVER_SECTION} $1
    IntOp $0 $0 + $1
  ${EndIf}
  SetShellVarContext current
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; As the user who is logged on, not elevated as setup is: the shell that is
; already running opens the Start-menu entry, which holds the receiver's
; folder and options.
Function StartReceiver
  SetShellVarContext all
  Exec '"$WINDIR\explorer.exe" "${RECEIVER_LINK}"'
  SetShellVarContext current
FunctionEnd

; Waits 10 s at most for a receiver's icon, which comes once it listens.
Function WaitForReceiver
  StrCpy $1 0
  ${Do}
    FindWindow $0 "${RECEIVER_WINDOW_CLASS}"
    ${IfThen} $0 <> 0 ${|} ${ExitDo} ${|}
    Sleep 100
    IntOp $1 $1 + 1
  ${LoopUntil} $1 >= 100
FunctionEnd

; A second start while one runs opens the control page; the first start
; comes first, even when "Start the receiver now" was unticked.
Function OpenControlPage
  Call WaitForReceiver
  ${If} $0 = 0
    Call StartReceiver
    Call WaitForReceiver
  ${EndIf}
  ${If} $0 <> 0
    Call StartReceiver
  ${EndIf}
FunctionEnd

; Without the receiver installed now, its boxes are not offered.
Function FinishShow
  ${IfNot} ${SectionIsSelected} ${RECEIVER_SECTION}
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
    SendMessage $mui.FinishPage.ShowReadme ${BM_SETCHECK} ${BST_UNCHECKED} 0
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    ShowWindow $mui.FinishPage.ShowReadme ${SW_HIDE}
  ${EndIf}
FunctionEnd

; Silent: the finish page's first box, unless /NOSTART.
Function .onInstSuccess
  ${If} ${Silent}
  ${AndIf} ${SectionIsSelected} ${RECEIVER_SECTION}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/NOSTART" $1
    ${If} ${Errors}
      Call StartReceiver
    ${EndIf}
  ${EndIf}
FunctionEnd

; After the sections: it names one.
Function .onInit
  ; The receiver runs on Windows 7 and later: before, it stays unticked, and
  ; its line on the components page says why.
  ${IfNot} ${AtLeastWin7}
    !insertmacro UnselectSection ${RECEIVER_SECTION}
    !insertmacro UnselectSection ${AUTOSTART_SECTION}
    SectionSetText ${RECEIVER_SECTION} "The receiver (needs Windows 7 or later)"
  ${EndIf}
  ${If} ${Silent}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/RECEIVER" $1
    ${If} ${Errors}
      !insertmacro UnselectSection ${RECEIVER_SECTION}
      !insertmacro UnselectSection ${AUTOSTART_SECTION}
    ${EndIf}
    ClearErrors
    ${GetOptions} $0 "/NOAUTOSTART" $1
    ${IfNot} ${Errors}
      !insertmacro UnselectSection ${AUTOSTART_SECTION}
    ${EndIf}
    Call CheckFolder
    Call WaitForPlayer
  ${EndIf}
FunctionEnd

; The log-on start needs the receiver: ticking it ticks the receiver, and
; unticking the receiver unticks it.
Function .onSelChange
  ${If} $0 == ${AUTOSTART_SECTION}
    ${If} ${SectionIsSelected} ${AUTOSTART_SECTION}
      !insertmacro SelectSection ${RECEIVER_SECTION}
    ${EndIf}
  ${ElseIfNot} ${SectionIsSelected} ${RECEIVER_SECTION}
    !insertmacro UnselectSection ${AUTOSTART_SECTION}
  ${EndIf}
FunctionEnd

Function un.onInit
  Call un.WaitForPlayer
FunctionEnd

Section "-un.gen_trackwire.dll"
  Delete "$INSTDIR\Plugins\gen_trackwire.dll"
  ; Setup made the folder if there was none; an empty one is ours to remove.
  RMDir "$INSTDIR\Plugins"
  Delete "$INSTDIR\${UNINSTALLER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; The song files are output remade at every title; other files there stay.
Section "-un.receiver"
  SetShellVarContext all
  Call un.EndReceivers
  Delete "${RECEIVER_LINK}"
  Delete "${RECEIVER_DIR}\trackwire_receiver.exe"
  RMDir "${RECEIVER_DIR}"
  Delete "${SONG_DIR}\now_playing.txt"
  Delete "${SONG_DIR}\now_playing.json"
  Delete "${SONG_DIR}\artist.txt"
  Delete "${SONG_DIR}\album.txt"
  Delete "${SONG_DIR}\title.txt"
  ; The receiver's own history goes too; its settings and playout logs are
  ; the user's and stay.
  Delete "${SONG_DIR}\history.txt"
  Delete "${SONG_DIR}\history.json"
  RMDir "${SONG_DIR}"
  SetShellVarContext current
  ; As in setup: the hive of the account that uninstalls.
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
SectionEnd

; The player keeps its settings in its own folder or in %APPDATA%\Winamp.
Section /o "un.Remove the settings too"
  Delete "$INSTDIR\gen_trackwire.ini"
  Delete "$APPDATA\Winamp\gen_trackwire.ini"
SectionEnd
