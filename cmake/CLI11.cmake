# CLI11, the header-only command-line parser of the tools (Debian:
# libcli11-dev), as the target CLI11::CLI11.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/header_library.cmake)
hub_header_library(CLI11::CLI11 cli11 CLI11_INCLUDE_DIR CLI/CLI.hpp CLI libcli11-dev)
