# Enforces the library graph at configure time: a product folder may include
# only from itself and the folders below it. Every library compiles with the
# source root on its include path, so this check is what keeps an upward
# include from slipping in.
#
#   platform -> runtime -> toolkit -> catalog -> engine -> frontend
#   platform -> support -> frontend
set(_korva_layers_platform platform)
set(_korva_layers_runtime runtime platform)
set(_korva_layers_support support platform)
set(_korva_layers_toolkit toolkit runtime platform)
set(_korva_layers_catalog catalog toolkit runtime platform)
set(_korva_layers_engine engine catalog toolkit runtime platform)
set(_korva_layers_frontend frontend engine catalog toolkit runtime support platform)

function(korva_check_layers root)
  set(violations "")
  foreach(layer platform runtime support toolkit catalog engine frontend)
    file(GLOB_RECURSE sources "${root}/${layer}/*.h" "${root}/${layer}/*.cpp")
    foreach(source IN LISTS sources)
      file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z]+/")
      foreach(line IN LISTS includes)
        string(REGEX MATCH "\"([a-z]+)/" _ "${line}")
        set(target_layer "${CMAKE_MATCH_1}")
        if(NOT target_layer IN_LIST _korva_layers_${layer})
          file(RELATIVE_PATH rel "${root}" "${source}")
          string(STRIP "${line}" line)
          list(APPEND violations "${rel}: ${line}")
        endif()
      endforeach()
    endforeach()
  endforeach()
  if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Includes that go up or across the layers:\n  ${text}")
  endif()
endfunction()
