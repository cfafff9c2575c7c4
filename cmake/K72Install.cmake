# What `cmake --install` puts where, and the Debian package `cpack -G DEB` makes of it. The version is
# the one of project(... VERSION) in CMakeLists.txt; nothing else names it.

# Manual pages, with the version filled in and compressed as Debian keeps them.
set(k72_man_pages)
foreach(page k72-card k72-image-converter)
    set(source ${PROJECT_SOURCE_DIR}/docs/man/${page}.1)
    set(page_file ${CMAKE_BINARY_DIR}/man/${page}.1)
    configure_file(${source} ${page_file} @ONLY)
    add_custom_command(
        OUTPUT ${page_file}.gz
        COMMAND gzip -9nkf ${page_file}
        DEPENDS ${page_file}
        COMMENT "Compressing the manual page ${page}(1)"
        VERBATIM)
    list(APPEND k72_man_pages ${page_file}.gz)
endforeach()
add_custom_target(k72_man_pages ALL DEPENDS ${k72_man_pages})
install(FILES ${k72_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Bash completion of k72-card.
install(FILES ${PROJECT_SOURCE_DIR}/cli/k72-card.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME k72-card)

# The manual: its pages, copied into build/manual so that the program finds it when run from the build
# folder, and its pictures, which the screenshots of the windows made there (tests/ui/CMakeLists.txt).
set(k72_manual_files ${PROJECT_SOURCE_DIR}/docs/manual/index.html ${PROJECT_SOURCE_DIR}/docs/manual/manual.css)
set(k72_manual_copies)
foreach(file IN LISTS k72_manual_files)
    get_filename_component(name ${file} NAME)
    add_custom_command(
        OUTPUT ${CMAKE_BINARY_DIR}/manual/${name}
        COMMAND ${CMAKE_COMMAND} -E copy ${file} ${CMAKE_BINARY_DIR}/manual/${name}
        DEPENDS ${file}
        VERBATIM)
    list(APPEND k72_manual_copies ${CMAKE_BINARY_DIR}/manual/${name})
endforeach()
add_custom_target(k72_manual ALL DEPENDS ${k72_manual_copies})
install(FILES ${k72_manual_files} DESTINATION ${CMAKE_INSTALL_DOCDIR}/manual)
install(DIRECTORY ${CMAKE_BINARY_DIR}/manual/pictures/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/manual/pictures
        OPTIONAL FILES_MATCHING PATTERN "*.png")

# The package's own documents: its copyright and change log.
configure_file(${PROJECT_SOURCE_DIR}/docs/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
    COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/debian/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog
    VERBATIM)
add_custom_target(k72_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/docs/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME k72-image-converter)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR KAVELO)
set(CPACK_PACKAGE_CONTACT "KAVELO <k72@kavelo.jp>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converter for the K-72 visual sampler's SD card")
# The long description below the summary; CPack indents its lines and turns the empty one into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "K-72 Image Converter puts movies and pictures on the pads of a K-72 visual
sampler: it converts them into the one form the device plays, copies them to
the sampler's SD card and records them on a pad. Sounds can be attached to
pads, pads can be exported and deleted, and the card can be checked.

The package holds the desktop program and k72-card, a terminal tool with the
same commands for scripts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kavelo.github.io/k72-image-converter/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
