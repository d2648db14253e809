; The Windows installer, made by the Windows workflow with NSIS 3:
;   makensis /DSTAGE=<folder with the deployed program> /DOUTFILE=<setup.exe> installer.nsi
; The program is installed per user into a folder it can write to, so that its
; files (option lists, search state, autosave lists) stay beside the executable.
; Uninstalling removes the program and keeps those files.

Unicode true
SetCompressor /SOLID lzma

!ifndef STAGE
  !define STAGE "..\..\stage"
!endif
!ifndef OUTFILE
  !define OUTFILE "velqordornavik-setup.exe"
!endif
!ifndef VERSION
  !define VERSION "2.0"
!endif
!define PRODUCT "VelqorDornavik"
!define EXE "velqordornavik.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "Software\${PRODUCT}" "InstallDir"
RequestExecutionLevel user
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\${EXE}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKCU "Software\${PRODUCT}" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; The program's own files: executables, libraries, Qt's data and every
  ; subfolder (all made by the deployment). The user's .ini and .txt files stay.
  Delete "$INSTDIR\*.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\*.pak"
  Delete "$INSTDIR\*.dat"
  Delete "$INSTDIR\*.bin"
  Delete "$INSTDIR\*.conf"
  Delete "$INSTDIR\README.md"
  FindFirst $0 $1 "$INSTDIR\*.*"
  subfolders:
    StrCmp $1 "" subfoldersDone
    StrCmp $1 "." nextSubfolder
    StrCmp $1 ".." nextSubfolder
    IfFileExists "$INSTDIR\$1\*.*" 0 nextSubfolder
      RMDir /r "$INSTDIR\$1"
    nextSubfolder:
    FindNext $0 $1
    Goto subfolders
  subfoldersDone:
  FindClose $0
  ; Removed only when nothing of the user's is left in it.
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\${PRODUCT}"
SectionEnd
