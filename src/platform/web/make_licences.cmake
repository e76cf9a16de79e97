# Writes the site's licences.txt: Veltrane's licence, then those of what the
# site carries from others (FreeType and Little CMS compiled into the
# WebAssembly module, the DejaVu Sans font), as their licences ask.
#   cmake -DOUTPUT=... -DVELTRANE=... -DFREETYPE=... -DLCMS2=... -DFONT=... -P make_licences.cmake
set(text "The Veltrane browser edition carries its own code and the works below.\n")
foreach(part "Veltrane|${VELTRANE}"
             "FreeType (compiled into veltrane.wasm; Portions of this software are copyright (C) The FreeType Project (www.freetype.org). All rights reserved.)|${FREETYPE}"
             "Little CMS (compiled into veltrane.wasm)|${LCMS2}"
             "DejaVu Sans (DejaVuSans.ttf)|${FONT}")
  string(FIND "${part}" "|" bar REVERSE)
  string(SUBSTRING "${part}" 0 ${bar} title)
  math(EXPR start "${bar} + 1")
  string(SUBSTRING "${part}" ${start} -1 file)
  file(READ "${file}" body)
  string(APPEND text "\n==== ${title} ====\n\n${body}")
endforeach()
file(WRITE "${OUTPUT}" "${text}")
