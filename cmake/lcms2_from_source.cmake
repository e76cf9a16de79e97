# Little CMS built from Debian's lcms2 source package, for builds that have no
# system copy to link: the Windows cross-build (and any other target without
# one, such as the web edition). The sources come from the project's one
# script for Debian source packages, scripts/debian-source.sh, which fetches,
# checks and unpacks the pinned version into a cache and prints the tree's
# path; nothing in the system's apt configuration changes. A developer
# without network access can point VELTRANE_LCMS2_SOURCE_DIR at an unpacked
# tree instead.
#
#   include(lcms2_from_source)
#   veltrane_lcms2_from_source(TARGET)
#
# defines TARGET, a static library of Little CMS with its public headers,
# built with the target's own compiler and the library's own flags, nothing
# of ours (our warning flags stay on our code).

set(VELTRANE_LCMS2_SOURCE_DIR "" CACHE PATH
    "An unpacked lcms2 source tree to build Little CMS from (empty: fetched by scripts/debian-source.sh)")

function(veltrane_lcms2_source_dir out)
  if(VELTRANE_LCMS2_SOURCE_DIR)
    set(tree ${VELTRANE_LCMS2_SOURCE_DIR})
  else()
    execute_process(
      COMMAND ${PROJECT_SOURCE_DIR}/scripts/debian-source.sh lcms2
      OUTPUT_VARIABLE tree
      RESULT_VARIABLE status
      OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "Debian's lcms2 source package could not be fetched (scripts/debian-source.sh "
                          "lcms2 said why above). Run it again once the network is back, or set "
                          "VELTRANE_LCMS2_SOURCE_DIR to an unpacked lcms2 tree.")
    endif()
  endif()
  if(NOT EXISTS ${tree}/include/lcms2.h OR NOT EXISTS ${tree}/src/cmsio0.c)
    message(FATAL_ERROR "${tree} is not an lcms2 source tree (no include/lcms2.h, src/cmsio0.c)")
  endif()
  set(${out} ${tree} PARENT_SCOPE)
endfunction()

function(veltrane_lcms2_from_source target)
  veltrane_lcms2_source_dir(tree)
  # The library's own list of sources: every C file of src/.
  file(GLOB sources CONFIGURE_DEPENDS ${tree}/src/*.c)
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} SYSTEM PUBLIC ${tree}/include)
  target_include_directories(${target} PRIVATE ${tree}/src)
  # Our code is C++20, where 'register' is gone; the header then leaves it out.
  target_compile_definitions(${target} PUBLIC CMS_NO_REGISTER_KEYWORD=1)
  if(NOT WIN32)
    target_link_libraries(${target} PUBLIC m)
  endif()
  file(STRINGS ${tree}/include/lcms2.h version_line REGEX "^#define LCMS_VERSION +[0-9]+")
  string(REGEX REPLACE ".* ([0-9]+).*" "\\1" version "${version_line}")
  message(STATUS "Little CMS ${version} from ${tree}")
endfunction()
