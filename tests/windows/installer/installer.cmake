# The setup program under Wine, silent, in the installer tests' own prefix:
#   cmake -DMODE=fresh|default|broken -DWINE=... -DPREFIX=... -DSETUP=...
#         -DSTAGE=<installed tree> -DVERSION=... -DARCH=win64|win32 -DWORK=<scratch folder>
#         [-DPROBE=installer_window_probe.exe] [-DMAKENSIS=... -DSCRIPT=brevio.nsi]
#         -P installer.cmake
# fresh:   /S /D=<a new folder on C:>; the files, the class registration, the
#          Add/Remove Programs entry and the Start-menu entries are there,
#          Brevio.exe opens its window (PROBE, under a virtual X server), and
#          the entry's QuietUninstallString takes all of it away again.
# default: the same without /D: the setup's own folder in Program Files.
# broken:  a setup whose TARNEX.dll cannot be registered fails with status 3
#          and leaves nothing installed.
# upgrade: installed into one folder with its Brevio.exe running, a setup
#          into the same folder or another and the uninstaller all end with
#          status 4 and change nothing; with the program closed, a setup into
#          another folder removes the first installation, then as fresh.
cmake_minimum_required(VERSION 3.25)

# winemenubuilder is off so that Start-menu entries stay inside the prefix.
set(WINE_LOG ${WORK}.log)
set(WINE_OVERRIDES "mscoree,mshtml=;winemenubuilder.exe=d")
include(${CMAKE_CURRENT_LIST_DIR}/../wine_calls.cmake)

# The data of value `name` under `key` (empty name: the default value) into
# `out`; "<missing>" when the key or value does not exist.
function(reg_value out key name)
  if(name STREQUAL "")
    wine(code output reg query "${key}" /ve)
    set(name "\\(Default\\)")
  else()
    wine(code output reg query "${key}" /v "${name}")
  endif()
  if(code EQUAL 0 AND output MATCHES "\n    ${name}    REG_[A-Z_]+    ([^\r\n]*)")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${out} "<missing>" PARENT_SCOPE)
  endif()
endfunction()

function(key_exists out key)
  wine(code output reg query "${key}")
  if(code EQUAL 0)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

set(uninstall_key "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brevio")
set(clsid "{6B052344-3CBC-46B7-B6E3-E378925A60C2}")
# What registering TARNEX.dll writes; after removal the whole of each key is gone.
set(class_keys "HKCR\\CLSID\\${clsid}" "HKCR\\TARNEX.CTarnex"
               "HKCR\\TypeLib\\{7BEC6F27-E895-4A64-8719-25427323E25A}"
               "HKCR\\Interface\\{E053F8F2-1511-4E9A-B8E1-A04BA0328FEA}")
set(class_subkeys "HKCR\\TARNEX.CTarnex\\CLSID"
                  "HKCR\\TypeLib\\{7BEC6F27-E895-4A64-8719-25427323E25A}\\7.0"
                  "HKCR\\Interface\\{E053F8F2-1511-4E9A-B8E1-A04BA0328FEA}\\TypeLib")
set(start_menu "${PREFIX}/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Brevio")
# Whatever the ZIP has (the staged tree), and what Brevio.exe relies on.
file(GLOB_RECURSE files RELATIVE "${STAGE}" "${STAGE}/*")
list(APPEND files Brevio.exe TARNEX.dll tools/brevio_help.htm)
list(REMOVE_DUPLICATES files)

# Runs the uninstaller as Add/Remove Programs would, silently, and waits for
# it: it hands over to a copy of itself in the temporary folder and returns
# at once, so its end is seen when its entry is gone. `out_error` is empty
# on success, else says what went wrong.
function(uninstall out_error)
  reg_value(quiet "${uninstall_key}" QuietUninstallString)
  if(NOT quiet MATCHES "^\"([^\"]+)\" (.+)$")
    set(${out_error} "QuietUninstallString is '${quiet}', not a quoted program and a switch"
        PARENT_SCOPE)
    return()
  endif()
  wine(code output "${CMAKE_MATCH_1}" "${CMAKE_MATCH_2}")
  if(NOT code EQUAL 0)
    set(${out_error} "'${quiet}' ended with ${code}: ${output}" PARENT_SCOPE)
    return()
  endif()
  foreach(attempt RANGE 60)
    key_exists(present "${uninstall_key}")
    if(NOT present)
      set(${out_error} "" PARENT_SCOPE)
      return()
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 1)
  endforeach()
  set(${out_error} "a minute after '${quiet}' the entry ${uninstall_key} is still there"
      PARENT_SCOPE)
endfunction()

# The prefix is the installer tests' own. Its server and desktop start with
# the first program of a run and must see this run's X display (if any), so
# whatever an earlier run left running is ended first; the server then stays
# up for this run, instead of starting anew for every program.
wineserver(-k)
wineserver(-w)
wineserver(-p 15)

# A failed earlier run may have left an installation in the prefix, whole
# or in parts: removed as far as it goes, whatever its uninstaller says.
key_exists(leftover "${uninstall_key}")
if(leftover)
  uninstall(ignored)
  wine(code output reg delete "${uninstall_key}" /f)
endif()
file(REMOVE_RECURSE "${start_menu}")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

if(MODE STREQUAL "fresh")
  # On drive C of the prefix: /D= takes no quotes, and Wine quotes an
  # argument with a space, so the folder's path must have none.
  set(folder "${PREFIX}/drive_c/brevio-fresh/Brevio")
  set(win_folder "C:\\brevio-fresh\\Brevio")
  set(switches /S "/D=${win_folder}")
  file(REMOVE_RECURSE "${folder}")
elseif(MODE STREQUAL "default")
  # Where the setup of this bitness puts it: for a 64-bit setup the 64-bit
  # Program Files, never "Program Files (x86)".
  set(folder "${PREFIX}/drive_c/Program Files/Brevio")
  set(win_folder "C:\\Program Files\\Brevio")
  set(switches /S)
  file(REMOVE_RECURSE "${folder}")
elseif(MODE STREQUAL "upgrade")
  set(earlier "${PREFIX}/drive_c/brevio-earlier/Brevio")
  set(win_earlier "C:\\brevio-earlier\\Brevio")
  set(folder "${PREFIX}/drive_c/brevio-upgrade/Brevio")
  set(win_folder "C:\\brevio-upgrade\\Brevio")
  set(switches /S "/D=${win_folder}")
  file(REMOVE_RECURSE "${earlier}" "${folder}")
  wine(code output "${SETUP}" /S "/D=${win_earlier}")
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "the first install ended with ${code}: ${output}")
  endif()
  set(caption "Brevio ${VERSION}")
  wine(code output "${PROBE}" --start "${win_earlier}\\Brevio.exe" "${caption}" 30)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "Brevio.exe as installed first: ${output}")
  endif()
  # Marks that only a run which changes something would take away.
  wine(code output reg add "${uninstall_key}" /v DisplayVersion /d marked /f)
  file(APPEND "${earlier}/README-Windows.txt" "marked\r\n")
  # what | program | its arguments (comma-separated)
  foreach(row "a setup into the same folder|${SETUP}|/S,/D=${win_earlier}"
              "a setup into another folder|${SETUP}|/S,/D=${win_folder}"
              "the uninstaller|${earlier}/uninstall.exe|/S,_?=${win_earlier}")
    string(REPLACE "|" ";" row "${row}")
    list(GET row 0 what)
    list(GET row 1 program)
    list(GET row 2 arguments)
    string(REPLACE "," ";" arguments "${arguments}")
    wine(code output "${program}" ${arguments})
    if(NOT code EQUAL 4)
      message(FATAL_ERROR "with Brevio.exe running, ${what} ended with ${code}, not 4: ${output}")
    endif()
    reg_value(version "${uninstall_key}" DisplayVersion)
    reg_value(location "${uninstall_key}" InstallLocation)
    reg_value(server "HKCR\\CLSID\\${clsid}\\InprocServer32" "")
    file(READ "${earlier}/README-Windows.txt" readme)
    if(NOT version STREQUAL "marked" OR NOT location STREQUAL "${win_earlier}"
       OR NOT server STREQUAL "${win_earlier}\\TARNEX.dll" OR NOT readme MATCHES "marked\r?\n$"
       OR EXISTS "${folder}")
      message(FATAL_ERROR "with Brevio.exe running, ${what} changed the installation: entry "
                          "version '${version}', location '${location}', class server '${server}'")
    endif()
    foreach(name IN LISTS files ITEMS uninstall.exe)
      if(NOT EXISTS "${earlier}/${name}")
        message(FATAL_ERROR "with Brevio.exe running, ${what} removed ${name}")
      endif()
    endforeach()
  endforeach()
  wine(code output "${PROBE}" --close "${caption}" 30)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "Brevio.exe would not close: ${output}")
  endif()
  message(STATUS "with Brevio.exe running: status 4, nothing changed")
elseif(MODE STREQUAL "broken")
  # The shipped tree with a TARNEX.dll that regsvr32 cannot load.
  file(COPY "${STAGE}/" DESTINATION "${WORK}/stage")
  file(WRITE "${WORK}/stage/TARNEX.dll" "not a library\n")
  set(SETUP "${WORK}/brevio-broken.exe")
  execute_process(COMMAND ${MAKENSIS} -V1 -DVERSION=${VERSION} -DARCH=${ARCH}
                          -DSTAGE=${WORK}/stage -DOUTFILE=${SETUP} ${SCRIPT}
                  RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "makensis could not build the broken setup (${code})")
  endif()
  set(folder "${PREFIX}/drive_c/brevio-broken/Brevio")
  set(win_folder "C:\\brevio-broken\\Brevio")
  file(REMOVE_RECURSE "${folder}")
  wine(code output "${SETUP}" /S "/D=${win_folder}")
  if(NOT code EQUAL 3)
    message(FATAL_ERROR "the setup ended with ${code}, not 3, when registration failed: ${output}")
  endif()
  key_exists(entry "${uninstall_key}")
  foreach(left IN ITEMS "${folder}" "${start_menu}")
    if(EXISTS "${left}")
      message(FATAL_ERROR "a setup that failed left ${left} behind")
    endif()
  endforeach()
  if(entry)
    message(FATAL_ERROR "a setup that failed left its entry ${uninstall_key} behind")
  endif()
  message(STATUS "registration failure: status 3, nothing left behind")
  wineserver(-k)
  return()
else()
  message(FATAL_ERROR "unknown MODE '${MODE}'")
endif()

# ---- install
wine(code output "${SETUP}" ${switches})
if(NOT code EQUAL 0)
  message(FATAL_ERROR "'${SETUP} ${switches}' ended with ${code}: ${output}")
endif()
if(MODE STREQUAL "upgrade" AND EXISTS "${earlier}")
  file(GLOB_RECURSE remaining "${earlier}/*")
  message(FATAL_ERROR "the install into ${win_folder} left the earlier ${earlier}: ${remaining}")
endif()
foreach(name IN LISTS files)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${STAGE}/${name}" "${folder}/${name}"
                  RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${folder}/${name} is missing or not the built file")
  endif()
endforeach()
# Read with Notepad: CRLF line ends only. In hex, as file(READ) drops CRs;
# the text is ASCII, so "0a" and "0d0a" cannot match across bytes.
file(READ "${folder}/README-Windows.txt" readme HEX)
string(REGEX MATCHALL "0a" lf "${readme}")
string(REGEX MATCHALL "0d0a" crlf "${readme}")
list(LENGTH lf lf)
list(LENGTH crlf crlf)
if(lf EQUAL 0 OR NOT lf EQUAL crlf)
  message(FATAL_ERROR "README-Windows.txt: ${lf} lines, ${crlf} of them end in CRLF")
endif()
if(NOT EXISTS "${folder}/uninstall.exe")
  message(FATAL_ERROR "no uninstaller in ${folder}")
endif()

# name | expected data; the class's server is the installed DLL.
set(values
    "HKCR\\CLSID\\${clsid}\\InprocServer32||${win_folder}\\TARNEX.dll"
    "${uninstall_key}|DisplayName|Brevio"
    "${uninstall_key}|DisplayVersion|${VERSION}"
    "${uninstall_key}|Publisher|Brevio"
    "${uninstall_key}|UninstallString|\"${win_folder}\\uninstall.exe\""
    "${uninstall_key}|QuietUninstallString|\"${win_folder}\\uninstall.exe\" /S"
    "${uninstall_key}|InstallLocation|${win_folder}"
    "${uninstall_key}|DisplayIcon|${win_folder}\\Brevio.exe,0")
foreach(row IN LISTS values)
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 key)
  list(GET row 1 name)
  list(GET row 2 expected)
  reg_value(actual "${key}" "${name}")
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${key} '${name}' is '${actual}', expected '${expected}'")
  endif()
endforeach()
foreach(key IN LISTS class_subkeys)
  key_exists(present "${key}")
  if(NOT present)
    message(FATAL_ERROR "after the install '${key}' is missing")
  endif()
endforeach()

# shortcut | its target, as the shortcut file spells it out.
foreach(row "Brevio.lnk|${win_folder}\\Brevio.exe"
            "Brevio Help.lnk|${win_folder}\\tools\\brevio_help.htm")
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 link)
  list(GET row 1 target)
  if(NOT EXISTS "${start_menu}/${link}")
    message(FATAL_ERROR "no Start-menu entry ${start_menu}/${link}")
  endif()
  file(READ "${start_menu}/${link}" bytes HEX)
  string(HEX "${target}" target_hex)
  string(FIND "${bytes}" "${target_hex}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${start_menu}/${link} does not lead to ${target}")
  endif()
endforeach()

# ---- the installed program starts, finds its window's caption, and ends.
wine(code output "${PROBE}" "${win_folder}\\Brevio.exe" "Brevio ${VERSION}" 30)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "Brevio.exe as installed: ${output}")
endif()
message(STATUS "${output}")

# ---- uninstall
uninstall(error)
if(error)
  message(FATAL_ERROR "${error}")
endif()
foreach(left IN ITEMS "${folder}" "${start_menu}")
  if(EXISTS "${left}")
    file(GLOB_RECURSE remaining "${left}/*")
    message(FATAL_ERROR "after the uninstall ${left} is still there: ${remaining}")
  endif()
endforeach()
foreach(key IN LISTS class_keys)
  key_exists(present "${key}")
  if(present)
    message(FATAL_ERROR "after the uninstall '${key}' is still there")
  endif()
endforeach()
message(STATUS "installed into ${win_folder}, registered, started, uninstalled")
wineserver(-k)
