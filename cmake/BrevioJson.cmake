# brevio_json: the header-only JSON library (Debian's nlohmann-json3-dev) for
# the targets that write or read --json documents.
#
# A cross build finds only the target system's headers, and must not search
# the host's /usr/include as a whole (its C library headers would stand in
# for mingw's). It gets a folder of its own in the build tree that holds
# nothing but a link to the library's header folder.
add_library(brevio_json INTERFACE)
if(CMAKE_CROSSCOMPILING)
  find_path(BREVIO_JSON_HOST_INCLUDE nlohmann/json.hpp
            PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT BREVIO_JSON_HOST_INCLUDE)
    message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev")
  endif()
  set(json_include ${PROJECT_BINARY_DIR}/json-include)
  file(MAKE_DIRECTORY ${json_include})
  file(CREATE_LINK ${BREVIO_JSON_HOST_INCLUDE}/nlohmann ${json_include}/nlohmann SYMBOLIC)
  target_include_directories(brevio_json SYSTEM INTERFACE ${json_include})
else()
  find_package(nlohmann_json 3.10 REQUIRED)
  target_link_libraries(brevio_json INTERFACE nlohmann_json::nlohmann_json)
endif()
