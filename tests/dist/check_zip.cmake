# cmake -DZIP=... -DSOURCE_DIR=... -DWORK=... -P check_zip.cmake
# The Windows archive holds, in one folder named after it, both programs, the
# README and the licence as Windows text and the sample image in samples/, and
# nothing else.
cmake_minimum_required(VERSION 3.22)
get_filename_component(top ${ZIP} NAME)
string(REGEX REPLACE "\\.zip$" "" top "${top}")

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot read ${ZIP}")
endif()
string(REPLACE "\n" ";" entries "${listing}")
set(files "")
foreach(e ${entries})
  if(NOT e MATCHES "/$" AND NOT e STREQUAL "")
    list(APPEND files ${e})
  endif()
endforeach()
list(SORT files)
set(expected
  ${top}/LICENSE.txt
  ${top}/README.txt
  ${top}/orvalo-programmer-cli.exe
  ${top}/orvalo-programmer.exe
  ${top}/samples/firmware.hex)
list(SORT expected)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "archive holds\n  ${files}\nexpected\n  ${expected}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot unpack ${ZIP}")
endif()
foreach(exe orvalo-programmer orvalo-programmer-cli)
  file(READ ${WORK}/${top}/${exe}.exe head HEX LIMIT 2)
  if(NOT head STREQUAL "4d5a")  # "MZ"
    message(FATAL_ERROR "${exe}.exe is not a Windows program")
  endif()
endforeach()
file(READ ${WORK}/${top}/samples/firmware.hex sample)
file(READ ${SOURCE_DIR}/samples/firmware.hex original)
if(NOT sample STREQUAL original)
  message(FATAL_ERROR "samples/firmware.hex differs from the sample")
endif()
# The README, line for line, every line ended by CR LF (sed adds the CR on
# its own: CMake's file reading cannot be trusted with CRs).
execute_process(COMMAND sed "s/$/\r/" ${SOURCE_DIR}/README.md OUTPUT_FILE ${WORK}/README.expected)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/${top}/README.txt ${WORK}/README.expected
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "README.txt is not the README with CR LF line ends")
endif()
message(STATUS "${top}.zip: ${files}")
