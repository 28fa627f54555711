# The preset "windows": cross-builds for x86-64 Windows with MinGW-w64 against the Qt, Nettle and GoogleTest
# that tools/windows/setup.sh cross-built into its cache, and runs the programs it builds (tests, the table
# writer during the build) under Wine.
if(DEFINED ENV{SONDRAL_MINGW_CACHE})
  set(SONDRAL_MINGW_CACHE "$ENV{SONDRAL_MINGW_CACHE}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(SONDRAL_MINGW_CACHE "$ENV{XDG_CACHE_HOME}/sondral/mingw")
else()
  set(SONDRAL_MINGW_CACHE "$ENV{HOME}/.cache/sondral/mingw")
endif()
set(SONDRAL_MINGW_CACHE "${SONDRAL_MINGW_CACHE}" CACHE PATH "Cross-built libraries for the Windows build")
if(NOT EXISTS "${SONDRAL_MINGW_CACHE}/gtest/.done")
  message(FATAL_ERROR "Nothing cross-built in ${SONDRAL_MINGW_CACHE}: run tools/windows/setup.sh first")
endif()

if(EXISTS "${SONDRAL_MINGW_CACHE}/qt/.done")
  set(QT_CHAINLOAD_TOOLCHAIN_FILE "${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake")
  include("${SONDRAL_MINGW_CACHE}/qt/lib/cmake/Qt6/qt.toolchain.cmake")
  set(SONDRAL_QT ON CACHE BOOL "Cross-built Qt present" FORCE)
else()
  # Set up without Qt (tools/windows/setup.sh --without-qt): the libraries, tools and tests that need none.
  include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake")
  set(SONDRAL_QT OFF CACHE BOOL "No cross-built Qt" FORCE)
endif()
list(APPEND CMAKE_FIND_ROOT_PATH "${SONDRAL_MINGW_CACHE}/gtest" "${SONDRAL_MINGW_CACHE}/nettle")
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")
