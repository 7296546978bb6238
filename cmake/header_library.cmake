# A header-only library from Debian's packages as an interface target. A
# cross build sees its headers alone: a folder in the build tree links to
# them, so that no other header of the host's /usr/include can reach a
# cross-compiled file.
#   hub_header_library(TARGET NAME DIR_VARIABLE HEADER FOLDER PACKAGE)
# TARGET is the alias (CLI11::CLI11), NAME the library, DIR_VARIABLE the cache
# variable that names the folder holding HEADER, FOLDER the headers' top
# folder in it, PACKAGE the Debian package to install when it is missing.
include_guard(GLOBAL)
function(hub_header_library target name dir_variable header folder package)
  find_path(${dir_variable} ${header} NO_CMAKE_FIND_ROOT_PATH DOC "the folder that holds ${header}")
  if(NOT ${dir_variable})
    message(FATAL_ERROR "${header} not found: install ${package}, or set ${dir_variable}")
  endif()
  set(headers ${${dir_variable}})
  if(CMAKE_CROSSCOMPILING)
    set(headers ${CMAKE_BINARY_DIR}/${name})
    file(MAKE_DIRECTORY ${headers})
    file(CREATE_LINK ${${dir_variable}}/${folder} ${headers}/${folder} SYMBOLIC)
  endif()
  add_library(${name} INTERFACE)
  target_include_directories(${name} SYSTEM INTERFACE ${headers})
  add_library(${target} ALIAS ${name})
endfunction()
