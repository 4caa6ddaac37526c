# Installation and the two Debian packages that cpack builds from it:
# velmora-quindle for the users (component "program") and velmora-publish
# for the maker (component "publisher"), so that the maker's tool never
# lands on a user's machine.
if(WIN32)
    return()
endif()

include(GNUInstallDirs)
# Directories made by the install carry these modes whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The date of this release, in the AppStream metadata and the changelogs.
set(VELMORA_RELEASE_DATE "2026-12-08")
execute_process(COMMAND date -u -R -d "${VELMORA_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE VELMORA_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
string(SUBSTRING "${VELMORA_RELEASE_DATE}" 0 4 VELMORA_RELEASE_YEAR)
# The packages' file times are the release's, not the packaging's, so that
# two packagings of one build give the same bytes.
execute_process(COMMAND date -u -d "${VELMORA_RELEASE_DATE} 12:00" +%s
                OUTPUT_VARIABLE VELMORA_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
file(WRITE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake
     "set(ENV{SOURCE_DATE_EPOCH} ${VELMORA_RELEASE_EPOCH})\n")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake)
set(VELMORA_MAINTAINER "Velmora Software <${VELMORA_SUPPORT_ADDRESS}>")

set(packaging_source ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_build ${PROJECT_BINARY_DIR}/packaging)
set(docdir ${CMAKE_INSTALL_DATADIR}/doc)
set(man1dir ${CMAKE_INSTALL_MANDIR}/man1)

# Debian wants man pages and changelogs compressed, and without gzip's name
# and time stamp so that two builds of one source give the same package.
set(compressed_docs)
function(velmora_gzip source name)
    add_custom_command(OUTPUT ${packaging_build}/${name}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${packaging_build}/${name}
        COMMAND gzip -9nf ${packaging_build}/${name}
        DEPENDS ${source} VERBATIM)
    set(compressed_docs ${compressed_docs} ${packaging_build}/${name}.gz PARENT_SCOPE)
endfunction()

configure_file(${packaging_source}/copyright.in ${packaging_build}/copyright @ONLY)

# What Debian asks of every package: its copyright, its changelog and a man
# page for each program in the path.
function(velmora_package_docs component package man_page)
    set(VELMORA_CHANGELOG_PACKAGE ${package})
    configure_file(${packaging_source}/changelog.in ${packaging_build}/${package}/changelog.in @ONLY)
    velmora_gzip(${packaging_build}/${package}/changelog.in ${package}/changelog)
    velmora_gzip(${packaging_source}/man/${man_page} ${man_page})
    set(compressed_docs ${compressed_docs} PARENT_SCOPE)
    install(FILES ${packaging_build}/copyright ${packaging_build}/${package}/changelog.gz
            DESTINATION ${docdir}/${package} COMPONENT ${component})
    install(FILES ${packaging_build}/${man_page}.gz DESTINATION ${man1dir} COMPONENT ${component})
endfunction()

set(CPACK_COMPONENTS_ALL publisher)
if(VELMORA_BUILD_GUI)
    list(PREPEND CPACK_COMPONENTS_ALL program)
    # The program itself lives in a folder of its own (VELMORA_PROGRAM_DIR);
    # what the user starts is the launcher in the path.
    configure_file(${packaging_source}/velmora-quindle.in ${PROJECT_BINARY_DIR}/velmora-quindle @ONLY)
    install(TARGETS VELMORA_QUINDLE_7 RUNTIME DESTINATION ${VELMORA_PROGRAM_DIR} COMPONENT program)
    install(PROGRAMS ${PROJECT_BINARY_DIR}/velmora-quindle DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT program)

    # The menu entry, the AppStream metadata and the icon all go by the
    # one reverse-DNS id, which is how software centres tie them together.
    configure_file(${packaging_source}/velmora-quindle.desktop.in
                   ${packaging_build}/${VELMORA_APP_ID}.desktop @ONLY)
    configure_file(${packaging_source}/velmora-quindle.metainfo.xml.in
                   ${packaging_build}/${VELMORA_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${packaging_build}/${VELMORA_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT program)
    install(FILES ${packaging_build}/${VELMORA_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT program)
    foreach(size 16 22 24 32 48 64 128 256)
        install(FILES ${packaging_source}/icons/velmora-quindle-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME ${VELMORA_APP_ID}.png COMPONENT program)
    endforeach()
    install(FILES ${PROJECT_SOURCE_DIR}/src/ui/images/quindle.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
            RENAME ${VELMORA_APP_ID}.svg COMPONENT program)
    velmora_package_docs(program velmora-quindle velmora-quindle.1)
endif()
install(TARGETS velmora-publish RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT publisher)
velmora_package_docs(publisher velmora-publish velmora-publish.1)
add_custom_target(velmora_compressed_docs ALL DEPENDS ${compressed_docs})

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGE_NAME velmora-quindle)
set(CPACK_PACKAGE_VENDOR "Velmora Software")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VELMORA_SUPPORT_ADDRESS}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELMORA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VELMORA_MAKER_SITE}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Stripped here rather than built without debugging information, so that one
# RelWithDebInfo build serves the tests, the debugger and the packages.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME velmora-quindle)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION
"download and install Velmora software packages over slow connections
Velmora Quindle downloads one of Velmora Software's packages from the
maker's web server in numbered parts, checks every part against the
maker's signed checksums, joins the parts into the installer and opens it.
.
It is made for slow and unreliable connections: every finished part is
recorded at once, so after a stop, a crash or a dropped network the
download goes on at the first part not yet fetched, and a part cut short
goes on from the byte where it stopped. The desktop's proxy settings are
used, and a proxy can be set by hand.")
# The desktop's proxy settings are read through GIO's resolvers (GNOME's, and
# libproxy's with its PAC runner).
set(CPACK_DEBIAN_PROGRAM_PACKAGE_RECOMMENDS "glib-networking, libproxy1-plugin-webkit")
# Qt loads its platform plugins (the window system's) at run time, where
# the libraries' dependencies cannot see them; without one no window opens.
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "qt6-qpa-plugins")

set(CPACK_DEBIAN_PUBLISHER_PACKAGE_NAME velmora-publish)
set(CPACK_DEBIAN_PUBLISHER_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PUBLISHER_DESCRIPTION
"publish Velmora software packages for Velmora Quindle
velmora-publish is the maker's side of Velmora Quindle: it splits an
installer into numbered parts and writes the package index, the site list
and the checksums of every part, of the installer and of the index, for
any static web server to serve. Given a minisign secret key, it signs the
checksums, naming the package and its version in the signature.
.
Users of Velmora Quindle do not need this package.")
# minisign makes the key pair the publisher signs with.
set(CPACK_DEBIAN_PUBLISHER_PACKAGE_SUGGESTS minisign)

include(CPack)
