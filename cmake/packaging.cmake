# Installation and the Debian package. Included at the end of the top-level
# CMakeLists.txt, once the cdsxml and cdsctl targets exist.
include(GNUInstallDirs)

install(TARGETS cdsxml cdsctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES docs/cdsxml.1 docs/cdsctl.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES docs/dump.rng DESTINATION ${CMAKE_INSTALL_DATADIR}/cdsxml)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cdsxml)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "cdsxml developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "dump a device's configuration data store to XML and load it back")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "cdsxml developers")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# The library dependencies (expat, SQLite, the C++ runtime) are read from the
# binaries themselves where dpkg-dev can, so that they hold for whatever
# release builds the package.
find_program(CDSXML_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(CDSXML_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libexpat1, libsqlite3-0, libstdc++6")
endif()
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "cdsxml writes the configuration data store of a networked device, or\n\
chosen subtrees of it, as an XML document, and loads such a document back,\n\
so that a configuration can be backed up, restored and moved between\n\
devices. Data points that identify the device are never written and\n\
passwords only on request. cdsctl, the store's own command, sets, reads,\n\
lists, imports, exports, backs up and restores data points directly. The\n\
RELAX NG schema of the dump document is in /usr/share/cdsxml.")

include(CPack)
