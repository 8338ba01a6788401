# The release archive of the Windows build: `cmake --build <dir> --target package` gives
# Tessaloom-<version>-win64.zip (Tessaloom.exe, README.txt, LICENSE at its top) and beside it
# Tessaloom-<version>-win64.zip.sha256 for `sha256sum -c`. The same build gives the same
# archive wherever it is made (release-archive.py), which CPack does not: its zip keeps the
# files' times and owners and the order in which the file system lists them.

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

find_package(Python3 3.9 REQUIRED COMPONENTS Interpreter)
math(EXPR bits "${CMAKE_SIZEOF_VOID_P} * 8")
set(TESSALOOM_ARCHIVE ${CMAKE_BINARY_DIR}/Tessaloom-${PROJECT_VERSION}-win${bits}.zip)
add_custom_command(OUTPUT ${TESSALOOM_ARCHIVE} ${TESSALOOM_ARCHIVE}.sha256
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/release-archive.py
          ${TESSALOOM_ARCHIVE} $<TARGET_FILE:Tessaloom> ${TESSALOOM_PACKAGE_TEXTS}
  DEPENDS Tessaloom ${TESSALOOM_PACKAGE_TEXTS} ${PROJECT_SOURCE_DIR}/cmake/release-archive.py
  COMMENT "Writing the release archive ${TESSALOOM_ARCHIVE}"
  VERBATIM)
# A build folder configured when CPack made the archive still holds CPack's configuration, by
# which CMake would keep the target name "package" for CPack.
file(REMOVE ${CMAKE_BINARY_DIR}/CPackConfig.cmake ${CMAKE_BINARY_DIR}/CPackSourceConfig.cmake)
add_custom_target(package DEPENDS ${TESSALOOM_ARCHIVE} ${TESSALOOM_ARCHIVE}.sha256)
