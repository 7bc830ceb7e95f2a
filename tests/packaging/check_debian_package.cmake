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
        ./usr/lib/python3/dist-packages/zorvex.py
        ./usr/bin/zorvexd
        ./usr/bin/zorvexctl
        ./usr/lib/python3/dist-packages/zorvex_pdudaemon/__init__.py
        ./usr/lib/python3/dist-packages/zorvex_pdudaemon-1.0.1.0.dist-info/entry_points.txt
        ./usr/share/doc/zorvex/docs/zorvexd.md
        ./usr/lib/systemd/system/zorvexd.service
        ./etc/zorvex/zorvexd.conf)
    string(FIND "${listing}" " ${entry}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${package} lacks ${entry}:\n${listing}")
    endif()
endforeach()
execute_process(COMMAND dpkg-deb --field ${package} Package Depends OUTPUT_VARIABLE fields)
if(NOT fields MATCHES "Package: zorvex\n" OR NOT fields MATCHES "libhidapi-hidraw0" OR
   NOT fields MATCHES "libmosquitto1")
    message(FATAL_ERROR "unexpected control fields:\n${fields}")
endif()
# The settings are the admin's (a conffile); the postinst makes the user and
# group zorvex and enables nothing.
execute_process(COMMAND dpkg-deb --info ${package} conffiles OUTPUT_VARIABLE conffiles)
execute_process(COMMAND dpkg-deb --info ${package} postinst OUTPUT_VARIABLE postinst)
string(STRIP "${conffiles}" conffiles)
if(NOT conffiles STREQUAL "/etc/zorvex/zorvexd.conf" OR
   NOT postinst MATCHES "adduser --system --ingroup zorvex" OR
   postinst MATCHES "systemctl enable")
    message(FATAL_ERROR "conffiles [${conffiles}], postinst [${postinst}]")
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
if(NOT status EQUAL 0 OR NOT output STREQUAL "Found Mcp2221a ... 0 unit.\n")
    message(FATAL_ERROR "the installed console said [${output}], exit ${status}")
endif()

# The installed daemon reads the installed settings, and its service passes
# systemd's own checks, with an exposure of at most 3.0.
execute_process(COMMAND ${root}/usr/bin/zorvexd --config ${root}/etc/zorvex/zorvexd.conf --list
    RESULT_VARIABLE status ERROR_VARIABLE problem)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "zorvexd with the package's settings: exit ${status}: ${problem}")
endif()
# And the installed zorvexctl finds no unit here, and says so.
execute_process(COMMAND ${root}/usr/bin/zorvexctl --config ${root}/etc/zorvex/zorvexd.conf list
    OUTPUT_VARIABLE output RESULT_VARIABLE status ERROR_VARIABLE problem)
if(NOT status EQUAL 0 OR NOT output STREQUAL "")
    message(FATAL_ERROR "zorvexctl list: exit ${status}, [${output}] ${problem}")
endif()
find_program(ANALYZE systemd-analyze)
if(ANALYZE)
    set(unit ${root}/usr/lib/systemd/system/zorvexd.service)
    file(READ ${unit} text)
    string(REPLACE "/usr/bin/zorvexd" "${root}/usr/bin/zorvexd" text "${text}")
    file(WRITE ${root}/check/zorvexd.service "${text}")
    execute_process(COMMAND ${ANALYZE} verify ${root}/check/zorvexd.service
        RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
    if(NOT status EQUAL 0 OR NOT said STREQUAL "")
        message(FATAL_ERROR "systemd-analyze verify: ${said}")
    endif()
    execute_process(COMMAND ${ANALYZE} security --offline=true ${unit}
        OUTPUT_VARIABLE said ERROR_VARIABLE said)
    string(REGEX MATCH "Overall exposure level for zorvexd.service: ([0-9.]+)" found "${said}")
    if(NOT found OR CMAKE_MATCH_1 GREATER 3.0)
        message(FATAL_ERROR "systemd-analyze security: [${CMAKE_MATCH_1}]\n${said}")
    endif()
    message(STATUS "zorvexd.service: exposure ${CMAKE_MATCH_1}")
else()
    message(STATUS "no systemd-analyze here: the service file is not checked")
endif()
file(REMOVE_RECURSE ${root})
message(STATUS "${package}:\n${listing}")
