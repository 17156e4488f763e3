# Writes the manual page of a program from its own help, so the page never drifts from the code:
# help2man reads "PROGRAM --help" and "--version"; for quillotide-cli the page also gets the whole
# command reference, every "GROUP --help" and each command's usage line.
#
#   cmake -DPROGRAM=path -DNAME=name -DSUMMARY=text -DHELP2MAN=path -DOUT=name.1.gz
#         [-DSEE_ALSO=text] -P ManPage.cmake

foreach(var PROGRAM NAME SUMMARY HELP2MAN OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ManPage.cmake: ${var} is not set")
  endif()
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/HelpText.cmake)

# Text as roff: backslashes, minus signs and a leading dot or quote are taken literally.
function(roff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(run_help out)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NAME} ${ARGN} --help failed (${rc})")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The text between the usage line and the end: the summary of a group or a command.
function(summary_of out text)
  string(REGEX REPLACE "^Usage:[^\n]*\n\n" "" text "${text}")
  string(REGEX REPLACE "\n\nCommands:.*$" "" text "${text}")
  string(STRIP "${text}" text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

get_filename_component(out_dir "${OUT}" DIRECTORY)
set(include_file "${out_dir}/${NAME}.h2m")
set(include "")
if(NAME STREQUAL "quillotide-cli")
  run_help(top)
  listed_names(groups "${top}" "Groups:")
  if(NOT groups)
    message(FATAL_ERROR "${NAME} --help lists no groups")
  endif()
  string(APPEND include "[COMMANDS]\n")
  foreach(group IN LISTS groups)
    run_help(group_help ${group})
    summary_of(group_summary "${group_help}")
    listed_names(commands "${group_help}" "Commands:")
    roff_text(group_roff "${group}")
    roff_text(summary_roff "${group_summary}")
    string(APPEND include ".SS ${group_roff}\n${summary_roff}\n")
    if(NOT group_help MATCHES "\nCommands:\n")
      # A group of one command runs it directly: its help is the command's.
      set(commands "")
      string(REGEX MATCH "^Usage: quillotide-cli ([^\n]*)" usage "${group_help}")
      roff_text(usage_roff "${CMAKE_MATCH_1}")
      string(APPEND include ".TP\n.B quillotide\\-cli ${usage_roff}\n")
    endif()
    foreach(command IN LISTS commands)
      run_help(command_help ${group} ${command})
      string(REGEX MATCH "^Usage: quillotide-cli ([^\n]*)" usage "${command_help}")
      set(usage "${CMAKE_MATCH_1}")
      summary_of(command_summary "${command_help}")
      roff_text(usage_roff "${usage}")
      roff_text(command_roff "${command_summary}")
      string(APPEND include ".TP\n.B quillotide\\-cli ${usage_roff}\n${command_roff}\n")
    endforeach()
  endforeach()
endif()
if(DEFINED SEE_ALSO)
  string(APPEND include "[SEE ALSO]\n${SEE_ALSO}\n")
endif()
file(WRITE "${include_file}" "${include}")

string(REGEX REPLACE "\\.gz$" "" page "${OUT}")
execute_process(
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1 --name=${SUMMARY}
          --include=${include_file} --output=${page} ${PROGRAM}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${NAME} (${rc})")
endif()
# -n: no name or time stamp inside, so the same help gives the same bytes.
execute_process(COMMAND gzip -9nf ${page} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${page}")
endif()
