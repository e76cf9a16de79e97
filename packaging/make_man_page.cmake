# Turns one scdoc page into the compressed roff page that is installed.
# Run as: cmake -DSCDOC=... -DGZIP=... -DSOURCE=x.1.scd -DOUTPUT=x.1.gz -P make_man_page.cmake
string(REGEX REPLACE "\\.gz$" "" page "${OUTPUT}")
execute_process(COMMAND "${SCDOC}" INPUT_FILE "${SOURCE}" OUTPUT_FILE "${page}" RESULT_VARIABLE failed)
if(failed)
  file(REMOVE "${page}")
  message(FATAL_ERROR "scdoc could not read ${SOURCE}")
endif()
# -n leaves the file's name and time out of the archive, so the same page
# always compresses to the same bytes.
execute_process(COMMAND "${GZIP}" -9nc "${page}" OUTPUT_FILE "${OUTPUT}" RESULT_VARIABLE failed)
if(failed)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "gzip could not compress ${page}")
endif()
