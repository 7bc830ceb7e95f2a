# Makes the release archive and checks what it holds.
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${CPACK} --config ${BUILD}/CPackConfig.cmake
    WORKING_DIRECTORY ${BUILD} RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${log}")
endif()
set(archive ${BUILD}/${NAME}.zip)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${archive}
    OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot read ${archive}")
endif()
string(REGEX MATCHALL "[^\n]+" entries "${listing}")
list(FILTER entries EXCLUDE REGEX "/$")
list(SORT entries)
set(expected README.txt zorvex.dll zorvex.h zorvex.lib zorvex_cui.exe zorvexctl.exe)
list(TRANSFORM expected PREPEND "${NAME}/")
if(NOT entries STREQUAL expected)
    message(FATAL_ERROR "${archive} holds [${entries}], expected [${expected}]")
endif()
message(STATUS "${archive}: ${entries}")
