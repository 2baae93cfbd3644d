# What an installation carries besides the programs, and the Debian package made of it
# (scripts/package.sh: cpack -G DEB on a Release build).
#
# The package declares the libraries the programs link (dpkg-shlibdeps reads them from the
# stripped binaries) and the font the window was measured in: without Liberation Sans the window
# falls back to another family and its captions clip.

# The manual pages, written by hand: besides the options they tell where the program folder is
# looked for, the environment and the exit statuses, which --help keeps short.
set(ACTUALIZ_MAN_PAGES docs/actualiz-cli.1)
if(ACTUALIZ_GUI)
    list(APPEND ACTUALIZ_MAN_PAGES docs/actualiz.1)
endif()
foreach(page IN LISTS ACTUALIZ_MAN_PAGES)
    get_filename_component(name ${page} NAME)
    set(gzipped ${CMAKE_CURRENT_BINARY_DIR}/man/${name}.gz)
    # gzip -n: no name nor time stamp inside, so the same page always gives the same bytes.
    add_custom_command(
        OUTPUT ${gzipped}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
        COMMAND sh -c "gzip -9nc '${CMAKE_CURRENT_SOURCE_DIR}/${page}' > '${gzipped}'"
        DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${page}
        COMMENT "Compressing ${name}"
        VERBATIM)
    list(APPEND ACTUALIZ_MAN_GZ ${gzipped})
    install(FILES ${gzipped} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(actualiz_man ALL DEPENDS ${ACTUALIZ_MAN_GZ})

# Debian wants its copyright notice and a compressed changelog in the package's doc folder.
set(ACTUALIZ_CHANGELOG_GZ ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
    OUTPUT ${ACTUALIZ_CHANGELOG_GZ}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
    COMMAND sh -c
            "gzip -9nc '${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog' > '${ACTUALIZ_CHANGELOG_GZ}'"
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog
    COMMENT "Compressing the changelog"
    VERBATIM)
add_custom_target(actualiz_changelog ALL DEPENDS ${ACTUALIZ_CHANGELOG_GZ})
install(FILES packaging/copyright ${ACTUALIZ_CHANGELOG_GZ}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(ACTUALIZ_GUI)
    # Software centres find the window through its AppStream description.
    install(FILES packaging/io.github.actualiz.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

set(CPACK_PACKAGE_NAME actualiz)
set(CPACK_PACKAGE_VENDOR "actualiz")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "actualiza la estructura de las bases de datos de una aplicación")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "actualiz empareja cada base de datos de una carpeta de datos con la base\n"
    "modelo del mismo nombre: le añade las tablas y los campos que le faltan,\n"
    "sustituye sus índices, relaciones y consultas por los del modelo y copia\n"
    "las bases modelo sin pareja, sin tocar los datos. Trae la ventana\n"
    "(actualiz) y el programa de consola (actualiz-cli), que hace lo mismo sin\n"
    "pantalla, con progreso, copia de seguridad, ensayo e informe.")
set(ACTUALIZ_PACKAGE_MAINTAINER "actualiz maintainers <actualiz@example.org>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_PACKAGE_CONTACT "${ACTUALIZ_PACKAGE_MAINTAINER}")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Joined with what dpkg-shlibdeps finds.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")
# Every file and folder the package creates is owned by root, whoever builds it.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

if(ACTUALIZ_TESTS)
    # What the package carries besides the programs is checked in every test run; the package
    # itself, which needs a Release build of its own, by scripts/test.sh (scripts/package.sh,
    # then scripts/check-package.sh).
    find_program(APPSTREAMCLI appstreamcli)
    if(APPSTREAMCLI)
        add_test(NAME package.MetainfoIsValid
                 COMMAND ${APPSTREAMCLI} validate --no-net
                         ${CMAKE_CURRENT_SOURCE_DIR}/packaging/io.github.actualiz.metainfo.xml)
    endif()
    find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
    if(DESKTOP_FILE_VALIDATE)
        add_test(NAME package.DesktopEntryIsValid
                 COMMAND ${DESKTOP_FILE_VALIDATE} ${CMAKE_CURRENT_SOURCE_DIR}/packaging/actualiz.desktop)
    endif()
    # Each manual page formats without a warning and names every option its program's --help
    # lists, subcommands included.
    set(man_check_programs $<TARGET_FILE:actualiz-cli>)
    if(ACTUALIZ_GUI)
        list(APPEND man_check_programs $<TARGET_FILE:actualiz>)
    endif()
    add_test(NAME package.ManPagesNameEveryOption
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scripts/check-man-pages.sh
                     ${CMAKE_CURRENT_SOURCE_DIR}/docs ${man_check_programs})
    set_tests_properties(package.ManPagesNameEveryOption PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
