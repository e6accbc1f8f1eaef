# Installation into the usual places and the packages built from it by CPack: a .deb on Linux,
# a .zip on Windows.

install(TARGETS kzt_fid kzt_nandid kzt_inspect RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
# The documentation goes under one folder of Debian's name on every platform: share/doc/kzt-fid.
set(KZT_DOC_DIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/kzt-fid")
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION "${KZT_DOC_DIR}")
# The licence, GPL-2.0-or-later: the whole text beside the Windows programs; on Linux Debian's
# machine-readable copyright file, where Debian looks for it (share/doc/<package>/copyright),
# which points to the system's copy of the text, and the package's changelog (doc/CMakeLists.txt).
if(WIN32)
  install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION "${KZT_DOC_DIR}")
else()
  install(FILES "${PROJECT_SOURCE_DIR}/doc/copyright" DESTINATION "${KZT_DOC_DIR}")
endif()
# The static preset's package: lintian is told that its programs are static on purpose.
if(KZT_STATIC AND NOT WIN32)
  install(FILES "${PROJECT_SOURCE_DIR}/doc/lintian-overrides-static"
          DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides" RENAME kzt-fid)
endif()
add_subdirectory(doc)
# The collector for Prometheus, its systemd units, manual page and alert rules.
include("${PROJECT_SOURCE_DIR}/doc/collector.cmake")

set(KZT_PACKAGE_MAINTAINER
    "kzt_fid maintainers <maintainers@users.noreply.c-seed-943ed965.example>"
    CACHE STRING "Maintainer named in the packages")

set(CPACK_PACKAGE_NAME "kzt_fid")
# The program's own version text (src/CMakeLists.txt reads it from src/frontend/options.h).
set(CPACK_PACKAGE_VERSION "${KZT_VERSION_TEXT}")
set(CPACK_PACKAGE_VENDOR "kzt_fid")
set(CPACK_PACKAGE_CONTACT "${KZT_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "flash ID, geometry and bad-block reader for SSDs on Realtek controllers")
set(CPACK_PACKAGE_DESCRIPTION
    "kzt_fid reads identification and health data out of SSDs built on
Realtek SATA controllers, on a SATA port or behind a USB-to-SATA bridge:
SMART, IDENTIFY, the controller's firmware information, the flash ID of
every bank with a decoded description, the chip-enable map, the flash
geometry, the bad-block lists and the erase counts. It writes a text
report and raw dumps that can be replayed offline. kzt_nandid decodes a
NAND flash ID given by hand. kzt_inspect reads a saved dump set and shows
each bank's bad blocks and wear, as a summary, JSON or an SVG wear map.")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # One .zip per Windows build, named after its word size.
  set(CPACK_GENERATOR "ZIP")
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME "win64")
  else()
    set(CPACK_SYSTEM_NAME "win32")
  endif()
else()
  set(CPACK_GENERATOR "DEB")
  # Debian package names allow no underscore.
  set(CPACK_DEBIAN_PACKAGE_NAME "kzt-fid")
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KZT_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION "admin")
  set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
  # Space at the final prompt opens the report with xdg-open.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-utils")
  # A static build needs nothing; otherwise dpkg-shlibdeps finds the libraries it links.
  if(NOT KZT_STATIC)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()

include(CPack)
