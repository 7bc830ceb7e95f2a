# Makes the Debian package, checks what it holds, unpacks it into a scratch
# folder and runs the console it installs there.
cmake_minimum_required(VERSION 3.25)

file(GLOB old ${BUILD}/*.deb)
if(old)
    file(REMOVE ${old})
endif()
execute_process(COMMAND ${CPACK} --config ${BUILD}/CPackConfig.cmake
    WORKING_DIRECTORY ${BUILD} RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${log}")
endif()
file(GLOB package ${BUILD}/zorvex_*.deb)
list(LENGTH package count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one zorvex_*.deb in ${BUILD}, found [${package}]")
endif()

execute_process(COMMAND dpkg-deb --contents ${package} OUTPUT_VARIABLE listing
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-deb cannot read ${package}")
endif()
foreach(entry
        "./usr/bin/zorvex_cui -> ../lib/zorvex/zorvex_cui"
        ./usr/lib/zorvex/zorvex_cui
        ./usr/lib/zorvex/zorvex.dll
        ./usr/include/zorvex.h
        ./usr/lib/udev/rules.d/70-zorvex-mcp2221a.rules
        ./usr/lib/python3/dist-packages/zorvex.py)
    string(FIND "${listing}" " ${entry}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${package} lacks ${entry}:\n${listing}")
    endif()
endforeach()
execute_process(COMMAND dpkg-deb --field ${package} Package Depends OUTPUT_VARIABLE fields)
if(NOT fields MATCHES "Package: zorvex\n" OR NOT fields MATCHES "libhidapi-hidraw0")
    message(FATAL_ERROR "unexpected control fields:\n${fields}")
endif()

# The installed console, started through its link, finds the library beside
# its real self; no chip is attached here.
set(root ${BUILD}/debian-package-root)
file(REMOVE_RECURSE ${root})
execute_process(COMMAND dpkg-deb --extract ${package} ${root} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-deb cannot unpack ${package}")
endif()
execute_process(COMMAND ${root}/usr/bin/zorvex_cui -mcplist OUTPUT_VARIABLE output
    RESULT_VARIABLE status)
file(REMOVE_RECURSE ${root})
if(NOT status EQUAL 0 OR NOT output STREQUAL "Found Mcp2221a ... 0 unit.\n")
    message(FATAL_ERROR "the installed console said [${output}], exit ${status}")
endif()
message(STATUS "${package}:\n${listing}")
