# Checks a mission folder's manifest and writes the resource script that
# embeds the mission into an installer. Run in script mode at build time:
#
#   cmake -DMISSION_DIR=<dir> -DOUTPUT=<file.rc> -DFONT=<font file>
#         -DAPP_MANIFEST=<file.manifest> -P installer_rc.cmake
#
# The manifest ("RCRES" in the mission folder) lists one resource-script
# statement per line, e.g.   MainPic RT_RCDATA "China_FE_MainMenu.jpg"
# Its lines go into the script exactly as they stand. The script includes no
# Windows header before them, so RT_RCDATA there is a type *named* "RT_RCDATA",
# which is where the installer looks for its payload. The file names are found
# through the include path, which the build points at the mission folder.
#
# A manifest the installer could not run safely is refused here, with the line
# that is wrong, so that no installer ever ships it.

cmake_minimum_required(VERSION 3.25)

foreach(var MISSION_DIR OUTPUT FONT APP_MANIFEST)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "installer_rc.cmake: ${var} is not set")
  endif()
endforeach()

set(manifest "${MISSION_DIR}/RCRES")
if(NOT EXISTS "${manifest}")
  message(FATAL_ERROR "Mission manifest missing: ${manifest} does not exist")
endif()

function(refuse line_no line why)
  message(FATAL_ERROR "${manifest}:${line_no}: ${why}\n  line: ${line}")
endfunction()

# ASCII only: the installer decodes a manifest without a byte-order mark in the
# system's ANSI code page, so anything above 127 would depend on the machine.
# A NUL would end the manifest early.
file(READ "${manifest}" hex HEX)
string(LENGTH "${hex}" hex_len)
if(hex_len EQUAL 0)
  message(FATAL_ERROR "${manifest}: the manifest is empty")
endif()
set(line_no 1)
math(EXPR last "${hex_len} - 2")
foreach(i RANGE 0 ${last} 2)
  string(SUBSTRING "${hex}" ${i} 2 byte)
  if(byte STREQUAL "0a")
    math(EXPR line_no "${line_no} + 1")
  elseif(byte STREQUAL "00")
    refuse(${line_no} "" "the manifest contains a NUL byte")
  elseif(byte MATCHES "^[89a-f]")
    math(EXPR offset "${i} / 2")
    refuse(${line_no} "" "the manifest is not ASCII (byte 0x${byte} at offset ${offset})")
  endif()
endforeach()

# Split into lines the way the installer does: CR LF, a lone CR and a lone LF
# each end one line; a break at the very end adds no line. Semicolons and
# brackets would confuse CMake's lists, so they travel as placeholders.
file(READ "${manifest}" text)
string(REPLACE ";" "<semicolon>" text "${text}")
string(REPLACE "[" "<lbracket>" text "${text}")
string(REPLACE "]" "<rbracket>" text "${text}")
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\r" "\n" text "${text}")
string(REGEX REPLACE "\n$" "" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

set(statements "")
set(names "")
set(camp_pak "")
set(camp_ini "")
set(line_no 0)
foreach(line IN LISTS lines)
  math(EXPR line_no "${line_no} + 1")
  string(REPLACE "<semicolon>" ";" line "${line}")
  string(REPLACE "<lbracket>" "[" line "${line}")
  string(REPLACE "<rbracket>" "]" line "${line}")
  if(line STREQUAL "")
    # The installer skips an empty line; the resource compiler ignores it.
    continue()
  endif()
  if(NOT line MATCHES "^([A-Za-z_][A-Za-z0-9_]*) RT_RCDATA \"([^\"]*)\"$")
    refuse(${line_no} "${line}" "not a statement of the form: Name RT_RCDATA \"file name\"")
  endif()
  set(name "${CMAKE_MATCH_1}")
  set(file_name "${CMAKE_MATCH_2}")
  if(file_name STREQUAL "")
    refuse(${line_no} "${line}" "the file name is empty")
  endif()
  # The installer puts a game folder in front of the name; a path in it would
  # write outside the game's folders.
  if(file_name MATCHES "[\\\\/:]" OR file_name MATCHES "^\\.+$")
    refuse(${line_no} "${line}" "the file name must be a bare name without a folder")
  endif()
  string(TOUPPER "${name}" upper)
  if(upper STREQUAL "RCRES")
    refuse(${line_no} "${line}" "the name RCRES is the manifest's own")
  endif()
  if(upper IN_LIST names)
    refuse(${line_no} "${line}" "the resource name ${name} is listed twice (names ignore letter case)")
  endif()
  list(APPEND names "${upper}")
  if(NOT EXISTS "${MISSION_DIR}/${file_name}" OR IS_DIRECTORY "${MISSION_DIR}/${file_name}")
    refuse(${line_no} "${line}" "the listed file \"${file_name}\" is not in ${MISSION_DIR}")
  endif()

  # The installer takes the mission's name from the line that contains
  # "CampPak" and its marker from the line that contains "CampInI", anywhere
  # in the line: a file name containing them would steal the identity.
  string(LENGTH "${file_name}" file_len)
  if(line MATCHES "CampPak")
    if(NOT name STREQUAL "CampPak")
      refuse(${line_no} "${line}" "only the CampPak line may contain the word CampPak")
    endif()
    if(file_len LESS_EQUAL 4)
      refuse(${line_no} "${line}" "the CampPak file name must be the mission's name and a four-character extension such as .pak")
    endif()
    set(camp_pak "${file_name}")
  endif()
  if(line MATCHES "CampInI")
    if(NOT name STREQUAL "CampInI")
      refuse(${line_no} "${line}" "only the CampInI line may contain the word CampInI")
    endif()
    if(file_len LESS_EQUAL 4)
      refuse(${line_no} "${line}" "the CampInI file name must be the mission's marker and a four-character extension such as .ini")
    endif()
    set(camp_ini "${file_name}")
  endif()
  # The campaign's folder is the CampSet name less its last three characters;
  # a shorter name would make it the folder of all campaigns, which the
  # uninstaller deletes whole.
  if(name STREQUAL "CampSet" AND file_len LESS_EQUAL 3)
    refuse(${line_no} "${line}" "the CampSet file name must have more than three characters (a name and a three-letter extension)")
  endif()
  string(APPEND statements "${line}\n")
endforeach()

if(camp_pak STREQUAL "")
  message(FATAL_ERROR "${manifest}: no CampPak line; the mission's name comes from it (e.g. CampPak RT_RCDATA \"Aurelmark.pak\")")
endif()
if(camp_ini STREQUAL "")
  message(FATAL_ERROR "${manifest}: no CampInI line; the mission's marker comes from it (e.g. CampInI RT_RCDATA \"ARMK.ini\")")
endif()

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

file(WRITE "${OUTPUT}" "${rc}")
