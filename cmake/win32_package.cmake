# Windows: the version record and manifest in slash.exe, and a zip of both
# programs with the README and the licence (cpack -G ZIP).

target_sources(slash PRIVATE app/win32/slash.rc)
target_include_directories(slash PRIVATE ${CMAKE_BINARY_DIR}/generated)
# The resource file names the manifest by a path relative to itself.
set_source_files_properties(app/win32/slash.rc PROPERTIES OBJECT_DEPENDS
                            ${CMAKE_CURRENT_SOURCE_DIR}/app/win32/slash.manifest)
# A window program: no console of its own when started from the desktop;
# one started from a console still writes its errors there.
target_link_options(slash PRIVATE -mwindows)

install(TARGETS slash slash-trace RUNTIME DESTINATION .)
install(FILES README.md LICENSE DESTINATION .)

set(CPACK_PACKAGE_NAME slash)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME slash-${PROJECT_VERSION}-win64)
set(CPACK_GENERATOR ZIP)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
configure_file(cmake/source_date.cmake.in ${CMAKE_BINARY_DIR}/source_date.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/source_date.cmake)
include(CPack)
