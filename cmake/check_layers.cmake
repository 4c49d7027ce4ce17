# Fails when a source file under SOURCE_DIR includes a header of a layer above
# its own, or of a peer layer beside it (state and part; isp and sim; the
# runner and the dialogs' shared words; the two dialogs), so that the layers
# keep pointing one way whatever the link lines allow. Both include forms count:
# "layer/x.h" must name a layer, <layer/x.h> is checked when its first folder
# is a layer's (other angle-bracket headers are the system's).
#   cmake -DSOURCE_DIR=<src> [-DSTAMP=<file touched on success>] -P check_layers.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_layers.cmake: give -DSOURCE_DIR=<the src folder>")
endif()

get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)

# Lowest first; layers of the same rank may not include each other.
set(rank_platform 0)
set(rank_state 1)
set(rank_part 1)
set(rank_isp 2)
set(rank_sim 2)
set(rank_image 3)
set(rank_app 4)
set(rank_cycle 5)
set(rank_cli 6)
set(rank_ui_common 6)
set(rank_ui_qt 7)
set(rank_ui_win32 7)

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp ${SOURCE_DIR}/*.h.in)
set(breaches "")
set(checked 0)
foreach(source ${sources})
  string(REGEX MATCH "^(ui/)?[^/]+" own ${source})
  string(REPLACE "/" "_" own "${own}")
  if(NOT DEFINED rank_${own})
    list(APPEND breaches "${source}: folder ${own} belongs to no layer")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]+[\">]")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([\"<])([^\">]+)[\">].*" "\\1" form "${line}")
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([\"<])([^\">]+)[\">].*" "\\2" header "${line}")
    if(NOT header MATCHES "/")
      continue()  # a header beside the file itself, or a system header
    endif()
    string(REGEX MATCH "^(ui/)?[^/]+" layer ${header})
    string(REPLACE "/" "_" layer "${layer}")
    if(form STREQUAL "<" AND NOT DEFINED rank_${layer})
      continue()  # a system or library header such as <sys/ioctl.h>
    endif()
    math(EXPR checked "${checked} + 1")
    if(layer STREQUAL own)
      continue()
    endif()
    if(NOT DEFINED rank_${layer})
      list(APPEND breaches "${source}: includes ${header}, which belongs to no layer")
    elseif(NOT rank_${layer} LESS rank_${own})
      list(APPEND breaches "${source}: ${own} includes ${header} of layer ${layer}, not below it")
    endif()
  endforeach()
endforeach()

if(breaches)
  list(JOIN breaches "\n  " text)
  message(FATAL_ERROR "Includes against the layer order:\n  ${text}")
endif()
message(STATUS "${checked} includes of other folders checked, all of lower layers")
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
