# The one time stamp of a build, in seconds since 1970: the date of the commit
# being built, so that two builds of one commit are bit-identical. It goes into
# the DLL's headers and the package's file dates. Taken, in this order, from
# ORBWICK_SOURCE_DATE_EPOCH, the SOURCE_DATE_EPOCH environment variable, the
# last commit, or (outside a git checkout) the top CMakeLists.txt's date.
if(NOT ORBWICK_SOURCE_DATE_EPOCH)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch $ENV{SOURCE_DATE_EPOCH})
  else()
    execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE git_result ERROR_QUIET)
    if(NOT git_result EQUAL 0 OR NOT epoch)
      file(TIMESTAMP ${CMAKE_SOURCE_DIR}/CMakeLists.txt epoch "%s" UTC)
    endif()
  endif()
  set(ORBWICK_SOURCE_DATE_EPOCH ${epoch})
endif()
if(NOT ORBWICK_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "source date epoch '${ORBWICK_SOURCE_DATE_EPOCH}' is not a number of seconds")
endif()

# A new commit configures again, so that the time stamp follows it.
execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} rev-parse --path-format=absolute --git-path logs/HEAD
                OUTPUT_VARIABLE head_log OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(head_log AND EXISTS ${head_log})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${head_log})
endif()
