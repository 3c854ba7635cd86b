# Installing on Linux (a prefix, or a Debian package with cpack -G DEB).

include(GNUInstallDirs)
install(TARGETS slash slash-trace RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The manual page and the changelog go in compressed, as Debian keeps them;
# -n leaves the date out, so the same sources give the same files.
find_program(GZIP gzip REQUIRED)
foreach(page IN ITEMS docs/slash.1 NEWS)
  get_filename_component(name ${page} NAME)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}.gz
    COMMAND ${GZIP} -9nc ${CMAKE_CURRENT_SOURCE_DIR}/${page} > ${CMAKE_BINARY_DIR}/${name}.gz
    DEPENDS ${page} VERBATIM)
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${CMAKE_BINARY_DIR}/slash.1.gz ${CMAKE_BINARY_DIR}/NEWS.gz)
install(FILES ${CMAKE_BINARY_DIR}/slash.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(CODE "file(CREATE_LINK slash.1.gz \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1/slash-trace.1.gz\" SYMBOLIC)")
install(FILES ${CMAKE_BINARY_DIR}/NEWS.gz DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME changelog.gz)
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# What `cmake --install` puts under a prefix is recorded in the build tree,
# one file a prefix, for `cmake -DPREFIX=DIR -P build/uninstall.cmake` (or the
# uninstall target, for the configured prefix) to take away again. A staged
# install (DESTDIR, as packaging does) leaves no record: nothing to undo.
set(SLASH_INSTALL_RECORDS ${CMAKE_BINARY_DIR}/install-records)
install(CODE "set(SLASH_INSTALL_RECORDS \"${SLASH_INSTALL_RECORDS}\")
  set(SLASH_MAN_LINK \"${CMAKE_INSTALL_MANDIR}/man1/slash-trace.1.gz\")")
install(CODE [[
  if("$ENV{DESTDIR}" STREQUAL "")
    get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
    string(MAKE_C_IDENTIFIER "${prefix}" key)
    set(installed ${CMAKE_INSTALL_MANIFEST_FILES} "${prefix}/${SLASH_MAN_LINK}")
    list(REMOVE_DUPLICATES installed)
    list(JOIN installed "
" lines)
    file(WRITE "${SLASH_INSTALL_RECORDS}/${key}.txt" "${lines}
")
  endif()
]])
configure_file(cmake/uninstall.cmake.in ${CMAKE_BINARY_DIR}/uninstall.cmake @ONLY)
add_custom_target(uninstall COMMAND ${CMAKE_COMMAND} -P ${CMAKE_BINARY_DIR}/uninstall.cmake)

# cpack -G DEB: the package's library dependencies come from dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME slash)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "slash developers <dev@slash.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "full-screen sword-cut effect")
set(CPACK_PACKAGE_DESCRIPTION "\
slash covers the primary screen with a borderless black window, waits\n\
1.5 seconds, then cuts one straight line of the effect colour across the\n\
screen every 125 milliseconds, floods the screen with that colour and exits\n\
by itself 875 milliseconds later. A number and a colour word on its command\n\
line choose how many lines are drawn and in which colour.\n\
.\n\
It shows on a Wayland compositor as a native client, and on an X server,\n\
which then does all the drawing. slash-trace follows a run without a\n\
display, one JSON object per step.")
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
configure_file(cmake/source_date.cmake.in ${CMAKE_BINARY_DIR}/source_date.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/source_date.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/deb_installed_size.cmake)
include(CPack)
