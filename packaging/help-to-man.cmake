# Writes a manual page from a program's --help: cmake -DPROGRAM=... -DNAME=... -DSUMMARY=...
# -DVERSION=... -DSEE_ALSO=program,program... -DOUTPUT=... -P help-to-man.cmake
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help failed: ${result}")
endif()
# The text as it stands: backslashes and minus signs escaped, no line read as a request.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(TOUPPER "${NAME}" title)
string(REPLACE "," ";" others "${see_also}")
list(REMOVE_ITEM others ${NAME})
set(see_also "")
foreach(other IN LISTS others)
  string(APPEND see_also ".BR ${other} (1)\n")
endforeach()
file(WRITE ${OUTPUT} ".TH \"${title}\" 1 \"\" \"${NAME} ${VERSION}\" \"User Commands\"
.SH NAME
${NAME} \\- ${SUMMARY}
.SH DESCRIPTION
.nf
${help}.fi
.SH SEE ALSO
${see_also}")
