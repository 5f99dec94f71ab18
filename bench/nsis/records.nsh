; What both peer installers share: a plain window with the folder page (the
; bench starts the example installer with it and closes it; with -DSHOWN only
; the progress page, which starts at once), files stored
; uncompressed (so the comparison is of the write path), the same registry
; records as Brunvald.exe writes, and an uninstaller that removes them.
;   makensis -DMISSION=<mission folder> -DOUT=<installer.exe> [-DTARGET=amd64-unicode] [-DSHOWN] <script>.nsi
!ifdef TARGET
Target ${TARGET}
!endif
Unicode true
SetCompress off
; Files get the time they are written (the bench times the writes by them),
; not the time they had when the script was built.
SetDateSave off
RequestExecutionLevel admin
XPStyle on
OutFile "${OUT}"
Name "Vantorel Mission : ${NAME}"
InstallDir "C:\Spiele\Kaiser"
!ifdef SHOWN
; Shown as Brunvald.exe is while it writes: its window with the progress, no
; page to confirm first, closed when done.
AutoCloseWindow true
Page instfiles
!else
Page directory
Page instfiles
!endif
UninstPage instfiles

!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Vantorel Mission : ${NAME}"
!define MAKER_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Vantorel"

!macro Records
  WriteUninstaller "$INSTDIR\Data\${MARKER}-uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${U+00A9}Vantorel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Vantorel Mission : ${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Data\${MARKER}-uninstall.exe"'
  WriteRegStr HKLM "${MAKER_KEY}" "CampExists" "1"
  WriteRegStr HKLM "${MAKER_KEY}" "CampMarker" "${MARKER}"
  WriteRegStr HKLM "${MAKER_KEY}" "CampName" "${NAME}"
  WriteRegStr HKLM "${MAKER_KEY}" "CampBuild" "1.2.6593.38686"
  WriteRegStr HKLM "${MAKER_KEY}" "CampPicture" "5.3.2.5"
  WriteRegStr HKLM "${MAKER_KEY}" "CampVersion" "1.0.1.0"
!macroend

!macro RemoveRecords
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegValue HKLM "${MAKER_KEY}" "CampMarker"
  DeleteRegValue HKLM "${MAKER_KEY}" "CampName"
  Delete "$INSTDIR\${MARKER}-uninstall.exe"
!macroend

; The bench reads the peak memory of an install from /proc while the process
; still exists: a second's pause after the last step.
Function .onInstSuccess
  Sleep 1000
FunctionEnd
