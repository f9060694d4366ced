# Installs the build into a scratch prefix, then builds and runs the library
# example against it as another project would: find_package(veltrane2).
#   cmake -DBUILD=<build dir> -DSOURCE=<source dir> -DWORK=<scratch dir> -P package_test.cmake
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${WORK}/prefix
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE}/examples/library -B ${WORK}/build
                        -DCMAKE_PREFIX_PATH=${WORK}/prefix -DCMAKE_BUILD_TYPE=Release
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configure against the installed package failed:\n${out}${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/build RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "build against the installed package failed:\n${out}${err}")
endif()
execute_process(COMMAND ${WORK}/build/destripe_example 64 RESULT_VARIABLE rc OUTPUT_VARIABLE out)
file(REMOVE_RECURSE ${WORK})
if(NOT rc EQUAL 0 OR NOT out MATCHES "before, [0-9.e-]+ after")
  message(FATAL_ERROR "the example failed (${rc}): ${out}")
endif()
message(STATUS "${out}")
