# cmake -DBASE=1.2.3 -DSOURCE_DIR=... -DOUT_DIR=... -P version-stamp.cmake
# Writes OUT_DIR/orvalo_version.h and OUT_DIR/version.txt. Outside a git
# checkout (a source archive) the version is BASE alone.
cmake_minimum_required(VERSION 3.22)
set(version "${BASE}")
find_program(GIT_EXECUTABLE git)
if(GIT_EXECUTABLE)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=10 HEAD
    RESULT_VARIABLE rc OUTPUT_VARIABLE hash ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(rc EQUAL 0 AND NOT hash STREQUAL "")
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} tag --points-at HEAD
      OUTPUT_VARIABLE tags ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(REPLACE "\n" ";" tags "${tags}")
    set(meta "")
    if(NOT "v${BASE}" IN_LIST tags AND NOT "${BASE}" IN_LIST tags)
      set(meta "g${hash}")
    endif()
    # No optional locks: a build must never hold the index while a developer
    # commits.
    execute_process(COMMAND ${GIT_EXECUTABLE} --no-optional-locks -C ${SOURCE_DIR} status --porcelain --untracked-files=no
      OUTPUT_VARIABLE changes ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT changes STREQUAL "")
      if(meta STREQUAL "")
        set(meta "dirty")
      else()
        string(APPEND meta ".dirty")
      endif()
    endif()
    if(NOT meta STREQUAL "")
      set(version "${BASE}+${meta}")
    endif()
  endif()
endif()

string(REPLACE "." ";" parts "${BASE}")
list(GET parts 0 major)
list(GET parts 1 minor)
list(GET parts 2 patch)
set(header "// Generated at build time from the project version; do not edit.
#ifndef ORVALO_VERSION_H
#define ORVALO_VERSION_H
#define ORVALO_VERSION \"${version}\"
#define ORVALO_VERSION_MAJOR ${major}
#define ORVALO_VERSION_MINOR ${minor}
#define ORVALO_VERSION_PATCH ${patch}
// The four numbers of a Windows version resource.
#define ORVALO_VERSION_NUMBERS ${major},${minor},${patch},0
#endif
")
# Rewritten only on a change, so that an unchanged version rebuilds nothing.
foreach(pair "orvalo_version.h|header" "version.txt|version")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 file)
  list(GET pair 1 var)
  set(old "")
  if(EXISTS ${OUT_DIR}/${file})
    file(READ ${OUT_DIR}/${file} old)
  endif()
  if(NOT old STREQUAL "${${var}}")
    file(WRITE ${OUT_DIR}/${file} "${${var}}")
  endif()
endforeach()
