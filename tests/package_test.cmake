# Installs the build into a scratch prefix, then builds and runs the library
# example against it as another project would: find_package(veltrane2).
#   cmake -DBUILD=<build dir> -DSOURCE=<source dir> -DWORK=<scratch dir> -P package_test.cmake
function(step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()
file(REMOVE_RECURSE ${WORK})
step("install" ${CMAKE_COMMAND} --install ${BUILD} --prefix ${WORK}/prefix)
step("configure against the installed package" ${CMAKE_COMMAND} -S ${SOURCE}/examples/library -B ${WORK}/build
     -DCMAKE_PREFIX_PATH=${WORK}/prefix -DCMAKE_BUILD_TYPE=Release)
step("build against the installed package" ${CMAKE_COMMAND} --build ${WORK}/build)
step("the example" ${WORK}/build/destripe_example 64)
set(example_out "${out}")
# The Python module, when built, is installed beside the library and imports from there.
file(GLOB built_module ${BUILD}/python/veltrane2*.so)
if(built_module)
  file(GLOB installed_module ${WORK}/prefix/lib/python3/dist-packages/veltrane2*.so)
  if(NOT installed_module)
    message(FATAL_ERROR "the Python module is not installed under lib/python3/dist-packages")
  endif()
  step("the installed Python module" ${CMAKE_COMMAND} -E env PYTHONPATH=${WORK}/prefix/lib/python3/dist-packages
       /usr/bin/python3 -c "import veltrane2; print(sorted(veltrane2.PRESETS))")
endif()
set(out "${example_out}")
file(REMOVE_RECURSE ${WORK})
if(NOT out MATCHES "before, [0-9.e-]+ after")
  message(FATAL_ERROR "the example printed: ${out}")
endif()
