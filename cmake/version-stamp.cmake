# cmake -DBASE=1.2.3 -DSOURCE_DIR=... -DOUT_DIR=... -P version-stamp.cmake
# Writes OUT_DIR/orvalo_version.h and OUT_DIR/version.txt. Outside a git
# checkout (a source archive) the version is BASE alone.
cmake_minimum_required(VERSION 3.22)
# Versions must sort in the order the builds were made, as dpkg and apt
# compare them, so that an upgrade never installs an older build:
# - on a release tag (vX.Y.Z or X.Y.Z, equal to BASE): BASE;
# - N commits after the last release tag, BASE being that release:
#   BASE+N.g<commit>, above the release and below the next one;
# - before BASE is released (no release tag yet, or BASE above the last one):
#   BASE~N.g<commit>, below BASE itself, N counted since the last release tag
#   (or since the first commit when there is none).
# Uncommitted changes add ".dirty". Outside a git checkout: BASE alone.

# Is a (X.Y.Z) below b? Numbers compared field by field.
function(orvalo_version_less a b out)
  string(REPLACE "." ";" a "${a}")
  string(REPLACE "." ";" b "${b}")
  foreach(i 0 1 2)
    list(GET a ${i} x)
    list(GET b ${i} y)
    if(x LESS y)
      set(${out} TRUE PARENT_SCOPE)
      return()
    elseif(x GREATER y)
      set(${out} FALSE PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} FALSE PARENT_SCOPE)
endfunction()

set(version "${BASE}")
find_program(GIT_EXECUTABLE git)
if(GIT_EXECUTABLE)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=10 HEAD
    RESULT_VARIABLE rc OUTPUT_VARIABLE hash ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(rc EQUAL 0 AND NOT hash STREQUAL "")
    # The nearest release tag among the commit's ancestors (itself included).
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} describe --tags --abbrev=0
        --match "v[0-9]*.[0-9]*.[0-9]*" --match "[0-9]*.[0-9]*.[0-9]*" HEAD
      RESULT_VARIABLE rc OUTPUT_VARIABLE tag ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(released "")
    if(rc EQUAL 0 AND tag MATCHES "^v?([0-9]+\\.[0-9]+\\.[0-9]+)$")
      set(released "${CMAKE_MATCH_1}")
      execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-list --count ${tag}..HEAD
        OUTPUT_VARIABLE count ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    else()
      execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-list --count HEAD
        OUTPUT_VARIABLE count ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    endif()
    set(meta "")
    if(released STREQUAL "")
      set(meta "~${count}.g${hash}")
    else()
      orvalo_version_less("${released}" "${BASE}" ahead)
      if(ahead)
        set(meta "~${count}.g${hash}")
      elseif(NOT count EQUAL 0)
        set(meta "+${count}.g${hash}")
      endif()
    endif()
    # No optional locks: a build must never hold the index while a developer
    # commits.
    execute_process(COMMAND ${GIT_EXECUTABLE} --no-optional-locks -C ${SOURCE_DIR} status --porcelain --untracked-files=no
      OUTPUT_VARIABLE changes ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT changes STREQUAL "")
      if(meta STREQUAL "")
        set(meta "+dirty")
      else()
        string(APPEND meta ".dirty")
      endif()
    endif()
    set(version "${BASE}${meta}")
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
