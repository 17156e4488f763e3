# Reading the programs' help texts, shared by the manual page writer and its check.

# The names of the "  name  summary" lines after a heading such as "Groups:" or "Commands:", up
# to the next empty line. The text is searched whole: summaries hold ";" and brackets, which a
# CMake list would split on.
function(listed_names out text heading)
  set(names)
  string(FIND "${text}" "\n${heading}\n" at)
  if(NOT at EQUAL -1)
    string(LENGTH "\n${heading}\n" skip)
    math(EXPR at "${at} + ${skip}")
    string(SUBSTRING "${text}" ${at} -1 block)
    string(FIND "${block}" "\n\n" end)
    if(NOT end EQUAL -1)
      string(SUBSTRING "${block}" 0 ${end} block)
    endif()
    string(REGEX MATCHALL "(^|\n)  [^ \n]+  " matches "${block}")
    foreach(match IN LISTS matches)
      string(STRIP "${match}" name)
      list(APPEND names "${name}")
    endforeach()
  endif()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()
