# The Debian package: "cmake --build --preset release --target package" writes
# quillotide_<version>_<arch>.deb into the build folder. Its dependencies come from the programs'
# shared libraries (dpkg-shlibdeps), not from a hand-kept list.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillotide)
set(CPACK_PACKAGE_VENDOR "The Quillotide developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# One line of the extended description per list entry, each short enough for a terminal.
set(description_lines
  "Quillotide opens the client data files of Ultima Online (art, gumps, textures,"
  "hues, light, tile data, animations, sounds, multis, verdata, the map and its"
  "statics), shows every slot as a picture, animation, sound or record, exports"
  "slots to ordinary files and imports them back, edits records field by field"
  "and writes the result into the data files or the patch file."
  "It comes with an isometric world editor, and with quillotide-cli, which offers"
  "every operation as a command.")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION ${description_lines})
set(CPACK_PACKAGE_CONTACT "${QUILLOTIDE_PACKAGE_CONTACT}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${QUILLOTIDE_PACKAGE_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# A package without its manual pages is refused rather than built short.
if(NOT QUILLOTIDE_MANUAL_PAGES)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/packaging/NoManualPages.cmake)
endif()

include(CPack)
