# cmake -DZIP=... -DSOURCE_DIR=... -DWORK=... -P check_zip.cmake
# The Windows archive holds, in one folder named after it, both programs, the
# operator's guide and the licence as Windows text and the sample image in samples/, and
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
  ${top}/operators-guide.txt
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
# The guide as plain text, every line ended by CR LF, and no Markdown code
# marks left (CMake's file reading cannot be trusted with CRs: grep looks
# instead).
execute_process(COMMAND awk -v "eol=\\r" -f ${SOURCE_DIR}/cmake/markdown-text.awk ${SOURCE_DIR}/docs/operators-guide.md
  OUTPUT_FILE ${WORK}/guide.expected)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/${top}/operators-guide.txt ${WORK}/guide.expected
  RESULT_VARIABLE rc)
execute_process(COMMAND grep -c -v "\r$" ${WORK}/${top}/operators-guide.txt
  OUTPUT_VARIABLE bare OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND grep -c "`" ${WORK}/${top}/operators-guide.txt OUTPUT_VARIABLE marks OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0 OR NOT bare EQUAL 0 OR NOT marks EQUAL 0)
  message(FATAL_ERROR "operators-guide.txt is not the guide as text with CR LF line ends")
endif()
message(STATUS "${top}.zip: ${files}")
