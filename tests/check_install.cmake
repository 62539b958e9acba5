# Installs the build into a scratch prefix, then builds the C host example
# against it twice, through find_package(Quexal) and through pkg-config, and
# the C++ session example through find_package. All must run against the
# installed data folder.
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGV}\n${out}\n${err}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(f include/quexal/quexal.h include/quexal/quexal.hpp share/quexal/QXdata/haarcascade_frontalface_alt.xml
          share/quexal/QXdata/eye_8.xml)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(GLOB_RECURSE libs ${prefix}/lib*/libquexal.so)
if(NOT libs)
  message(FATAL_ERROR "libquexal.so not installed")
endif()
list(GET libs 0 lib)
get_filename_component(libdir ${lib} DIRECTORY)
set(ENV{LD_LIBRARY_PATH} ${libdir})

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/cmake-consumer
    -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-consumer)
run(${WORK_DIR}/cmake-consumer/consumer ${prefix}/share/quexal)
run(${WORK_DIR}/cmake-consumer/session_consumer ${prefix}/share/quexal)

set(ENV{PKG_CONFIG_PATH} ${libdir}/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs quexal OUTPUT_VARIABLE flags
                RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know quexal")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(cc ${SOURCE_DIR}/examples/host_example.c ${flags} -o ${WORK_DIR}/pc-consumer)
run(${WORK_DIR}/pc-consumer ${prefix}/share/quexal)
