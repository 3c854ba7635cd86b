# Run by cpack once it has made the zip. CPack adds files in the order the
# file system lists them, which differs from one file system to another
# (ext4 and tmpfs gave README.md a different place), so the same sources
# gave other bytes elsewhere. The zip is written again here, its entries
# in name order, every time that of SOURCE_DATE_EPOCH.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.zip$")
    continue()
  endif()
  set(tree "${package}.tree")
  file(REMOVE_RECURSE "${tree}")
  file(MAKE_DIRECTORY "${tree}")
  file(ARCHIVE_EXTRACT INPUT "${package}" DESTINATION "${tree}")
  # GLOB sorts what it finds; a list of files, so that no folder is walked
  # in the file system's order again.
  file(GLOB_RECURSE entries RELATIVE "${tree}" "${tree}/*")
  list(JOIN entries "\n" listed)
  file(WRITE "${tree}.list" "${listed}\n")
  string(TIMESTAMP when "%Y-%m-%d %H:%M:%S UTC" UTC)  # SOURCE_DATE_EPOCH, when set
  file(REMOVE "${package}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${package}" --format=zip "--mtime=${when}"
                          "--files-from=${tree}.list"
                  WORKING_DIRECTORY "${tree}" RESULT_VARIABLE status)
  file(REMOVE_RECURSE "${tree}" "${tree}.list")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot write ${package} again")
  endif()
endforeach()
