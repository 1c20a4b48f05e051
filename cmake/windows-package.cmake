# The Windows release zip (cpack -G ZIP in the cross build): bin/mibcli.exe and
# bin/pkgrunner.exe, the README, and the manual pages rendered as plain text
# (doc/*.txt) by the build machine's groff; without groff their source is
# shipped as it stands.
find_program(GROFF_PROGRAM groff)
set(MANUAL_TEXTS)
foreach(page mibcli pkgrunner)
  set(source ${PROJECT_SOURCE_DIR}/doc/${page}.1)
  set(text ${PROJECT_BINARY_DIR}/doc/${page}.txt)
  if(GROFF_PROGRAM)
    # Plain ASCII: no overstriking for bold and underline, no escape sequences.
    add_custom_command(OUTPUT ${text}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/doc
      COMMAND sh -c "'${GROFF_PROGRAM}' -man -Tascii -P-c -P-b -P-u '${source}' > '${text}'"
      DEPENDS ${source} VERBATIM)
  else()
    add_custom_command(OUTPUT ${text}
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${text} DEPENDS ${source} VERBATIM)
  endif()
  list(APPEND MANUAL_TEXTS ${text})
endforeach()
add_custom_target(manual_texts ALL DEPENDS ${MANUAL_TEXTS})
install(FILES ${MANUAL_TEXTS} DESTINATION doc)
install(FILES README.md DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME mibcli)
set(CPACK_PACKAGE_VENDOR "mibcli developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "SNMPv1 console manager (mibcli) and package launcher (pkgrunner)")
set(CPACK_PACKAGE_FILE_NAME mibcli-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
