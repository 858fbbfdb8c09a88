# Writes the packager's manual as a text for Windows (CR LF line ends), for
# the zip: cmake -DPACK=quillon-pack -DOUT=file -P ManualText.cmake
execute_process(COMMAND ${PACK} --help OUTPUT_VARIABLE text RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${PACK} --help failed")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
