# Drives TARNEX.dll through programs of the platform's own, under Wine:
#   cmake -DMODE=registration|late_bound -DWINE=... -DPREFIX=... -DDLL=...
#         [-DSCRIPT=late_bound.vbs -DRECORDER=... -DSCRATCH=...] -P wine_client.cmake
# regsvr32, reg and cscript are Wine's; paths go to them in their Windows form.

function(windows_path out path)
  string(REPLACE "/" "\\" path "${path}")
  set(${out} "Z:${path}" PARENT_SCOPE)
endfunction()

set(WINE_LOG ${CMAKE_CURRENT_BINARY_DIR}/wine_client_${MODE}.log)
set(WINE_UNSET --unset=DISPLAY --unset=WAYLAND_DISPLAY)
set(WINE_OVERRIDES "mscoree,mshtml=")
include(${CMAKE_CURRENT_LIST_DIR}/../wine_calls.cmake)

# Each Wine program would otherwise start and stop the prefix's server and
# services anew (seconds each): keep the server up while this test runs.
wineserver(-p 15)

windows_path(dll "${DLL}")
set(keys
    "HKCR\\CLSID\\{6B052344-3CBC-46B7-B6E3-E378925A60C2}\\InprocServer32"
    "HKCR\\TARNEX.CTarnex\\CLSID"
    "HKCR\\TypeLib\\{7BEC6F27-E895-4A64-8719-25427323E25A}\\7.0"
    "HKCR\\Interface\\{E053F8F2-1511-4E9A-B8E1-A04BA0328FEA}\\TypeLib")

wine(code output regsvr32 /s ${dll})
if(NOT code EQUAL 0)
  message(FATAL_ERROR "regsvr32 /s ${dll} failed (${code}): ${output}")
endif()

if(MODE STREQUAL "registration")
  wine(code output reg query "HKCR\\CLSID\\{6B052344-3CBC-46B7-B6E3-E378925A60C2}" /s)
  foreach(expected "${dll}" "ThreadingModel    REG_SZ    Apartment" "TARNEX.CTarnex")
    string(FIND "${output}" "${expected}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "the class key lacks '${expected}':\n${output}")
    endif()
  endforeach()
  foreach(key IN LISTS keys)
    wine(code output reg query "${key}")
    if(NOT code EQUAL 0)
      message(FATAL_ERROR "after registration '${key}' is missing:\n${output}")
    endif()
  endforeach()
  wine(code output regsvr32 /u /s ${dll})
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "regsvr32 /u /s failed (${code}): ${output}")
  endif()
  # Everything it wrote goes, the parent keys of class, name, library and interface included.
  foreach(key "HKCR\\CLSID\\{6B052344-3CBC-46B7-B6E3-E378925A60C2}" "HKCR\\TARNEX.CTarnex"
              "HKCR\\TypeLib\\{7BEC6F27-E895-4A64-8719-25427323E25A}"
              "HKCR\\Interface\\{E053F8F2-1511-4E9A-B8E1-A04BA0328FEA}")
    wine(code output reg query "${key}")
    if(code EQUAL 0)
      message(FATAL_ERROR "after unregistration '${key}' is still there:\n${output}")
    endif()
  endforeach()
elseif(MODE STREQUAL "late_bound")
  file(REMOVE_RECURSE ${SCRATCH})
  file(MAKE_DIRECTORY ${SCRATCH}/files ${SCRATCH}/records)
  get_filename_component(dll_dir "${DLL}" DIRECTORY)
  file(REMOVE ${dll_dir}/TARNEX.ini)
  windows_path(script "${SCRIPT}")
  windows_path(recorder "${RECORDER}")
  windows_path(files "${SCRATCH}/files")
  windows_path(records "${SCRATCH}/records")
  windows_path(folder "${dll_dir}")
  list(APPEND WINE_ENV TARNEX_RECORD_DIR=${records})
  wine(code output cscript //nologo ${script} ${recorder} ${files} ${folder})
  wine(ignored ignored regsvr32 /u /s ${dll})
  file(REMOVE ${dll_dir}/TARNEX.ini)
  message("${output}")
  if(NOT output MATCHES "(^|\n)PASS\r?\n?$")
    message(FATAL_ERROR "the script did not end with PASS (exit ${code})")
  endif()
else()
  message(FATAL_ERROR "unknown MODE '${MODE}'")
endif()
