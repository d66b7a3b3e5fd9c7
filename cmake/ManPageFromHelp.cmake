# Writes a program's manual page (section 1, gzip-compressed) from what the program itself prints, run as
# `cmake -P` at build time: --version, --help and, for a program with commands, each "COMMAND --help".
# The help texts go in verbatim (no filling), so that their tables keep their columns. The page is then
# formatted the way lintian does, and any warning fails the build.
# Variables: PROGRAM (path), NAME (program name), SUMMARY (the NAME line's text), OUTPUT (NAME.1.gz),
# MAN and GZIP (the tools); EXTRA, optional: a roff file with sections to append.

foreach(var PROGRAM NAME SUMMARY OUTPUT MAN GZIP)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "man page: ${var} is not set")
  endif()
endforeach()

function(run_program out_var)
  execute_process(COMMAND "${PROGRAM}" ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE text ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR text STREQUAL "")
    message(FATAL_ERROR "man page: '${NAME} ${ARGN}' exited with ${status}: ${err}")
  endif()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# Text as roff that prints it unchanged: backslashes, minus signs and quotes escaped (so that they stay
# ASCII), control characters at a line start neutralised.
function(roff_literal out_var text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REPLACE "'" "\\(aq" text "${text}")
  string(REPLACE "`" "\\(ga" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  string(REGEX REPLACE "\n+$" "" text "${text}")
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

function(verbatim_block out_var text)
  roff_literal(literal "${text}")
  set(${out_var} ".nf\n${literal}\n.fi\n" PARENT_SCOPE)
endfunction()

# The words that start the lines of the block after a "Commands:" or "Subcommands:" heading.
function(command_words out_var help)
  string(REPLACE "\n" ";" lines "${help}")
  set(words "")
  set(inside FALSE)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[A-Za-z ]*[Cc]ommands:$")
      set(inside TRUE)
    elseif(inside AND line MATCHES "^  +([a-z][a-z0-9-]*)( |$)")
      list(APPEND words "${CMAKE_MATCH_1}")
    elseif(inside AND NOT line MATCHES "^ ")
      set(inside FALSE)
    endif()
  endforeach()
  set(${out_var} "${words}" PARENT_SCOPE)
endfunction()

run_program(version --version)
run_program(help --help)
string(STRIP "${version}" version)
string(TOUPPER "${NAME}" title)

# The usage lines (up to the first line that is not one) make the synopsis; the rest, the description.
string(REGEX MATCH "^Usage: [^\n]*(\n       [^\n]*)*" usage "${help}")
string(LENGTH "${usage}" usage_length)
string(SUBSTRING "${help}" ${usage_length} -1 description)
string(REGEX REPLACE "^Usage: " "" usage "${usage}")
string(REGEX REPLACE "\n       " "\n" usage "${usage}")
string(REGEX REPLACE "^\n+" "" description "${description}")

roff_literal(summary "${SUMMARY}")
roff_literal(name "${NAME}")
verbatim_block(synopsis "${usage}")
verbatim_block(body "${description}")
set(page ".TH \"${title}\" 1 \"\" \"${version}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\n${name} \\- ${summary}\n.SH SYNOPSIS\n${synopsis}.SH DESCRIPTION\n${body}")

command_words(commands "${help}")
if(commands)
  string(APPEND page ".SH COMMANDS\n")
  foreach(command IN LISTS commands)
    run_program(command_help ${command} --help)
    verbatim_block(block "${command_help}")
    string(APPEND page ".SS \"${name} ${command}\"\n${block}")
  endforeach()
endif()

if(EXTRA)
  file(READ "${EXTRA}" extra)
  string(APPEND page "${extra}")
endif()

get_filename_component(directory "${OUTPUT}" DIRECTORY)
string(REGEX REPLACE "\\.gz$" "" page_file "${OUTPUT}")
file(MAKE_DIRECTORY "${directory}")
file(WRITE "${page_file}" "${page}")

# The check lintian makes: man's formatter must not warn about anything on the page.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 MANROFFSEQ= MANWIDTH=80
                        "${MAN}" --warnings -E UTF-8 -l -Tutf8 -Z "${page_file}"
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE warnings)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "man page ${page_file} does not format cleanly (${status}):\n${warnings}")
endif()
execute_process(COMMAND "${GZIP}" -9nf "${page_file}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "man page: gzip ${page_file} failed")
endif()
