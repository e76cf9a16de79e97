# The unpacked tree of a Debian source package, for libraries a target
# platform has no package of (the web build's FreeType and Little CMS).
#
#   veltrane_debian_source_tree(PACKAGE VARIABLE)
#
# leaves the tree's path in the cache variable VARIABLE. When VARIABLE is
# already set (a tree of one's own, or a second configure) it is used as it
# is; otherwise scripts/debian-source.sh fetches, checks and unpacks the
# version the project pins, once, into its cache folder.
function(veltrane_debian_source_tree package variable)
  if(${variable})
    if(NOT IS_DIRECTORY "${${variable}}")
      message(FATAL_ERROR "${variable} names ${${variable}}, which is not a folder.")
    endif()
    return()
  endif()
  execute_process(
    COMMAND "${PROJECT_SOURCE_DIR}/scripts/debian-source.sh" ${package}
    OUTPUT_VARIABLE tree
    OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR NOT IS_DIRECTORY "${tree}")
    message(FATAL_ERROR "Debian's ${package} source package could not be fetched "
                        "(scripts/debian-source.sh ${package} ended with ${result}); its messages are above. "
                        "Set ${variable} to an unpacked ${package} source tree to build without fetching it.")
  endif()
  set(${variable} "${tree}" CACHE PATH "Unpacked ${package} source tree" FORCE)
endfunction()
