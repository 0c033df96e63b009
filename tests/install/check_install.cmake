# Installs BUILD_DIR into a fresh prefix under WORK_DIR, then builds and runs the consumer
# of CONSUMER_DIR with find_package and, when PKG_CONFIG is set, with pkg-config.

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")
run("install" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")

# find_package(morvand) from the prefix.
run("configuring the consumer" ${CMAKE_COMMAND} -S "${CONSUMER_DIR}" -B "${WORK_DIR}/cmake"
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}" "-DCMAKE_CXX_FLAGS=${FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
run("building the consumer" ${CMAKE_COMMAND} --build "${WORK_DIR}/cmake")
run("running the consumer" "${WORK_DIR}/cmake/consumer")
run("running the back-end consumer" "${WORK_DIR}/cmake/consumer_backend")
message(STATUS "find_package: ${run_output}")

if(NOT PKG_CONFIG)
  message(STATUS "pkg-config not found: its check is skipped")
  return()
endif()
# pkg-config from the prefix: the file must point into the prefix it was installed to.
file(GLOB_RECURSE pc_files "${prefix}/*/morvand.pc")
list(LENGTH pc_files pc_count)
if(NOT pc_count EQUAL 1)
  message(FATAL_ERROR "expected one morvand.pc under ${prefix}, found: ${pc_files}")
endif()
get_filename_component(pc_dir "${pc_files}" DIRECTORY)
run("pkg-config" ${CMAKE_COMMAND} -E env "PKG_CONFIG_PATH=${pc_dir}" "PKG_CONFIG_LIBDIR=${pc_dir}"
    "${PKG_CONFIG}" --cflags --libs morvand)
string(STRIP "${run_output}" pc_flags)
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
separate_arguments(extra UNIX_COMMAND "${FLAGS}")
run("building the consumer with pkg-config" "${CXX}" ${extra} "${CONSUMER_DIR}/main.cpp"
    ${pc_flags} -o "${WORK_DIR}/consumer-pc")
run("running the pkg-config consumer" "${WORK_DIR}/consumer-pc")
message(STATUS "pkg-config: ${run_output}")
