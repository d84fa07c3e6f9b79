# Writes the help2man include file of brindlewick-cli at build time: the fixed sections, then
# a COMMANDS section with every command's own --help text, so the manual page never drifts
# from the tool. Called as: cmake -DCLI=tool -DSTATIC=file.h2m -DOUTPUT=out.h2m -P this file.
execute_process(COMMAND ${CLI} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${CLI} --help failed")
endif()
file(READ ${STATIC} text)
string(APPEND text "\n[COMMANDS]\n")
string(REGEX MATCHALL "\n  [a-z][a-z-]*  " names "${help}")
foreach(name IN LISTS names)
  string(STRIP "${name}" name)
  execute_process(COMMAND ${CLI} ${name} --help OUTPUT_VARIABLE usage RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${CLI} ${name} --help failed")
  endif()
  # Plain text into roff: backslashes escaped, no line taken for a request.
  string(REPLACE "\\" "\\e" usage "${usage}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" usage "${usage}")
  string(REGEX REPLACE "(^|\n)-" "\\1\\\\-" usage "${usage}")
  string(APPEND text ".SS \"${name}\"\n.nf\n${usage}.fi\n")
endforeach()
file(WRITE ${OUTPUT} "${text}")
