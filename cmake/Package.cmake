# The release archive of the Windows build: `cmake --build <dir> --target package` gives
# Tessaloom-<version>-win64.zip (Tessaloom.exe, README.txt, LICENSE at its top) and beside it
# Tessaloom-<version>-win64.zip.sha256 for `sha256sum -c`.

# README.txt (the README's part for users) and LICENSE as Windows text files.
set(TESSALOOM_PACKAGE_TEXT_DIR ${CMAKE_BINARY_DIR}/package-text)
set(TESSALOOM_PACKAGE_TEXTS "")
foreach(text README.md:README.txt:ON LICENSE:LICENSE:OFF)
  string(REPLACE ":" ";" text "${text}")
  list(GET text 0 input)
  list(GET text 1 output)
  list(GET text 2 readme)
  add_custom_command(OUTPUT ${TESSALOOM_PACKAGE_TEXT_DIR}/${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/${input}
            -DOUTPUT=${TESSALOOM_PACKAGE_TEXT_DIR}/${output} -DREADME=${readme}
            -P ${PROJECT_SOURCE_DIR}/cmake/WindowsText.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/${input} ${PROJECT_SOURCE_DIR}/cmake/WindowsText.cmake
    COMMENT "Writing ${output} for the release archive"
    VERBATIM)
  list(APPEND TESSALOOM_PACKAGE_TEXTS ${TESSALOOM_PACKAGE_TEXT_DIR}/${output})
endforeach()
add_custom_target(package-texts ALL DEPENDS ${TESSALOOM_PACKAGE_TEXTS})

install(TARGETS Tessaloom RUNTIME DESTINATION .)
install(FILES ${TESSALOOM_PACKAGE_TEXTS} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tessaloom)
set(CPACK_PACKAGE_VENDOR "The Tessaloom authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_SYSTEM_NAME win32)
endif()
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
