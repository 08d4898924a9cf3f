# One version for the whole product: <brevio/version.h> in the build tree,
# generated from project(VERSION ...). Link brevio_version to include it.
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in
               ${PROJECT_BINARY_DIR}/generated/brevio/version.h @ONLY)
add_library(brevio_version INTERFACE)
target_include_directories(brevio_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
