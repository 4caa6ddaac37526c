# Every Windows program must run alone on any Windows: it may import the
# system's DLLs and nothing else (a MinGW runtime or libcurl DLL would be
# missing beside a program a user downloaded).
#
# As a script, checks the programs named after "--" with OBJDUMP (default:
# MinGW-w64's), printing what each imports; it fails on a program that is
# missing or imports another DLL:
#   cmake [-DOBJDUMP=...] -P cmake/CheckImports.cmake -- a.exe b.exe
# Included, it defines velmora_add_import_check(NAME DIRECTORY...), a test
# that checks every program built in those folders and the ones below them.

# The Windows system DLLs, the only imports a self-contained program may have.
set(VELMORA_SYSTEM_DLLS
    kernel32.dll ntdll.dll msvcrt.dll ws2_32.dll bcrypt.dll advapi32.dll crypt32.dll wldap32.dll
    winhttp.dll winmm.dll user32.dll shell32.dll ole32.dll iphlpapi.dll secur32.dll normaliz.dll
    comctl32.dll comdlg32.dll gdi32.dll shlwapi.dll oleaut32.dll uxtheme.dll)

if(CMAKE_SCRIPT_MODE_FILE)
    cmake_minimum_required(VERSION 3.22)
    if(NOT OBJDUMP)
        find_program(OBJDUMP x86_64-w64-mingw32-objdump REQUIRED)
    endif()
    set(programs)
    set(listed FALSE)
    math(EXPR last "${CMAKE_ARGC} - 1")
    foreach(i RANGE ${last})
        if(listed)
            list(APPEND programs "${CMAKE_ARGV${i}}")
        elseif(CMAKE_ARGV${i} STREQUAL "--")
            set(listed TRUE)
        endif()
    endforeach()
    if(NOT programs)
        message(FATAL_ERROR "no programs to check: cmake -P CheckImports.cmake -- a.exe b.exe")
    endif()
    set(failed FALSE)
    foreach(program IN LISTS programs)
        get_filename_component(name "${program}" NAME)
        if(NOT EXISTS "${program}")
            message("${name}: missing (${program}); build it first")
            set(failed TRUE)
            continue()
        endif()
        execute_process(COMMAND "${OBJDUMP}" -p "${program}" OUTPUT_VARIABLE headers
                        RESULT_VARIABLE result ERROR_VARIABLE error)
        if(NOT result EQUAL 0)
            message("${name}: ${OBJDUMP} failed: ${error}")
            set(failed TRUE)
            continue()
        endif()
        string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
        list(TRANSFORM imports REPLACE "^DLL Name: *" "")
        list(JOIN imports " " shown)
        message("${name} imports: ${shown}")
        foreach(dll IN LISTS imports)
            string(TOLOWER "${dll}" dll_lower)
            string(STRIP "${dll_lower}" dll_lower)
            if(NOT dll_lower IN_LIST VELMORA_SYSTEM_DLLS)
                message("  not a system DLL: ${dll}")
                set(failed TRUE)
            endif()
        endforeach()
    endforeach()
    if(failed)
        message(FATAL_ERROR "a program imports more than the system's DLLs, or could not be checked")
    endif()
    return()
endif()

function(_velmora_executables dir out)
    set(found)
    get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "EXECUTABLE")
            list(APPEND found "$<TARGET_FILE:${target}>")
        endif()
    endforeach()
    get_property(subdirectories DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
    foreach(subdirectory IN LISTS subdirectories)
        _velmora_executables("${subdirectory}" more)
        list(APPEND found ${more})
    endforeach()
    set(${out} ${found} PARENT_SCOPE)
endfunction()

set(_velmora_check_imports_script "${CMAKE_CURRENT_LIST_FILE}")
# Call at the end of the folder's list file: programs defined later are
# not seen.
function(velmora_add_import_check name)
    set(programs)
    foreach(dir IN LISTS ARGN)
        _velmora_executables("${dir}" found)
        list(APPEND programs ${found})
    endforeach()
    add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} "-DOBJDUMP=${CMAKE_OBJDUMP}"
        -P "${_velmora_check_imports_script}" -- ${programs})
endfunction()
