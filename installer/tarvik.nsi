; The per-user installer of one architecture's program.
;   makensis -DVERSION=2.1.0 -DARCH=x64 -DPROGRAM=tarvik.exe -DICON=bulb.ico -DOUTFILE=setup.exe tarvik.nsi
; It never asks for elevation: the program goes where the user can write, so
; the settings file beside it can be saved.

Unicode true
!if "${ARCH}" == "x64"
  Target amd64-unicode
!else if "${ARCH}" == "x86"
  Target x86-unicode
!else
  !error "ARCH must be x64 or x86"
!endif
SetCompressor /SOLID lzma

!getdllversion "${PROGRAM}" PROGRAM_VERSION_
!if "${PROGRAM_VERSION_1}.${PROGRAM_VERSION_2}.${PROGRAM_VERSION_3}" != "${VERSION}"
  !error "the program's version resource does not say ${VERSION}"
!endif

!define PRODUCT "Tarvik"
!define PUBLISHER "Nolvar"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarvik"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Nolvar-Tarvik"
!define FRAME_CLASS "TarvikFrame"
!define EXIT_REFUSED 3

!include LogicLib.nsh
!include WordFunc.nsh
!include x64.nsh
; ${RunningX64} jumps on its own, so LogicLib's else labels after it stay unused.
!pragma warning disable 6012
!include WinMessages.nsh
!include MUI2.nsh

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
ManifestDPIAware true
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION} (${ARCH})"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\tarvik.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup (${ARCH})"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"

Var ClosedProgram

; A 32-bit installer on 64-bit Windows would otherwise see only the 32-bit
; half of HKLM; HKCU's keys used here are the same in both views.
!macro USE_NATIVE_REGISTRY_VIEW
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
!macroend

; Closes every running copy of the installed program the way log-off does, so
; that it saves its settings and lets its file be replaced or removed. Copies
; started from elsewhere are left alone.
!macro DEFINE_CLOSE_PROGRAM un
Function ${un}CloseProgram
  StrCpy $ClosedProgram 0
  FindWindow $R0 "${FRAME_CLASS}" "" 0 0
  ${DoWhile} $R0 != 0
    System::Call 'user32::GetWindowThreadProcessId(p R0, *i 0 R1)'
    ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION
    System::Call 'kernel32::OpenProcess(i 0x101000, i 0, i R1) p.R2'
    System::Call 'kernel32::QueryFullProcessImageNameW(p R2, i 0, w.R3, *i ${NSIS_MAX_STRLEN})'
    StrCpy $R4 ""
    ${If} $R3 == "$INSTDIR\tarvik.exe"
      System::Call 'user32::PostMessageW(p R0, i ${WM_CLOSE}, p 0, p 0)'
      System::Call 'kernel32::WaitForSingleObject(p R2, i 10000) i.R4'
      StrCpy $ClosedProgram 1
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p R2)'
    ; WAIT_OBJECT_0: that window is gone, so the search starts again.
    ${If} $R4 == 0
      StrCpy $R0 0
    ${EndIf}
    FindWindow $R0 "${FRAME_CLASS}" "" 0 $R0
  ${Loop}
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_PROGRAM ""
!insertmacro DEFINE_CLOSE_PROGRAM "un."

Function .onInit
  SetShellVarContext current
  !insertmacro USE_NATIVE_REGISTRY_VIEW
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $0 != ""
    ${VersionCompare} $0 "${VERSION}" $1
    ${If} $1 == 1
      MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} $0 is installed, which is newer than this \
        ${PRODUCT} ${VERSION}. Nothing was changed.$\r$\n$\r$\nTo go back to ${VERSION}, \
        first uninstall ${PRODUCT} $0 in Settings > Apps." /SD IDOK
      SetErrorLevel ${EXIT_REFUSED}
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  Call CloseProgram
  File "/oname=tarvik.exe" "${PROGRAM}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\tarvik.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tarvik.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "VersionMajor" ${PROGRAM_VERSION_1}
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "VersionMinor" ${PROGRAM_VERSION_2}
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; Shown, the finish page offers the start instead: two copies would share one file.
  ${If} $ClosedProgram == 1
  ${AndIf} ${Silent}
    Exec '"$INSTDIR\tarvik.exe"'
  ${EndIf}
SectionEnd

Function un.onInit
  SetShellVarContext current
  !insertmacro USE_NATIVE_REGISTRY_VIEW
FunctionEnd

; The autorun value goes only when it starts this copy: one that starts a copy
; kept elsewhere is that copy's. The machine-wide one cannot go without
; administrator rights.
!macro REMOVE_RUN_VALUE ROOT
  ReadRegStr $0 ${ROOT} "${RUN_KEY}" "${RUN_VALUE}"
  StrCpy $1 '"$INSTDIR\tarvik.exe"'
  StrLen $2 $1
  StrCpy $0 $0 $2
  ${If} $0 == $1
    DeleteRegValue ${ROOT} "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
!macroend

Section "Uninstall"
  Call un.CloseProgram
  Delete "$INSTDIR\tarvik.exe"
  Delete "$INSTDIR\uninstall.exe"
  ; The settings file stays: it is the user's data, and so does its folder.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  !insertmacro REMOVE_RUN_VALUE HKCU
  !insertmacro REMOVE_RUN_VALUE HKLM
  ${If} ${RunningX64}
    ; A 32-bit program writes its machine-wide value into the 32-bit view.
    SetRegView 32
    !insertmacro REMOVE_RUN_VALUE HKLM
    SetRegView 64
  ${EndIf}
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
