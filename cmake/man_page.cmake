# Writes the manual page fieldrestore(1) from its template and the command
# list that `fieldrestore --help` prints, so that the page says exactly what
# the program says. Each command becomes a tagged paragraph; the options
# under a command (indented lines that start with [ or -) become paragraphs
# of their own under it, and an option line without text continues the
# command's synopsis.
#   cmake -DEXE=<fieldrestore> -DTEMPLATE=<fieldrestore.1.in> -DOUT=<fieldrestore.1>
#         -DVERSION=<version> -P man_page.cmake
execute_process(COMMAND ${EXE} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${EXE} --help failed (${rc})")
endif()

# Text as roff reads it: backslashes and minus signs escaped, and a line
# that would start with a control character made plain.
function(roff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
  string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# CMake lists are separated by ";": keep the help's own semicolons apart.
string(REPLACE ";" "<semicolon>" help "${help}")
string(REPLACE "\n" ";" lines "${help}")

set(items "")        # finished paragraphs, in order
set(tag "")          # the paragraph being gathered
set(text "")
set(nested FALSE)    # an option under the last command
set(in_options FALSE)

macro(flush)
  if(NOT tag STREQUAL "")
    roff_text(t "${tag}")
    roff_text(d "${text}")
    if(nested AND NOT in_options)
      string(APPEND body ".RS\n")
      set(in_options TRUE)
    elseif(NOT nested AND in_options)
      string(APPEND body ".RE\n")
      set(in_options FALSE)
    endif()
    string(APPEND body ".TP\n.B ${t}\n.br\n${d}\n")
  endif()
  set(tag "")
  set(text "")
endmacro()

set(body "")
foreach(line IN LISTS lines)
  if(line MATCHES "^usage:" OR line STREQUAL "")
    continue()
  endif()
  if(line MATCHES "^  [^ ]")
    flush()
    set(nested FALSE)
    string(STRIP "${line}" line)
    if(line MATCHES "^(.*[^ ])   *([^ ].*)$")
      set(tag "${CMAKE_MATCH_1}")
      set(text "${CMAKE_MATCH_2}")
    else()
      set(tag "${line}")
    endif()
  else()
    string(STRIP "${line}" line)
    if(line MATCHES "^[[-]")
      if(line MATCHES "^(.*[^ ])   *([^ ].*)$")
        flush()
        set(nested TRUE)
        set(tag "${CMAKE_MATCH_1}")
        set(text "${CMAKE_MATCH_2}")
      elseif(text STREQUAL "")
        string(APPEND tag " ${line}")
      else()
        flush()
        set(nested TRUE)
        set(tag "${line}")
      endif()
    elseif(text STREQUAL "")
      set(text "${line}")
    else()
      string(APPEND text "\n${line}")
    endif()
  endif()
endforeach()
flush()
if(in_options)
  string(APPEND body ".RE\n")
endif()
string(REPLACE "<semicolon>" ";" COMMANDS "${body}")
string(REGEX REPLACE "\n$" "" COMMANDS "${COMMANDS}")
configure_file(${TEMPLATE} ${OUT} @ONLY)
