# Installs the built library into a scratch prefix, then configures, builds and runs the consumer
# against it twice: through find_package(olvar) and through pkg-config.
file(REMOVE_RECURSE ${OLVAR_SCRATCH})
set(prefix ${OLVAR_SCRATCH}/prefix)

function(run)
    execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "command failed (${rc}): ${ARGV}\n${out}\n${err}")
    endif()
    message(STATUS "${out}")
endfunction()

run(${CMAKE_COMMAND} --install ${OLVAR_BUILD_DIR} --prefix ${prefix})

# The consumer is built with the sanitizers of the library it links.
set(flags "${OLVAR_SANITIZER_FLAGS}")

# find_package(olvar)
run(${CMAKE_COMMAND} -S ${OLVAR_CONSUMER_SOURCE} -B ${OLVAR_SCRATCH}/cmake-build
    -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_CXX_FLAGS=${flags}")
run(${CMAKE_COMMAND} --build ${OLVAR_SCRATCH}/cmake-build)
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/lib ${OLVAR_SCRATCH}/cmake-build/consumer)

# pkg-config
find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/lib/pkgconfig
                        ${PKG_CONFIG} --cflags --libs olvar
                    OUTPUT_VARIABLE pc_flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "pkg-config does not know olvar")
    endif()
    separate_arguments(pc_list UNIX_COMMAND "${pc_flags} ${flags}")
    run(c++ -std=c++17 ${OLVAR_CONSUMER_SOURCE}/main.cpp ${pc_list} -o ${OLVAR_SCRATCH}/pc-consumer)
    run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/lib ${OLVAR_SCRATCH}/pc-consumer)
endif()
