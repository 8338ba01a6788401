# Writes a text file for Windows users: INPUT with CRLF line ends as OUTPUT. With README set,
# INPUT is the Markdown README and OUTPUT gets only its part for users (up to "## Building"),
# as plain text: headings underlined (= for the title and sections, - below), no images, no
# emphasis or code marks.
#
# cmake -DINPUT=FILE -DOUTPUT=FILE [-DREADME=ON] -P WindowsText.cmake
foreach(variable INPUT OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR
      "usage: cmake -DINPUT=FILE -DOUTPUT=FILE [-DREADME=ON] -P WindowsText.cmake")
  endif()
endforeach()

file(READ "${INPUT}" text)
string(REPLACE "\r\n" "\n" text "${text}")

if(README)
  string(FIND "${text}" "\n## Building" end)
  if(end LESS 0)
    message(FATAL_ERROR "${INPUT} has no \"## Building\" section to end the users' part")
  endif()
  string(SUBSTRING "${text}" 0 ${end} text)
  string(REGEX REPLACE "(^|\n)!\\[[^\n]*" "\\1" text "${text}")
  string(REPLACE "**" "" text "${text}")
  string(REPLACE "`" "" text "${text}")
  string(REGEX MATCHALL "(^|\n)#+ [^\n]+" headings "${text}")
  foreach(heading IN LISTS headings)
    string(REGEX REPLACE "^\n?(#+) (.*)$" "\\1" marks "${heading}")
    string(REGEX REPLACE "^\n?#+ (.*)$" "\\1" title "${heading}")
    string(LENGTH "${title}" length)
    if(marks STREQUAL "#" OR marks STREQUAL "##")
      string(REPEAT "=" ${length} underline)
    else()
      string(REPEAT "-" ${length} underline)
    endif()
    string(REGEX REPLACE "^(\n?)#+ .*$" "\\1" start "${heading}")
    string(REPLACE "${heading}" "${start}${title}\n${underline}" text "${text}")
  endforeach()
  string(REGEX REPLACE "\n\n\n+" "\n\n" text "${text}")
  string(STRIP "${text}" text)
  string(APPEND text "\n")
endif()

string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUTPUT}" "${text}")
