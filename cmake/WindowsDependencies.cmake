# The libraries the Windows build needs beyond Debian's MinGW packages:
# libcurl and utf8proc from Debian's source packages, GoogleTest from
# Debian's googletest sources, cross-built static once into a cache outside
# the clone, each in a prefix named after its source version
# (<cache>/curl-mingw-<version>, utf8proc-mingw-..., gtest-mingw-...).
#
# Only the shell may ask apt, so scripts/windows_deps.sh unpacks the sources
# and exports VELMORA_DEPS_CACHE and, for NAME in CURL, UTF8PROC and GTEST,
# VELMORA_<NAME>_VERSION and VELMORA_<NAME>_SOURCE. They are kept in this
# build's cache, so that a configure without them (cmake --build rerunning
# it) finds the same; when set, the environment wins, since it is what apt
# says today. A missing prefix is built here, at configure time, by the
# project in cmake/windows_deps; when all are there this is a few file
# checks. Then the prefixes go on CMAKE_FIND_ROOT_PATH, where find_package
# and find_library look with the MinGW toolchain.

set(_velmora_deps curl utf8proc gtest)
set(_velmora_curl_library libcurl.a)
set(_velmora_utf8proc_library libutf8proc.a)
set(_velmora_gtest_library libgtest.a)

if(NOT "$ENV{VELMORA_DEPS_CACHE}" STREQUAL "")
    set(VELMORA_DEPS_CACHE "$ENV{VELMORA_DEPS_CACHE}" CACHE PATH
        "Where the Windows build's libraries are built, once" FORCE)
endif()
set(_velmora_prefixes)
set(_velmora_missing)
foreach(dep IN LISTS _velmora_deps)
    string(TOUPPER ${dep} DEP)
    foreach(what VERSION SOURCE)
        if(NOT "$ENV{VELMORA_${DEP}_${what}}" STREQUAL "")
            set(VELMORA_${DEP}_${what} "$ENV{VELMORA_${DEP}_${what}}" CACHE STRING
                "${dep} for the Windows build: ${what} (from scripts/windows_deps.sh)" FORCE)
        endif()
    endforeach()
    if(NOT VELMORA_DEPS_CACHE OR NOT VELMORA_${DEP}_VERSION)
        message(FATAL_ERROR "No version of ${dep} for the Windows build: build it with "
                "scripts/build-windows.sh, or source scripts/windows_deps.sh before cmake.")
    endif()
    # A Debian version's epoch colon is no friend of paths.
    string(REPLACE ":" "_" key "${VELMORA_${DEP}_VERSION}")
    set(VELMORA_${DEP}_PREFIX "${VELMORA_DEPS_CACHE}/${dep}-mingw-${key}")
    list(APPEND _velmora_prefixes "${VELMORA_${DEP}_PREFIX}")
    if(NOT EXISTS "${VELMORA_${DEP}_PREFIX}/lib/${_velmora_${dep}_library}")
        list(APPEND _velmora_missing ${dep})
    endif()
endforeach()

if(_velmora_missing)
    # One builder at a time: a second waits, then finds the prefixes built.
    file(MAKE_DIRECTORY "${VELMORA_DEPS_CACHE}")
    file(LOCK "${VELMORA_DEPS_CACHE}/.build.lock" GUARD PROCESS TIMEOUT 3600)
    set(_velmora_locked TRUE)
    set(_velmora_missing)
    foreach(dep IN LISTS _velmora_deps)
        string(TOUPPER ${dep} DEP)
        if(NOT EXISTS "${VELMORA_${DEP}_PREFIX}/lib/${_velmora_${dep}_library}")
            list(APPEND _velmora_missing ${dep})
        endif()
    endforeach()
endif()
if(_velmora_missing)
    # Two cores are shared with whatever else builds here: one job while
    # other compilers run, two otherwise.
    set(_velmora_jobs "$ENV{VELMORA_DEPS_JOBS}")
    if(NOT _velmora_jobs)
        execute_process(COMMAND pgrep -x "cc1|cc1plus" OUTPUT_QUIET ERROR_QUIET
                        RESULT_VARIABLE _velmora_compiling)
        if(_velmora_compiling EQUAL 0)
            set(_velmora_jobs 1)
        else()
            set(_velmora_jobs 2)
        endif()
    endif()
    set(_velmora_work "${VELMORA_DEPS_CACHE}/build")
    file(REMOVE_RECURSE "${_velmora_work}")
    file(MAKE_DIRECTORY "${_velmora_work}")
    list(JOIN _velmora_missing ", " _velmora_names)
    message(NOTICE "windows deps: building ${_velmora_names} for MinGW (-j${_velmora_jobs}) "
            "in ${_velmora_work}")
    string(TIMESTAMP _velmora_start "%s")
    set(_velmora_args "-DVELMORA_TOOLCHAIN_FILE=${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake"
        -DVELMORA_DEPS_JOBS=${_velmora_jobs})
    foreach(dep IN LISTS _velmora_deps)
        string(TOUPPER ${dep} DEP)
        foreach(what VERSION SOURCE PREFIX)
            list(APPEND _velmora_args "-DVELMORA_${DEP}_${what}=${VELMORA_${DEP}_${what}}")
        endforeach()
    endforeach()
    execute_process(
        COMMAND ${CMAKE_COMMAND} -S "${CMAKE_CURRENT_LIST_DIR}/windows_deps" -B "${_velmora_work}"
            -G Ninja ${_velmora_args}
        OUTPUT_FILE "${_velmora_work}/configure.log" ERROR_FILE "${_velmora_work}/configure.log"
        RESULT_VARIABLE _velmora_result)
    set(_velmora_log "${_velmora_work}/configure.log")
    if(_velmora_result EQUAL 0)
        set(_velmora_log "${_velmora_work}/build.log")
        execute_process(
            COMMAND ${CMAKE_COMMAND} --build "${_velmora_work}" -j ${_velmora_jobs}
            OUTPUT_FILE "${_velmora_log}" ERROR_FILE "${_velmora_log}"
            RESULT_VARIABLE _velmora_result)
    endif()
    if(NOT _velmora_result EQUAL 0)
        # The end of the log says what went wrong.
        file(SIZE "${_velmora_log}" _velmora_size)
        set(_velmora_offset 0)
        if(_velmora_size GREATER 8000)
            math(EXPR _velmora_offset "${_velmora_size} - 8000")
        endif()
        file(READ "${_velmora_log}" _velmora_tail OFFSET ${_velmora_offset})
        message(NOTICE "${_velmora_tail}")
        message(FATAL_ERROR "windows deps: building ${_velmora_names} failed: see ${_velmora_log}")
    endif()
    file(REMOVE_RECURSE "${_velmora_work}")
    string(TIMESTAMP _velmora_end "%s")
    math(EXPR _velmora_seconds "${_velmora_end} - ${_velmora_start}")
    message(NOTICE "windows deps: ${_velmora_names} built in ${_velmora_seconds} s")
endif()
if(_velmora_locked)
    file(LOCK "${VELMORA_DEPS_CACHE}/.build.lock" RELEASE)
endif()

# What an earlier configure found in another version's prefix is looked for
# again, lest the build keep linking a library that is no longer current.
foreach(var CURL_DIR GTest_DIR UTF8PROC_INCLUDE_DIR UTF8PROC_LIBRARY)
    if(DEFINED CACHE{${var}})
        set(_velmora_current FALSE)
        foreach(prefix IN LISTS _velmora_prefixes)
            cmake_path(IS_PREFIX prefix "$CACHE{${var}}" NORMALIZE _velmora_inside)
            if(_velmora_inside)
                set(_velmora_current TRUE)
            endif()
        endforeach()
        if(NOT _velmora_current)
            unset(${var} CACHE)
        endif()
    endif()
endforeach()
list(APPEND CMAKE_FIND_ROOT_PATH ${_velmora_prefixes})
list(JOIN _velmora_prefixes ", " _velmora_names)
message(STATUS "Windows libraries: ${_velmora_names}")
unset(DEP)
unset(key)
