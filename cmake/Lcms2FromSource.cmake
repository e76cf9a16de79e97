# Little CMS built from its source tree (Debian's lcms2 source package, as
# scripts/debian-source.sh unpacks it), for targets that have no Little CMS
# package of their own. Nothing in here depends on the target: the web build
# uses it with emscripten, and any cross build can.
#
#   veltrane_add_lcms2_from_source(TREE)
#
# defines the static library lcms2_from_source, with lcms2.h on its public
# include path. Little CMS is compiled with its own settings; its warnings
# are not ours to fix, so they are turned off for it alone.
function(veltrane_add_lcms2_from_source tree)
  if(TARGET lcms2_from_source)
    return()
  endif()
  if(NOT EXISTS "${tree}/include/lcms2.h" OR NOT EXISTS "${tree}/src/cmsxform.c")
    message(FATAL_ERROR "${tree} is not a Little CMS source tree (no include/lcms2.h, src/cmsxform.c).")
  endif()
  set(names
    cmsalpha cmscam02 cmscgats cmscnvrt cmserr cmsgamma cmsgmt cmshalf cmsintrp cmsio0 cmsio1
    cmslut cmsmd5 cmsmtrx cmsnamed cmsopt cmspack cmspcs cmsplugin cmsps2 cmssamp cmssm
    cmstypes cmsvirt cmswtpnt cmsxform)
  list(TRANSFORM names PREPEND "${tree}/src/")
  list(TRANSFORM names APPEND ".c")
  add_library(lcms2_from_source STATIC ${names})
  target_include_directories(lcms2_from_source SYSTEM PUBLIC "${tree}/include")
  target_include_directories(lcms2_from_source PRIVATE "${tree}/src")
  set_target_properties(lcms2_from_source PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)
  if(MSVC)
    target_compile_options(lcms2_from_source PRIVATE /w)
  else()
    target_compile_options(lcms2_from_source PRIVATE -w)
  endif()
endfunction()
