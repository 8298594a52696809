; qx27-setup.exe: installs the agent for the current user only, with no
; administrator rights, starts it at every logon and now.
;
;   makensis -DSTAGE=<folder with the files> -DICON=<icon> -DOUTFILE=<setup.exe>
;            -DVERSION=<x.y.z> qx27.nsi
;
; installer/make-package runs it with the project's version and file times
; fixed, so that the same files give the same setup.
; STAGE holds qx27agent.exe, Idwatch.dll, qx27ctl.exe and Lan/skin_En.ini, Lan/skin_Cs.ini.

Unicode true
; The agent is a 64-bit program; a 64-bit installer needs no 32-bit subsystem.
Target amd64-unicode
RequestExecutionLevel user
; Setup and its uninstaller: asInvoker, Vista through 10 and 11 (NSIS's
; default list), drawn for each monitor's scale.
ManifestSupportedOS all
ManifestDPIAware true
ManifestDPIAwareness "PerMonitorV2,System"
SetCompressor /SOLID lzma

!macro REQUIRE_DEFINE name
  !ifndef ${name}
    !error "${name} is not set: makensis -DSTAGE=folder -DICON=icon.ico -DOUTFILE=setup.exe -DVERSION=x.y.z qx27.nsi"
  !endif
!macroend
!insertmacro REQUIRE_DEFINE STAGE
!insertmacro REQUIRE_DEFINE ICON
!insertmacro REQUIRE_DEFINE OUTFILE
!insertmacro REQUIRE_DEFINE VERSION

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"

!define PRODUCT "VORN ELDAN QX27"
!define PUBLISHER "VORN"
!define AGENT "qx27agent.exe"
; The agent's window title, by which the companion UI finds it too.
!define AGENT_TITLE "VORN ELDAN QX27_Hid"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "VORN ELDAN QX27"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VORN ELDAN QX27"
!define UNINSTALLER "uninstall.exe"
; How long a closing agent may take before setup gives up on it.
!define CLOSE_TIMEOUT_MS 15000

; The agent carries the same version in its resource, as x.y.z.0; a setup that
; would register another version than the agent it installs is not built.
!getdllversion "${STAGE}/${AGENT}" AGENT_VERSION_
!if "${AGENT_VERSION_1}.${AGENT_VERSION_2}.${AGENT_VERSION_3}.${AGENT_VERSION_4}" != "${VERSION}.0"
  !error "${AGENT} is version ${AGENT_VERSION_1}.${AGENT_VERSION_2}.${AGENT_VERSION_3}.${AGENT_VERSION_4}, setup is ${VERSION}"
!endif

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An upgrade goes where the previous install went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} mouse agent setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_TEXT "The ${PRODUCT} agent is installed and running. It starts by itself each time you log on."

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Closes a running agent the way other programs are meant to: WM_CLOSE to its
; window, found by title alone. Waits on the process itself, because the window
; goes before the process has let go of its executable and its mutex.
; Leaves "" in $0 when no agent is left, or "busy" after a bounded wait.
!macro DEFINE_CLOSE_AGENT prefix
Function ${prefix}CloseAgent
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $0 ""
  ; One agent per logon session; a second round only catches one that started
  ; while the first was closing.
  ${For} $4 1 3
    FindWindow $1 "" "${AGENT_TITLE}"
    ${If} $1 = 0
      ${Break}
    ${EndIf}
    DetailPrint "Closing the running ${PRODUCT} agent"
    System::Call "user32::GetWindowThreadProcessId(p r1, *i .r2) i"
    ; SYNCHRONIZE: enough to wait on it.
    System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r2) p .r3"
    System::Call "user32::PostMessageW(p r1, i ${WM_CLOSE}, p 0, p 0)"
    ${If} $3 P<> 0
      System::Call "kernel32::WaitForSingleObject(p r3, i ${CLOSE_TIMEOUT_MS}) i .r2"
      System::Call "kernel32::CloseHandle(p r3)"
      ${If} $2 <> 0
        StrCpy $0 "busy"
        ${Break}
      ${EndIf}
    ${Else}
      ; No handle to wait on: wait for the window to go, then a moment more.
      StrCpy $2 0
      ${Do}
        Sleep 100
        IntOp $2 $2 + 100
        System::Call "user32::IsWindow(p r1) i .r3"
        ${If} $3 = 0
        ${OrIf} $2 >= ${CLOSE_TIMEOUT_MS}
          ${ExitDo}
        ${EndIf}
      ${Loop}
      ${If} $3 <> 0
        StrCpy $0 "busy"
        ${Break}
      ${EndIf}
      Sleep 1000
    ${EndIf}
  ${Next}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_AGENT ""
!insertmacro DEFINE_CLOSE_AGENT "un."

; Stops setup when the agent will not close: its files cannot be replaced or
; removed while it runs. Exit code 2 in silent mode.
!macro CLOSE_AGENT_OR_ABORT prefix
  retry_close:
  Call ${prefix}CloseAgent
  ${If} $0 == "busy"
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "The ${PRODUCT} agent is still running and did not close.$\r$\nEnd ${AGENT} in Task Manager, then choose Retry." \
      /SD IDCANCEL IDRETRY retry_close
    SetErrorLevel 2
    Abort "The ${PRODUCT} agent did not close."
  ${EndIf}
!macroend

Section "Agent" SecAgent
  SectionIn RO
  !insertmacro CLOSE_AGENT_OR_ABORT ""

  SetOutPath "$INSTDIR"
  File "${STAGE}/${AGENT}"
  File "${STAGE}/Idwatch.dll"
  File "${STAGE}/qx27ctl.exe"
  SetOutPath "$INSTDIR\Lan"
  File "${STAGE}/Lan/skin_En.ini"
  File "${STAGE}/Lan/skin_Cs.ini"

  ; The agent keeps its settings file and macro file here but never creates
  ; the folder; without it nothing the user sets is ever stored. Existing
  ; files in it are the user's and stay as they are.
  CreateDirectory "$APPDATA\VORN\ELDAN QX27"

  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\${AGENT}"'

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} mouse agent"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${AGENT},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K /G=1" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; The agent's working folder is the user's profile, not the program folder,
  ; so that it never holds that folder against an uninstall.
  SetOutPath "$PROFILE"
  DetailPrint "Starting the ${PRODUCT} agent"
  Exec '"$INSTDIR\${AGENT}"'
SectionEnd

Section "Uninstall"
  !insertmacro CLOSE_AGENT_OR_ABORT "un."

  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"

  Delete "$INSTDIR\${AGENT}"
  Delete "$INSTDIR\Idwatch.dll"
  Delete "$INSTDIR\qx27ctl.exe"
  Delete "$INSTDIR\Lan\skin_En.ini"
  Delete "$INSTDIR\Lan\skin_Cs.ini"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Not recursive: a companion UI installed into the same folder is not ours
  ; to remove, and the folder stays while it is there.
  RMDir "$INSTDIR\Lan"
  RMDir "$INSTDIR"

  ; The settings folder under the application-data folder is the user's and
  ; is left alone. The uninstall entry goes last: once it is gone, so is
  ; everything else.
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
