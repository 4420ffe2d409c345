# Packs the win32 build with `cpack -G ZIP` and checks the zip: exactly
# fieldrestore.prm and fieldrestore.exe as built and README.txt, at its top,
# the text with Windows line ends and saying where the plug-in goes, where
# the settings live and how to remove them.
#   cmake -DBUILD=<win32 build dir> -DWORK=<scratch dir> -P check_zip.cmake
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G ZIP --config ${BUILD}/CPackConfig.cmake -B ${WORK}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB zip ${WORK}/fieldrestore-*-win32.zip)
if(NOT rc EQUAL 0 OR NOT zip)
  message(FATAL_ERROR "cpack -G ZIP made no fieldrestore-VERSION-win32.zip: ${out}")
endif()
file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${WORK}/unpacked)
file(GLOB_RECURSE files RELATIVE ${WORK}/unpacked ${WORK}/unpacked/*)
list(SORT files)
if(NOT files STREQUAL "README.txt;fieldrestore.exe;fieldrestore.prm")
  message(FATAL_ERROR "the zip holds: ${files}")
endif()
foreach(f fieldrestore.exe fieldrestore.prm)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${BUILD}/bin/${f} ${WORK}/unpacked/${f}
    RESULT_VARIABLE different)
  if(different)
    message(FATAL_ERROR "the zip's ${f} is not the one built")
  endif()
endforeach()
# Byte by byte: file(READ) as text would drop the carriage returns.
file(READ ${WORK}/unpacked/README.txt bytes HEX)
string(REGEX REPLACE "(..)" "\\1 " bytes "${bytes}")
string(REGEX MATCHALL "0a " lf "${bytes}")
string(REGEX MATCHALL "0d 0a " crlf "${bytes}")
list(LENGTH lf lf)
list(LENGTH crlf crlf)
if(lf EQUAL 0 OR NOT crlf EQUAL lf)
  message(FATAL_ERROR "README.txt has ${lf} line ends, ${crlf} of them Windows line ends")
endif()
file(READ ${WORK}/unpacked/README.txt text)
foreach(needed "Copy fieldrestore.prm into the host's plug-ins folder"
    "HKEY_CURRENT_USER\\SOFTWARE\\quorvaline\\deinterlace for Premiere"
    "reg delete \"HKCU\\SOFTWARE\\quorvaline\\deinterlace for Premiere\" /f")
  string(FIND "${text}" "${needed}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "README.txt does not say: ${needed}")
  endif()
endforeach()
message(STATUS "${zip}: ${files}")
file(REMOVE_RECURSE ${WORK})
