; The bench's 200 MB mission (build/bench/mission-200, made by bench/run.py):
; the campaign package first, then the four big maps, in the order of its
; manifest, so that the files' times mark the same span as for Brunvald.exe.
!define NAME "Schwerland"
!define MARKER "SCHW"
!include "${__FILEDIR__}\records.nsh"

Section
  SetOutPath "$INSTDIR\Campaigns"
  File "${MISSION}/Schwerland.pak"
  SetOutPath "$INSTDIR\Cities"
  File "${MISSION}/Schwer1.map"
  File "${MISSION}/Schwer2.map"
  File "${MISSION}/Schwer3.map"
  File "${MISSION}/Schwer4.map"
  SetOutPath "$INSTDIR\Campaigns\Schwerland"
  File "${MISSION}/Schwerland.set"
  !insertmacro Records
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\..\Cities\Schwer1.map"
  Delete "$INSTDIR\..\Cities\Schwer2.map"
  Delete "$INSTDIR\..\Cities\Schwer3.map"
  Delete "$INSTDIR\..\Cities\Schwer4.map"
  Delete "$INSTDIR\..\Campaigns\Schwerland.pak"
  RMDir /r "$INSTDIR\..\Campaigns\Schwerland"
  !insertmacro RemoveRecords
SectionEnd
