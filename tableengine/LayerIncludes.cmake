# Fails when a file of the table engine or the table writer includes a header of a layer above its own.
# Layers from the bottom: tableengine/format, tableengine/storage, tableengine/cursor, tableengine (top).
# The table writer uses the format layer only, and no engine layer uses the writer.
#   cmake -DROOT=<source tree> -P LayerIncludes.cmake
if(NOT DEFINED ROOT)
  message(FATAL_ERROR "ROOT is not set")
endif()

# The rank of a path inside the tree, and the highest rank a file of that rank may include.
function(layer_rank path out)
  if(path MATCHES "^tableengine/format/")
    set(${out} 1 PARENT_SCOPE)
  elseif(path MATCHES "^tableengine/storage/")
    set(${out} 2 PARENT_SCOPE)
  elseif(path MATCHES "^tableengine/cursor/")
    set(${out} 3 PARENT_SCOPE)
  elseif(path MATCHES "^tableengine/[^/]+$")
    set(${out} 4 PARENT_SCOPE)
  elseif(path MATCHES "^tablewriter/")
    set(${out} 5 PARENT_SCOPE)
  else()
    set(${out} 0 PARENT_SCOPE)
  endif()
endfunction()

file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/tableengine/*.h ${ROOT}/tableengine/*.cpp
     ${ROOT}/tablewriter/*.h ${ROOT}/tablewriter/*.cpp)
set(checked 0)
set(violations "")
foreach(file IN LISTS files)
  layer_rank(${file} own)
  file(STRINGS ${ROOT}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" header "${line}")
    layer_rank(${header} used)
    math(EXPR checked "${checked} + 1")
    if(own EQUAL 5)
      # The writer: the format layer and the writer itself.
      if(used GREATER 1 AND NOT used EQUAL 5)
        string(APPEND violations "  ${file} includes ${header} (the writer uses only tableengine/format)\n")
      endif()
    elseif(used GREATER own)
      string(APPEND violations "  ${file} includes ${header}, a layer above its own\n")
    endif()
  endforeach()
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "no includes found under ${ROOT}/tableengine and ${ROOT}/tablewriter")
endif()
if(violations)
  message(FATAL_ERROR "Includes against the engine's layering:\n${violations}")
endif()
message(STATUS "${checked} includes follow the engine's layering")
