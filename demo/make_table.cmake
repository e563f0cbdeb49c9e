# Makes one table of the demo drive from its text source, with dbftool. Run by the build:
#   cmake -DDBFTOOL=<dbftool> -DSOURCE=<NAME.table> -DOUT_DIR=<data directory> -P make_table.cmake
#
# A source file (NAME.table; the table is NAME.DBF, its index NAME.CDX) holds, in this order:
#   # ...                          comment lines, anywhere before "data:"
#   fields: NAME C 5, AMOUNT N 10 2, ACTIVE L, NOTE M    the field list, as dbftool create takes it
#   tag: NAME = EXPR [for EXPR] [unique] [descending]    any number of index tags
#   data:                          the rest of the file is CSV: a header row of field names, then
#                                  one row per record
# The table is rebuilt from nothing each time, then checked.
cmake_minimum_required(VERSION 3.25)

foreach(v DBFTOOL SOURCE OUT_DIR)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "make_table.cmake: ${v} is not set")
  endif()
endforeach()

get_filename_component(name "${SOURCE}" NAME_WE)
string(TOUPPER "${name}" name)
set(table "${OUT_DIR}/${name}.DBF")
file(MAKE_DIRECTORY "${OUT_DIR}")
file(REMOVE "${table}" "${OUT_DIR}/${name}.CDX" "${OUT_DIR}/${name}.FPT")

file(READ "${SOURCE}" text)
string(FIND "${text}" "\ndata:\n" at)
if(at LESS 0)
  message(FATAL_ERROR "${SOURCE}: no line \"data:\" before the records")
endif()
string(SUBSTRING "${text}" 0 ${at} head)
math(EXPR start "${at} + 7")
string(SUBSTRING "${text}" ${start} -1 csv)

set(fields "")
set(tags "")
# A ";" inside a line would split it as a CMake list: it travels as a placeholder.
string(REPLACE ";" "<semicolon>" head "${head}")
string(REPLACE "\n" ";" lines "${head}")
foreach(line IN LISTS lines)
  string(REPLACE "<semicolon>" ";" line "${line}")
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  elseif(line MATCHES "^fields:(.*)$")
    string(STRIP "${CMAKE_MATCH_1}" fields)
  elseif(line MATCHES "^tag:[ ]*([A-Za-z_][A-Za-z0-9_]*)[ ]*=[ ]*(.*)$")
    list(APPEND tags "${CMAKE_MATCH_1}|${CMAKE_MATCH_2}")
  else()
    message(FATAL_ERROR "${SOURCE}: cannot read the line \"${line}\"")
  endif()
endforeach()
if(fields STREQUAL "")
  message(FATAL_ERROR "${SOURCE}: no \"fields:\" line")
endif()

function(dbftool)
  execute_process(COMMAND "${DBFTOOL}" ${ARGN} RESULT_VARIABLE rc ERROR_VARIABLE err
                  OUTPUT_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${SOURCE}: dbftool ${ARGV0} failed (${rc}): ${err}${out}")
  endif()
endfunction()

dbftool(create "${table}" --fields "${fields}")
set(csvFile "${OUT_DIR}/../../${name}.csv.tmp")
file(WRITE "${csvFile}" "${csv}")
dbftool(import "${table}" "${csvFile}")
file(REMOVE "${csvFile}")
foreach(tag IN LISTS tags)
  string(FIND "${tag}" "|" bar)
  string(SUBSTRING "${tag}" 0 ${bar} tagName)
  math(EXPR rest "${bar} + 1")
  string(SUBSTRING "${tag}" ${rest} -1 spec)
  set(extra "")
  foreach(flag unique descending)
    if(spec MATCHES "(.*) ${flag}$")
      string(STRIP "${CMAKE_MATCH_1}" spec)
      list(APPEND extra "--${flag}")
    endif()
  endforeach()
  if(spec MATCHES "^(.*) for (.*)$")
    dbftool(index "${table}" --tag "${tagName}" --on "${CMAKE_MATCH_1}" --for "${CMAKE_MATCH_2}"
            ${extra})
  else()
    dbftool(index "${table}" --tag "${tagName}" --on "${spec}" ${extra})
  endif()
endforeach()
dbftool(check "${table}")
