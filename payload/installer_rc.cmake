# Checks a mission folder's manifest and writes the resource script that
# embeds the mission into an installer. Run in script mode at build time:
#
#   cmake -DCHECKER=<brunvald-pack> -DMISSION_DIR=<dir> -DOUTPUT=<file.rc>
#         -DFONT=<font file> -DAPP_MANIFEST=<file.manifest> -P installer_rc.cmake
#
# The manifest ("RCRES" in the mission folder) lists one resource-script
# statement per line, e.g.   MainPic RT_RCDATA "China_FE_MainMenu.jpg"
# Its lines go into the script exactly as they stand. The script includes no
# Windows header before them, so RT_RCDATA there is a type *named* "RT_RCDATA",
# which is where the installer looks for its payload. The file names are found
# through the include path, which the build points at the mission folder.
#
# A manifest the installer could not run safely is refused here, by
# CHECKER --check, with the line that is wrong, so that no installer ever
# ships it.

cmake_minimum_required(VERSION 3.25)

foreach(var CHECKER MISSION_DIR OUTPUT FONT APP_MANIFEST)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "installer_rc.cmake: ${var} is not set")
  endif()
endforeach()

set(manifest "${MISSION_DIR}/RCRES")

# The rules live in one place, the mission builder's check (see
# core/manifest_check.h); it writes the statements it accepted, one per line.
set(statements_file "${OUTPUT}.statements")
file(REMOVE "${statements_file}")
execute_process(COMMAND "${CHECKER}" --check "${MISSION_DIR}" --statements "${statements_file}"
                RESULT_VARIABLE result OUTPUT_VARIABLE refusal ERROR_VARIABLE refusal)
if(NOT result EQUAL 0)
  string(STRIP "${refusal}" refusal)
  if(refusal STREQUAL "")
    set(refusal "the manifest check ${CHECKER} ended with ${result}")
  endif()
  message(FATAL_ERROR "${refusal}")
endif()
file(READ "${statements_file}" statements)
file(REMOVE "${statements_file}")

string(CONCAT rc
  "// Generated from ${manifest} by installer_rc.cmake. Do not edit.\n"
  "// No Windows header is included: RT_RCDATA below is a type named \"RT_RCDATA\".\n"
  "\n"
  "LANGUAGE 7, 1\n"
  "\n"
  "RCRES RT_RCDATA \"${manifest}\"\n"
  "${statements}"
  "\n"
  "// The window's title font: type \"China\", name \"TTF\".\n"
  "TTF China \"${FONT}\"\n"
  "\n"
  "LANGUAGE 9, 1\n"
  "\n"
  "1 24 \"${APP_MANIFEST}\"\n"
  "\n"
  "1 VERSIONINFO\n"
  "FILEVERSION 1,2,6593,38686\n"
  "PRODUCTVERSION 1,2,0,0\n"
  "FILEFLAGSMASK 0x3F\n"
  "FILEFLAGS 0x0\n"
  "FILEOS 0x4\n"
  "FILETYPE 0x1\n"
  "FILESUBTYPE 0x0\n"
  "BEGIN\n"
  "  BLOCK \"StringFileInfo\"\n"
  "  BEGIN\n"
  "    BLOCK \"040904E4\"\n"
  "    BEGIN\n"
  "      VALUE \"FileDescription\", \"Brunvald\"\n"
  "      VALUE \"FileVersion\", \"1.2.0.0\"\n"
  "      VALUE \"InternalName\", \"BRUNVALD\"\n"
  "      VALUE \"LegalCopyright\", \"Copyright (C) 2026 Vantorel. All rights reserved.\"\n"
  "      VALUE \"ProductName\", \"Brunvald\"\n"
  "      VALUE \"ProductVersion\", \"1.2.0.0\"\n"
  "      VALUE \"ProgramID\", \"de.vantorel.brunvald\"\n"
  "    END\n"
  "  END\n"
  "  BLOCK \"VarFileInfo\"\n"
  "  BEGIN\n"
  "    VALUE \"Translation\", 0x0409, 0x04E4\n"
  "  END\n"
  "END\n")

# Rewritten only when it changes, so that a rebuild of the checker alone does
# not recompile and relink every installer.
file(WRITE "${OUTPUT}.new" "${rc}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
