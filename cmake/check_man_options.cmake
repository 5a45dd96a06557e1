# Fails when a program's --help and its manual page disagree on the long
# options, so neither can gain or lose one without the other.
#
#   cmake -DPROGRAM=path/to/program -DPAGE=man/program.1 -P check_man_options.cmake
#
# --help: every "--name" in the text counts. A program whose --help lists
# subcommands (lines "  name   what it does") is asked "PROGRAM SUB --help" for
# each, and the union is compared.
# The page: only the tags of .TP paragraphs under .SH OPTIONS count, so an
# option named in passing elsewhere does not stand in for its description.
# Where the page has a .SS subsection named after a subcommand, every option
# it documents must be in that subcommand's --help, and that --help must be
# covered by it together with the other subsections (such as "Every
# subcommand", for the options all share).

cmake_minimum_required(VERSION 3.25)

foreach(variable PROGRAM PAGE)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "check_man_options: give -D${variable}=...")
  endif()
endforeach()
if(NOT EXISTS "${PAGE}")
  message(FATAL_ERROR "check_man_options: no page ${PAGE}")
endif()

# Brackets and semicolons would split or join CMake list items; option names
# never contain them.
function(sanitize text out)
  string(REGEX REPLACE "[][;]" " " text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(help_text out)
  execute_process(COMMAND "${PROGRAM}" ${ARGN} --help
                  OUTPUT_VARIABLE text ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "check_man_options: ${PROGRAM} ${ARGN} --help failed (${status}): ${errors}")
  endif()
  sanitize("${text}" text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(long_options text out)
  string(REGEX MATCHALL "--[a-z0-9][a-z0-9-]*" found "${text}")
  if(found)
    list(REMOVE_DUPLICATES found)
    list(SORT found)
  endif()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# --- what --help prints ---------------------------------------------------

help_text(top)
long_options("${top}" help_all)
string(REGEX MATCHALL "\n  [a-z][a-z0-9-]*  " subcommand_lines "${top}")
set(subcommands "")
foreach(line IN LISTS subcommand_lines)
  string(STRIP "${line}" name)
  list(APPEND subcommands "${name}")
endforeach()
foreach(subcommand IN LISTS subcommands)
  help_text(text ${subcommand})
  long_options("${text}" help_${subcommand})
  list(APPEND help_all ${help_${subcommand}})
endforeach()
if(NOT help_all)
  message(FATAL_ERROR "check_man_options: ${PROGRAM} --help lists no long option")
endif()
list(REMOVE_DUPLICATES help_all)
list(SORT help_all)

# --- what the page documents under OPTIONS --------------------------------

file(READ "${PAGE}" page)
sanitize("${page}" page)
string(REPLACE "\r" "" page "${page}")
string(REGEX MATCH "\n\\.SH \"?OPTIONS\"?[ \t]*\n.*" options "\n${page}")
if(NOT options)
  message(FATAL_ERROR "check_man_options: ${PAGE} has no .SH OPTIONS")
endif()
# The section ends at the next .SH; the first line is its own heading.
# (REGEX REPLACE would apply "^" again after each match: SUBSTRING it is.)
string(SUBSTRING "${options}" 1 -1 options)
string(FIND "${options}" "\n" heading_end)
string(SUBSTRING "${options}" ${heading_end} -1 options)
string(FIND "${options}" "\n.SH " next_section)
if(next_section GREATER -1)
  string(SUBSTRING "${options}" 0 ${next_section} options)
endif()

# One list item per subsection (the text before the first is one too); the
# page holds no semicolon any more, so each .SS can split the list.
string(REPLACE "\n.SS " ";" chunks "${options}")
set(page_all "")
set(page_common "")
set(sections "")
set(first TRUE)
foreach(chunk IN LISTS chunks)
  set(name "")
  if(NOT first)
    string(REGEX MATCH "^\"?([^\" \n]*)" heading "${chunk}")
    set(name "${CMAKE_MATCH_1}")
  endif()
  set(first FALSE)
  string(REGEX MATCHALL "\n\\.TP[ \t]*\n[^\n]*" tags "${chunk}")
  set(documented "")
  foreach(tag IN LISTS tags)
    string(REGEX REPLACE "\n\\.TP[ \t]*\n" "" tag "${tag}")
    string(REPLACE "\\-" "-" tag "${tag}")
    string(REGEX REPLACE "\\\\f(\\(..|.)" "" tag "${tag}")
    long_options("${tag}" in_tag)
    list(APPEND documented ${in_tag})
  endforeach()
  list(APPEND page_all ${documented})
  if(name IN_LIST subcommands)
    list(APPEND sections "${name}")
    set(page_${name} ${documented})
  else()
    list(APPEND page_common ${documented})
  endif()
endforeach()
if(page_all)
  list(REMOVE_DUPLICATES page_all)
  list(SORT page_all)
endif()

# --- compare --------------------------------------------------------------

set(problems "")
function(report_difference label left right)
  set(only "${left}")
  if(right)
    list(REMOVE_ITEM only ${right})
  endif()
  if(only)
    list(JOIN only " " only)
    set(problems "${problems}\n  ${label}: ${only}" PARENT_SCOPE)
  endif()
endfunction()

get_filename_component(page_name "${PAGE}" NAME)
report_difference("in --help, not under OPTIONS in ${page_name}" "${help_all}" "${page_all}")
report_difference("under OPTIONS in ${page_name}, not in --help" "${page_all}" "${help_all}")
foreach(subcommand IN LISTS sections)
  set(allowed ${page_${subcommand}} ${page_common})
  report_difference("in '${subcommand} --help', not in its subsection or a shared one"
                    "${help_${subcommand}}" "${allowed}")
  report_difference("in the '${subcommand}' subsection, not in '${subcommand} --help'"
                    "${page_${subcommand}}" "${help_${subcommand}}")
endforeach()

if(problems)
  message(FATAL_ERROR "The options of ${PROGRAM} and ${page_name} differ:${problems}")
endif()
list(LENGTH help_all count)
message(STATUS "${page_name}: the ${count} options of --help, each documented")
