; The example mission (payload/mission/Aurelmark) as a peer installer would
; carry it: the same files into the same folders, the same records.
!define NAME "Aurelmark"
!define MARKER "ARMK"
!include "${__FILEDIR__}\records.nsh"

Section
  SetOutPath "$INSTDIR\Data"
  File "${MISSION}/China_FE_MainMenu.jpg"
  File "${MISSION}/China_MapOfChina01.jpg"
  SetOutPath "$INSTDIR\Cities"
  File "${MISSION}/ChengduAmk.map"
  File "${MISSION}/HangzhouAmk.map"
  File "${MISSION}/YushuAmk.map"
  SetOutPath "$INSTDIR\Campaigns"
  File "${MISSION}/Aurelmark.pak"
  SetOutPath "$INSTDIR\Campaigns\Aurelmark"
  File "${MISSION}/Aurelmark.set"
  File "${MISSION}/AurelmarkP.map"
  SetOutPath "$INSTDIR\Model"
  File "${MISSION}/EmperorBuildingModels.txt"
  File "${MISSION}/TreeImage.Index"
  File "${MISSION}/ResetTreeImage.Index"
  SetOutPath "$INSTDIR"
  File "${MISSION}/EmperorText.eng"
  !insertmacro Records
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\..\Cities\ChengduAmk.map"
  Delete "$INSTDIR\..\Cities\HangzhouAmk.map"
  Delete "$INSTDIR\..\Cities\YushuAmk.map"
  Delete "$INSTDIR\..\Campaigns\Aurelmark.pak"
  RMDir /r "$INSTDIR\..\Campaigns\Aurelmark"
  !insertmacro RemoveRecords
SectionEnd
