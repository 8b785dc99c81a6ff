cmake_minimum_required(VERSION 3.25)
# Makes the page from its template: the script, its modules joined with
# fflate (its licence before it), and in it the core's WebAssembly,
# gzip-compressed (a third of its size: the page stays small) as base64.
# Run with -DTEMPLATE, -DCORE, -DSCRIPT, -DZIP_LICENSE and -DOUT.
execute_process(COMMAND gzip -9nc ${CORE} COMMAND base64 -w0 OUTPUT_VARIABLE core
                COMMAND_ERROR_IS_FATAL ANY)
file(READ ${SCRIPT} script)
file(READ ${ZIP_LICENSE} license)
string(STRIP "${script}" script)
# The script goes inside <script>: it must not end it early.
string(FIND "${script}${license}" "</script" early)
if(NOT early EQUAL -1)
  message(FATAL_ERROR "The page's script holds </script and cannot be inlined.")
endif()
string(REPLACE "*/" "* /" license "${license}")
file(READ ${TEMPLATE} page)
string(REPLACE "/*__VORTRIM_SCRIPT__*/" "/* The .zip writer and the core's unpacker are fflate, bundled from npm:\n${license}*/\n${script}"
       page "${page}")
string(REPLACE "__VORTRIM_CORE__" "${core}" page "${page}")
file(WRITE ${OUT} "${page}")
