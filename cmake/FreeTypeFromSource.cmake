# FreeType built from its source tree (Debian's freetype source package, as
# scripts/debian-source.sh unpacks it, Debian's patches applied), for targets
# that have no FreeType package of their own, such as the web build.
#
#   veltrane_add_freetype_from_source(TREE)
#
# defines the static library freetype_from_source with FreeType's headers on
# its public include path. The options are the tree's own
# (include/freetype/config/ftoption.h, as Debian patches it, which is what
# Debian's libfreetype6 is built with), so a glyph comes out as it does on
# Debian; only the set of modules is cut down to what the caption uses: the
# TrueType driver with its bytecode interpreter, the SFNT tables it reads, and
# the renderers for 1-bit and grey images. The WOFF reader and the stream
# decompression take the zlib copy FreeType carries. FreeType's warnings are
# not ours to fix, so they are turned off for it alone.
function(veltrane_add_freetype_from_source tree)
  if(TARGET freetype_from_source)
    return()
  endif()
  if(NOT EXISTS "${tree}/include/ft2build.h" OR NOT EXISTS "${tree}/src/truetype/truetype.c")
    message(FATAL_ERROR "${tree} is not a FreeType source tree (no include/ft2build.h, src/truetype/truetype.c).")
  endif()

  set(config_dir "${CMAKE_CURRENT_BINARY_DIR}/freetype_from_source")
  file(MAKE_DIRECTORY "${config_dir}")
  file(WRITE "${config_dir}/veltrane_ftmodule.h.new"
    "/* The modules of the caption's FreeType, written by FreeTypeFromSource.cmake. */\n"
    "FT_USE_MODULE( FT_Driver_ClassRec, tt_driver_class )\n"
    "FT_USE_MODULE( FT_Module_Class, psnames_module_class )\n"
    "FT_USE_MODULE( FT_Module_Class, sfnt_module_class )\n"
    "FT_USE_MODULE( FT_Renderer_Class, ft_smooth_renderer_class )\n"
    "FT_USE_MODULE( FT_Renderer_Class, ft_raster1_renderer_class )\n")
  # Rewritten only when it changes, so a new configure rebuilds nothing.
  file(COPY_FILE "${config_dir}/veltrane_ftmodule.h.new" "${config_dir}/veltrane_ftmodule.h" ONLY_IF_DIFFERENT)
  file(REMOVE "${config_dir}/veltrane_ftmodule.h.new")

  set(sources
    src/base/ftsystem.c src/base/ftinit.c src/base/ftdebug.c src/base/ftbase.c
    src/base/ftbitmap.c src/base/ftglyph.c src/base/ftmm.c
    src/truetype/truetype.c src/sfnt/sfnt.c src/psnames/psnames.c
    src/raster/raster.c src/smooth/smooth.c src/gzip/ftgzip.c)
  list(TRANSFORM sources PREPEND "${tree}/")
  add_library(freetype_from_source STATIC ${sources})
  target_include_directories(freetype_from_source SYSTEM PUBLIC "${tree}/include")
  target_include_directories(freetype_from_source PRIVATE "${config_dir}")
  target_compile_definitions(freetype_from_source PRIVATE
    FT2_BUILD_LIBRARY "FT_CONFIG_MODULES_H=<veltrane_ftmodule.h>")
  set_target_properties(freetype_from_source PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)
  if(MSVC)
    target_compile_options(freetype_from_source PRIVATE /w)
  else()
    target_compile_options(freetype_from_source PRIVATE -w)
  endif()
endfunction()
