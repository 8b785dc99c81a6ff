cmake_minimum_required(VERSION 3.25)
# Makes the page from its template: the core's WebAssembly as base64, and
# the bundled .zip writer with its licence. Run with -DTEMPLATE, -DCORE,
# -DZIP, -DZIP_LICENSE and -DOUT.
execute_process(COMMAND base64 -w0 ${CORE} OUTPUT_VARIABLE core COMMAND_ERROR_IS_FATAL ANY)
file(READ ${ZIP} zip)
file(READ ${ZIP_LICENSE} license)
string(STRIP "${zip}" zip)
# The script goes inside <script>: it must not end it early.
string(FIND "${zip}${license}" "</script" early)
if(NOT early EQUAL -1)
  message(FATAL_ERROR "The bundled .zip writer holds </script and cannot be inlined.")
endif()
string(REPLACE "*/" "* /" license "${license}")
file(READ ${TEMPLATE} page)
string(REPLACE "__VORTRIM_CORE__" "${core}" page "${page}")
string(REPLACE "/*__VORTRIM_ZIP__*/" "/* fflate, bundled from npm:\n${license}*/\n${zip}" page "${page}")
file(WRITE ${OUT} "${page}")
