# Installs the build into a scratch prefix and packages it as a Debian
# package, then checks that both hold the command line in bin/ and the
# frei0r plug-in in lib/frei0r-1/.
#   cmake -DBUILD=<build dir> -DWORK=<scratch dir> -P check_install.cmake
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${WORK}/prefix
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
foreach(f bin/fieldrestore lib/frei0r-1/fieldrestore.so)
  if(NOT EXISTS ${WORK}/prefix/${f})
    message(FATAL_ERROR "cmake --install put no ${f}")
  endif()
endforeach()
execute_process(COMMAND cpack -G DEB --config ${BUILD}/CPackConfig.cmake -B ${WORK}/deb
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB deb ${WORK}/deb/*.deb)
if(NOT rc EQUAL 0 OR NOT deb)
  message(FATAL_ERROR "cpack -G DEB failed: ${out}")
endif()
execute_process(COMMAND dpkg-deb -c ${deb} OUTPUT_VARIABLE listing)
foreach(f ./usr/bin/fieldrestore ./usr/lib/frei0r-1/fieldrestore.so)
  string(FIND "${listing}" " ${f}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the package lacks ${f}:\n${listing}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
