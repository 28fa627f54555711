# Helpers that turn a directory's sources into a target, so that adding a file needs no CMake edit.

set(SONDRAL_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Woverloaded-virtual -Wconversion -Wsign-conversion -Wnull-dereference -Wformat=2)

function(sondral_warnings target)
  target_compile_options(${target} PRIVATE ${SONDRAL_WARNINGS})
  if(SONDRAL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# sondral_library(NAME [SOURCES_DIR dir] [EXCLUDE file...] [DEPS target...])
# A static library from every .cpp directly in the current source directory.
function(sondral_library name)
  cmake_parse_arguments(ARG "" "" "EXCLUDE;DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(ex IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${ex})
  endforeach()
  add_library(${name} STATIC ${srcs} ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  sondral_warnings(${name})
endfunction()

# sondral_program(NAME DIR [DEPS target...]): an executable from every .cpp in DIR.
function(sondral_program name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  add_executable(${name} ${srcs})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  sondral_warnings(${name})
endfunction()
