# Checks the manual pages written at build time against the programs: quillotide-cli's page holds
# a section for every group its --help lists and every command each group lists, and
# quillotide's page tells its switches and where it keeps config.xml.
#
#   cmake -DCLI=path/to/quillotide-cli -DPAGES=folder/with/pages -P CheckManPages.cmake

function(page_text out name)
  execute_process(COMMAND gzip -dc ${PAGES}/${name}.1.gz OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot read ${PAGES}/${name}.1.gz")
  endif()
  # As a reader sees it: roff's escaped minus signs are plain ones.
  string(REPLACE "\\-" "-" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The names of the "  name  summary" lines after a heading such as "Groups:" or "Commands:", up
# to the next empty line. The text is searched whole: summaries hold ";" and brackets, which a
# CMake list would split on.
include(${CMAKE_CURRENT_LIST_DIR}/HelpText.cmake)

set(failures "")
page_text(cli_page quillotide-cli)
execute_process(COMMAND ${CLI} --help OUTPUT_VARIABLE top)
listed_names(groups "${top}" "Groups:")
list(LENGTH groups group_count)
if(group_count LESS 10)
  string(APPEND failures "quillotide-cli --help lists only ${group_count} groups\n")
endif()
foreach(group IN LISTS groups)
  if(NOT cli_page MATCHES "\n\\.SS ${group}\n")
    string(APPEND failures "no section for the group ${group}\n")
  endif()
  execute_process(COMMAND ${CLI} ${group} --help OUTPUT_VARIABLE group_help)
  listed_names(commands "${group_help}" "Commands:")
  foreach(command IN LISTS commands)
    string(FIND "${cli_page}" "quillotide-cli ${group} ${command}" at)
    if(at EQUAL -1)
      string(APPEND failures "no entry for ${group} ${command}\n")
    endif()
  endforeach()
endforeach()

page_text(gui_page quillotide)
foreach(word "--sample" "--Worldeditor" "--client" "--version" "config.xml" "quillotide-cli")
  string(FIND "${gui_page}" "${word}" at)
  if(at EQUAL -1)
    string(APPEND failures "quillotide's page does not mention ${word}\n")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "manual pages: ${group_count} groups checked")
