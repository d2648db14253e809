; The Windows installer, made by the Windows workflow with NSIS 3:
;   python stage.py uninstall <stage> <uninstall.nsh>
;   makensis /DSTAGE=<stage> /DUNINSTALL_LIST=<uninstall.nsh> /DOUTFILE=<setup.exe> installer.nsi
; where <stage> is the folder with the deployed program. The program is
; installed per user into a folder it can write to, so that its files (option
; lists, search state, autosave lists) stay beside the executable.
; Uninstalling removes exactly the files it installed, and a folder only once it
; is empty: the user's files stay, wherever they are in the folder.

; The installer's own architecture: x86 unless TARGET says otherwise (the
; Windows check runs an amd64-unicode one under a Wine without 32-bit support;
; the workflow's NSIS has the x86 stubs only).
!ifdef TARGET
  Target ${TARGET}
!endif
Unicode true
SetCompressor /SOLID lzma

!ifndef STAGE
  !define STAGE "..\..\stage"
!endif
!ifndef UNINSTALL_LIST
  !error "UNINSTALL_LIST: the uninstaller's file list, made by stage.py uninstall from the same stage"
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
Icon "velqordornavik.ico"
UninstallIcon "velqordornavik.ico"
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
  ; What the installer put here, from the stage it was made of.
  !include "${UNINSTALL_LIST}"
  Delete "$INSTDIR\uninstall.exe"
  ; Removed only when nothing of the user's is left in it.
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\${PRODUCT}"
SectionEnd
