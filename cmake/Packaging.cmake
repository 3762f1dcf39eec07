# Installation and the Debian package (CPack's DEB generator: `cpack -G DEB` in a build tree, or
# scripts/package). The executable and its writable directory are /opt/vevoverazara: the
# service keeps Rivelto.ini, its activity log and its answer dump beside the executable. The
# unit goes where packages put theirs, the environment file where Debian keeps such settings.
# The destinations are relative to the installation prefix, which is / unless one is given, so
# that `--prefix DIR` and DESTDIR both keep every file under DIR. The unit names the executable
# by the path it has under the prefix given when the build was configured.

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX / CACHE PATH "Installation prefix" FORCE)
endif()
set(VR_INSTALL_DIR opt/vevoverazara CACHE STRING
  "Directory of the installed executable, under the installation prefix")
set(VR_SYSTEMD_UNIT_DIR lib/systemd/system CACHE STRING
  "Directory of the installed systemd unit, under the installation prefix")
set(VR_ENVIRONMENT_DIR etc/default CACHE STRING
  "Directory of the installed environment file, under the installation prefix")
cmake_path(APPEND CMAKE_INSTALL_PREFIX ${VR_INSTALL_DIR} OUTPUT_VARIABLE VR_INSTALLED_DIR)
cmake_path(NORMAL_PATH VR_INSTALLED_DIR)
string(REGEX REPLACE "(.)/$" "\\1" VR_INSTALLED_DIR "${VR_INSTALLED_DIR}")
if(IS_ABSOLUTE "${VR_INSTALL_DIR}" OR IS_ABSOLUTE "${VR_SYSTEMD_UNIT_DIR}"
   OR IS_ABSOLUTE "${VR_ENVIRONMENT_DIR}")
  message(FATAL_ERROR "VR_INSTALL_DIR, VR_SYSTEMD_UNIT_DIR and VR_ENVIRONMENT_DIR are relative "
    "to CMAKE_INSTALL_PREFIX")
endif()
if(NOT VR_INSTALLED_DIR MATCHES "^/[A-Za-z0-9_./+-]*$")
  # The packaged unit is configured here without systemd's quoting, which /INSTALL applies.
  message(FATAL_ERROR "the installed directory (${VR_INSTALLED_DIR}) must be an absolute path of "
    "letters, digits and _./+-")
endif()

# The unit from the same template as the one /INSTALL writes, with the installed paths.
include(${CMAKE_CURRENT_LIST_DIR}/ServiceUnit.cmake)
set(DESCRIPTION "Brisen Fiscal - Atualizador Fiscal")
set(EXEC_START ${VR_INSTALLED_DIR}/VevoveRazara)
set(EXECUTABLE ${VR_INSTALLED_DIR}/VevoveRazara)
set(DIRECTORY ${VR_INSTALLED_DIR})
set(DIRECTORY_PATH ${VR_INSTALLED_DIR})
set(VR_PACKAGED_UNIT ${PROJECT_BINARY_DIR}/packaging/SrvVevoveRazara.service)
configure_file(${VR_UNIT_TEMPLATE} ${VR_PACKAGED_UNIT} @ONLY)
if(TARGET test_host)
  # The tests that the unit /INSTALL writes is the template filled in, and the package's unit the
  # same text.
  target_compile_definitions(test_host PRIVATE VR_UNIT_TEMPLATE="${VR_UNIT_TEMPLATE}"
    VR_PACKAGED_UNIT="${VR_PACKAGED_UNIT}" VR_PACKAGED_EXECUTABLE="${EXECUTABLE}")
endif()

install(TARGETS VevoveRazara RUNTIME DESTINATION ${VR_INSTALL_DIR})
install(FILES ${VR_PACKAGED_UNIT} DESTINATION ${VR_SYSTEMD_UNIT_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/vevoverazara.default
  DESTINATION ${VR_ENVIRONMENT_DIR} RENAME vevoverazara)

set(CPACK_PACKAGE_NAME vevoverazara)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VevoveRazara")
set(CPACK_PACKAGE_CONTACT "VevoveRazara maintainers <suporte@vevoverazara.com.br>" CACHE STRING
  "Maintainer of the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps the tax classification of a store's products up to date")
set(CPACK_PACKAGE_DESCRIPTION
  "Unattended service (SrvVevoveRazara) that asks the tax-classification web service what
changed since its last update and writes every changed product's and segment's tax data into
the store's Firebird database through PROC_DIRADOR. Configured by Rivelto.ini in
/opt/vevoverazara, where it also keeps its activity log.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the executable links come from dpkg-shlibdeps; the Firebird client is
# opened at run time, so it is named here, and the maintainer scripts use init-system-helpers.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libfbclient2, init-system-helpers (>= 1.54~)")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/postinst
  ${PROJECT_SOURCE_DIR}/packaging/prerm
  ${PROJECT_SOURCE_DIR}/packaging/postrm
  ${PROJECT_SOURCE_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_GENERATOR DEB)
include(CPack)
