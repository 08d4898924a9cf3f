# Wine calls for the -P scripts of the Windows tests. Before including, set
# WINE, PREFIX and WINE_LOG (a scratch file); WINE_OVERRIDES (Wine's DLL
# overrides), WINE_UNSET (--unset=NAME ...) and WINE_ENV (NAME=value ...)
# adjust each program's environment.

# Runs a Wine program; the exit status lands in `out_code`, its output in
# `out_output`. The output goes through a file, not a pipe: the prefix's
# services, started by the first program, inherit it and outlive the call.
function(wine out_code out_output)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env ${WINE_UNSET} WINEPREFIX=${PREFIX} WINEDEBUG=-all
            "WINEDLLOVERRIDES=${WINE_OVERRIDES}" ${WINE_ENV} ${WINE} ${ARGN}
    RESULT_VARIABLE code OUTPUT_FILE ${WINE_LOG} ERROR_FILE ${WINE_LOG})
  file(READ ${WINE_LOG} output)
  file(REMOVE ${WINE_LOG})
  set(${out_code} ${code} PARENT_SCOPE)
  set(${out_output} "${output}" PARENT_SCOPE)
endfunction()

# Runs the prefix's server with these arguments (-p 15 keeps it up between
# programs, -k ends it, -w waits for it). Output to a file, not a pipe: a
# server this call starts holds its output for its whole life.
get_filename_component(wine_dir "${WINE}" DIRECTORY)
find_program(WINESERVER wineserver HINTS ${wine_dir} REQUIRED)
function(wineserver)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${PREFIX} ${WINESERVER} ${ARGN}
                  OUTPUT_FILE ${WINE_LOG}.server ERROR_FILE ${WINE_LOG}.server)
  file(REMOVE ${WINE_LOG}.server)
endfunction()
