# Packages made by CPack from the install rules (cmake/Install.cmake):
#   Windows: Dunmarrow-<version>-win64.zip / -win32.zip, the Runtime component
#            in one folder (the headers and import library stay out).
#   Linux:   dunmarrow_<version>_<arch>.deb, the program, the library and what
#            runs it as a service (cmake/InstallDebian.cmake), and
#            libbrenlix-dev_<version>_<arch>.deb, the headers, the CMake package
#            and the pkg-config file.
# scripts/package builds the presets and collects all of them.
set(CPACK_PACKAGE_NAME Dunmarrow)
set(CPACK_PACKAGE_VENDOR Korvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Unattended SQL Server backup runner and its utility library Brenlix")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
# The presets build with debugging information; the packages go without it.
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # One archive of the listed components only (a monolithic one would take all).
  set(CPACK_COMPONENTS_ALL Runtime)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  # Unpacked, the files stay together in a folder named like the archive.
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL Runtime Development)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Dunmarrow developers <dunmarrow@korvane.invalid>")
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME dunmarrow)
  # Each package's summary line is CPACK_PACKAGE_DESCRIPTION_SUMMARY; these
  # follow it, each line within the 80 columns of a Debian description.
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION [[
Dunmarrow runs the backup jobs of a job file one by one, each through the
integrated (Kerberos) login, and logs every step. The package runs it daily
through dunmarrow.timer on /etc/dunmarrow/Dunmarrow.ini once enabled.
Brenlix is its utility library: a file log, INI files, the event log,
services and the registry, with Win32 behaviour on Linux.]])
  # Depends: the binaries' libraries (cmake/CPackDebian.cmake.in asks
  # dpkg-shlibdeps) and the GSSAPI library, which the program opens by name to
  # tell why a login failed. Recommends: the default ODBC driver, which a user
  # may replace with another (DUNMARROW_ODBC_DRIVER).
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "tdsodbc")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "krb5-user")
  set(DUNMARROW_DEBIAN_DEPENDS_BY_NAME "libgssapi-krb5-2")
  # shlibs, the ldconfig trigger and the conffiles (cmake/InstallDebian.cmake), and the maintainer
  # scripts that tell systemd of the units and take the logs away on purge.
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
      "${PROJECT_BINARY_DIR}/debian/shlibs;${PROJECT_BINARY_DIR}/debian/triggers;${PROJECT_BINARY_DIR}/debian/conffiles"
      "${PROJECT_SOURCE_DIR}/packaging/debian/postinst;${PROJECT_SOURCE_DIR}/packaging/debian/prerm"
      "${PROJECT_SOURCE_DIR}/packaging/debian/postrm")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/CPackDebian.cmake.in ${PROJECT_BINARY_DIR}/CPackDebian.cmake @ONLY)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackDebian.cmake)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libbrenlix-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "dunmarrow (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION [[
Development files of Brenlix: the public C++ headers, the CMake package
(find_package(Brenlix) gives Brenlix::Brenlix) and the pkg-config file
brenlix.]])
endif()

include(CPack)
