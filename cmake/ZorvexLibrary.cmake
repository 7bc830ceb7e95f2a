# zorvex_add_library(<target> OUTPUT_DIR <dir> SEAM <seam backend target>)
#
# One build of the switch library: the code above the device seam, the
# load-time step and one seam backend, as <dir>/zorvex.dll on every
# platform, exporting exactly the five entry points.
function(zorvex_add_library target)
    cmake_parse_arguments(ARG "" "OUTPUT_DIR;SEAM" "" ${ARGN})
    add_library(${target} SHARED $<TARGET_OBJECTS:zorvex_core>)
    target_link_libraries(${target} PRIVATE zorvex_internal_headers ${ARG_SEAM})
    set(src ${PROJECT_SOURCE_DIR}/library/src)
    if(WIN32)
        target_sources(${target} PRIVATE ${src}/load_locale_windows.cpp ${ZORVEX_LIBRARY_RC})
        # zorvex.lib beside the DLL, for programs that link it at build time.
        set_target_properties(${target} PROPERTIES
            IMPORT_PREFIX "" IMPORT_SUFFIX ".lib"
            ARCHIVE_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIR})
    else()
        target_sources(${target} PRIVATE ${src}/load_locale_posix.cpp)
        set(map ${PROJECT_SOURCE_DIR}/cmake/zorvex_exports.map)
        target_link_options(${target} PRIVATE -Wl,--version-script=${map})
        # clang's sanitizer and fuzzer runtimes live in the program that
        # loads the library, so only without them can every symbol be
        # resolved here.
        if(NOT ((ZORVEX_SANITIZE OR ZORVEX_FUZZ) AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang"))
            target_link_options(${target} PRIVATE -Wl,--no-undefined)
        endif()
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
    endif()
    set_target_properties(${target} PROPERTIES
        OUTPUT_NAME zorvex PREFIX "" SUFFIX ".dll"
        LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIR}
        RUNTIME_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIR})
endfunction()
