# The Windows executable's resources: the program icon (the PNG sizes of app/icons in one icon file), the
# version information and the manifest that asks for administrator rights and per-monitor DPI awareness.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(icon_pngs)
foreach(size IN LISTS SONDRAL_ICON_SIZES)
  list(APPEND icon_pngs ${CMAKE_CURRENT_SOURCE_DIR}/icons/sondral-${size}.png)
endforeach()
set(SONDRAL_ICO ${CMAKE_CURRENT_BINARY_DIR}/Sondral.ico)
add_custom_command(OUTPUT ${SONDRAL_ICO}
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/windows/MakeIcon.py ${SONDRAL_ICO} ${icon_pngs}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows/MakeIcon.py ${icon_pngs}
  COMMENT "Writing the program icon Sondral.ico" VERBATIM)

set(SONDRAL_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0")
set(SONDRAL_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,0")
set(SONDRAL_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/Sondral.manifest)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/windows/Sondral.manifest ${SONDRAL_MANIFEST} @ONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/windows/Sondral.rc.in ${CMAKE_CURRENT_BINARY_DIR}/Sondral.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/Sondral.rc PROPERTIES OBJECT_DEPENDS
                            "${SONDRAL_ICO};${SONDRAL_MANIFEST}")
target_sources(Sondral PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/Sondral.rc)
# A window program: no console window opens beside the dialog.
set_target_properties(Sondral PROPERTIES WIN32_EXECUTABLE TRUE)
