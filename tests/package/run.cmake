# Install, then configure, build and run the hosts against the installed package only.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
    execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "failed (${rc}): ${ARGV}")
    endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(required include/korutil/korutil.h lib/cmake/korutil/korutilConfig.cmake
                 lib/cmake/korutil/KorutilResources.cmake lib/pkgconfig/korutil.pc)
    if(NOT EXISTS ${prefix}/${required})
        message(FATAL_ERROR "the package lacks ${required}")
    endif()
endforeach()
run(${CMAKE_COMMAND} -S ${HOST_DIR} -B ${WORK_DIR}/host -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/host)
foreach(program package_host pedantic_host from_rc from_res)
    run(${WORK_DIR}/host/${program})
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
