# Text files for Windows, which opens .txt files and has no program for .md:
# with Windows' line breaks, and, for the README, its Windows parts alone.
#
# vortrim_windows_text(FROM TO README): writes FROM as TO with CR LF line
# breaks. With README true, what lies between "<!-- windows: no -->" and
# "<!-- /windows -->" is left out (what only Linux and macOS users need:
# the manual page, apt-get, the shell), the markers' own lines with it
# where they stand alone; so are pictures, and a link keeps its text, since
# the files it leads to are not beside it.
function(vortrim_windows_text from to readme)
  file(READ ${from} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  if(readme)
    set(begin "<!-- windows: no -->")
    set(end "<!-- /windows -->")
    string(LENGTH "${end}" end_length)
    string(FIND "${text}" "${begin}" at)
    while(NOT at EQUAL -1)
      string(FIND "${text}" "${end}" past)
      if(past LESS at)
        message(FATAL_ERROR "${from}: \"${begin}\" without \"${end}\" after it")
      endif()
      math(EXPR past "${past} + ${end_length}")
      string(SUBSTRING "${text}" 0 ${at} head)
      string(SUBSTRING "${text}" ${past} -1 tail)
      # A block on lines of its own goes with its last line break.
      if((head STREQUAL "" OR head MATCHES "\n$") AND tail MATCHES "^\n")
        string(SUBSTRING "${tail}" 1 -1 tail)
      endif()
      set(text "${head}${tail}")
      string(FIND "${text}" "${begin}" at)
    endwhile()
    string(REGEX REPLACE "!\\[[^]]*\\]\\([^)]*\\)\n*" "" text "${text}")
    string(REGEX REPLACE "\\[([^]]*)\\]\\([^)]*\\)" "\\1" text "${text}")
    string(REGEX REPLACE "\n\n\n+" "\n\n" text "${text}")
    # Markdown's escaped backslash, as it reads.
    string(REPLACE "\\\\" "\\" text "${text}")
  endif()
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${to} "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${from})
endfunction()
