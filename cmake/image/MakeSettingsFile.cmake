# cmake -DTEMPLATE=... -DOUT=... -P MakeSettingsFile.cmake
# The default settings file as the programs read it: Shift-JIS with CR LF.
# Its url is empty, so the programs' built-in counter address applies: an
# edited file is kept on upgrade, and a new release's address still arrives.
configure_file(${TEMPLATE} ${OUT}.utf8 @ONLY NEWLINE_STYLE CRLF)
execute_process(COMMAND iconv -f UTF-8 -t CP932 ${OUT}.utf8
                OUTPUT_FILE ${OUT} RESULT_VARIABLE rc)
file(REMOVE ${OUT}.utf8)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "iconv could not convert the settings file to CP932")
endif()
