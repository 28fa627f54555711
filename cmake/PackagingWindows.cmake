# The Windows installation: one folder with Sondral.exe, the table tools, 3Tdata, the Qt libraries with the
# Windows platform plugin and the Windows styles, and the MinGW runtime; CPack makes a ZIP of it and an
# NSIS installer:
#   cmake --preset windows && cmake --build --preset windows
#   cpack --config build/windows/CPackConfig.cmake -B build/windows/dist
install(TARGETS Sondral RUNTIME DESTINATION .)
# (The table tools install themselves: tools/CMakeLists.txt.)
install(FILES ${SONDRAL_TABLE_DIR}/Language.dat ${SONDRAL_TABLE_DIR}/Language.idx DESTINATION 3Tdata)

# Qt's libraries and the plugins the program loads, from the cross-built Qt the toolchain names.
set(qt_root ${SONDRAL_MINGW_CACHE}/qt)
install(FILES ${qt_root}/bin/Qt6Core.dll ${qt_root}/bin/Qt6Gui.dll ${qt_root}/bin/Qt6Widgets.dll DESTINATION .)
install(FILES ${qt_root}/plugins/platforms/qwindows.dll DESTINATION platforms)
install(FILES ${qt_root}/plugins/styles/qwindowsvistastyle.dll DESTINATION styles)

# The MinGW runtime: the C++ library, the unwinder and the threads library, wherever the compiler keeps them.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(gcc_dir ${libgcc} DIRECTORY)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll zlib1.dll)
  find_file(runtime_${dll} ${dll} PATHS ${gcc_dir} /usr/x86_64-w64-mingw32/lib /usr/x86_64-w64-mingw32/bin
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  install(FILES ${runtime_${dll}} DESTINATION .)
endforeach()

set(CPACK_PACKAGE_NAME Sondral)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Sondral")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Finds the serial ports of navigation instruments for the chart program")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Sondral)
set(CPACK_PACKAGE_FILE_NAME Sondral-${PROJECT_VERSION}-win64)
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_NSIS_DISPLAY_NAME Sondral)
set(CPACK_NSIS_PACKAGE_NAME Sondral)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_MUI_ICON ${SONDRAL_ICO})
set(CPACK_NSIS_MUI_UNIICON ${SONDRAL_ICO})
set(CPACK_NSIS_INSTALLED_ICON_NAME Sondral.exe)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_PACKAGE_EXECUTABLES Sondral Sondral)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
include(CPack)
