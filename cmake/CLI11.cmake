# CLI11, the header-only command-line parser of the tools (Debian:
# libcli11-dev), as the target CLI11::CLI11. A cross build sees its headers
# alone: a folder in the build tree links to them, so that no other header of
# the host's /usr/include can reach a cross-compiled file.
include_guard(GLOBAL)
find_path(CLI11_INCLUDE_DIR CLI/CLI.hpp NO_CMAKE_FIND_ROOT_PATH
          DOC "the folder that holds CLI/CLI.hpp")
if(NOT CLI11_INCLUDE_DIR)
  message(FATAL_ERROR "CLI11 not found: install libcli11-dev, or set CLI11_INCLUDE_DIR")
endif()
set(cli11_headers ${CLI11_INCLUDE_DIR})
if(CMAKE_CROSSCOMPILING)
  set(cli11_headers ${CMAKE_BINARY_DIR}/cli11)
  file(MAKE_DIRECTORY ${cli11_headers})
  file(CREATE_LINK ${CLI11_INCLUDE_DIR}/CLI ${cli11_headers}/CLI SYMBOLIC)
endif()
add_library(cli11 INTERFACE)
target_include_directories(cli11 SYSTEM INTERFACE ${cli11_headers})
add_library(CLI11::CLI11 ALIAS cli11)
