# Run after a library is installed into its staging folder STAGE: writes the
# note of what it was built from (velmora-build.txt) and moves it to PREFIX
# in one step, so that a prefix is either complete or absent.
#   cmake -DSTAGE=... -DPREFIX=... -DNOTE=... -DCOMPILER=... -DOPTIONS=...
#         -DCONFIGURE_LOG=... -P publish.cmake
execute_process(COMMAND ${COMPILER} --version OUTPUT_VARIABLE compiler COMMAND_ERROR_IS_FATAL ANY)
string(REGEX REPLACE "\n.*" "" compiler "${compiler}")
set(note "${NOTE}\ncompiler: ${compiler}\ncmake options: ${OPTIONS}\n")
# What libcurl's configuration says it has, and what it links.
file(STRINGS "${CONFIGURE_LOG}" enabled REGEX "^-- Enabled (features|protocols|SSL backends):")
foreach(line IN LISTS enabled)
    string(APPEND note "${line}\n")
endforeach()
file(GLOB pc_files "${STAGE}/lib/pkgconfig/*.pc")
foreach(pc IN LISTS pc_files)
    file(STRINGS "${pc}" libs REGEX "^Libs.private:.*[^ ]")
    foreach(line IN LISTS libs)
        string(APPEND note "${line}\n")
    endforeach()
endforeach()
file(WRITE "${STAGE}/velmora-build.txt" "${note}")
file(REMOVE_RECURSE "${PREFIX}")
get_filename_component(parent "${PREFIX}" DIRECTORY)
file(MAKE_DIRECTORY "${parent}")
file(RENAME "${STAGE}" "${PREFIX}")
