# Run at every build of orbwick.dll (cmake -P): writes OUTPUT, a header for
# the version resource, naming the commit the DLL is built from, so that a
# DLL found on a server can be traced to its sources:
#   #define ORBWICK_SOURCE_COMMIT "<12 hex digits>"            a clean checkout
#   #define ORBWICK_SOURCE_COMMIT "<12 hex digits>, modified"  uncommitted changes
#   #define ORBWICK_SOURCE_COMMIT "unknown"                    outside git
# COMMIT, when not empty, is taken as it is (a rebuild of the same sources
# outside git, tests/release/reproducible_test.sh). The file is rewritten
# only when its text changes, so an unchanged commit relinks nothing.
#   cmake -DSOURCE_DIR=<dir> -DOUTPUT=<file> [-DCOMMIT=<text>] -P source-commit.cmake
if(COMMIT)
  set(commit "${COMMIT}")
else()
  execute_process(COMMAND git -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE result ERROR_QUIET)
  if(NOT result EQUAL 0 OR NOT commit)
    set(commit "unknown")
  else()
    # Changed, staged, deleted or new files that are not ignored.
    execute_process(COMMAND git -C ${SOURCE_DIR} status --porcelain
                    OUTPUT_VARIABLE changes RESULT_VARIABLE result ERROR_QUIET)
    if(NOT result EQUAL 0 OR changes)
      string(APPEND commit ", modified")
    endif()
  endif()
endif()
set(text "#define ORBWICK_SOURCE_COMMIT \"${commit}\"\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
