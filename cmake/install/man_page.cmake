# Writes the manual page sfxkit.1 from the tool's own help texts:
#   cmake -DSFXKIT=path/to/sfxkit -DOUT=sfxkit.1 -DVERSION=x.y.z -P man_page.cmake
# The page carries no date, so the same tool always gives the same bytes.

function(help_text out)
  execute_process(COMMAND ${SFXKIT} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "sfxkit ${ARGN} failed: ${rc}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Help text as a no-fill roff block: backslashes escaped, lines that would
# read as requests guarded.
function(roff_block out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} ".nf\n${text}.fi\n" PARENT_SCOPE)
endfunction()

help_text(overview --help)
roff_block(page_overview "${overview}")
set(page ".TH SFXKIT 1 \"\" \"sfxkit ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\nsfxkit \\- pack a folder and a setup program into a self-extracting launcher\n")
string(APPEND page ".SH SYNOPSIS\n.B sfxkit\n\\fIcommand\\fR [\\fIoptions\\fR] [\\fIarguments\\fR]\n")
string(APPEND page ".SH DESCRIPTION\n${page_overview}")
string(APPEND page ".SH COMMANDS\n")

# The command names are the first word of each line under "commands:".
string(REGEX MATCH "commands:\n(( +[a-z0-9]+ [^\n]*\n)+)" block "${overview}")
string(REGEX MATCHALL "\n +[a-z0-9]+ " names "\n${CMAKE_MATCH_1}")
foreach(name ${names})
  string(STRIP "${name}" name)
  help_text(usage ${name} --help)
  roff_block(block "${usage}")
  string(APPEND page ".SS ${name}\n${block}")
endforeach()
string(APPEND page ".SH FILES\n.TP\n.I PREFIX/libexec/sfxkit/launcher, PREFIX/libexec/sfxkit/launcher.exe\n")
string(APPEND page "The launcher stubs that pack uses when no \\-\\-stub is given (see sfxkit \\-\\-version).\n")
string(APPEND page ".SH ENVIRONMENT\n.TP\n.B SFXKIT_STUB\nThe launcher stub to pack when no \\-\\-stub is given.\n")
file(WRITE ${OUT} "${page}")
