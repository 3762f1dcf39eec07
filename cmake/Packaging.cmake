# Installation and the Debian package (CPack's DEB generator: `cpack -G DEB` in a build tree, or
# scripts/package). The executable and its writable directory are /opt/vevoverazara: the
# service keeps Rivelto.ini, its activity log and its answer dump beside the executable. The
# unit goes where packages put theirs, the environment file where Debian keeps such settings.
# The destinations are absolute, so that the unit's paths are the executable's; DESTDIR stages
# an installation elsewhere.

set(VR_INSTALL_DIR /opt/vevoverazara CACHE PATH "Directory of the installed executable")
set(VR_SYSTEMD_UNIT_DIR /lib/systemd/system CACHE PATH "Directory of the installed systemd unit")
if(NOT VR_INSTALL_DIR MATCHES "^/[A-Za-z0-9_./+-]*$")
  # The packaged unit is configured here without systemd's quoting, which /INSTALL applies.
  message(FATAL_ERROR "VR_INSTALL_DIR must be an absolute path of letters, digits and _./+-")
endif()

# The unit from the same template as the one /INSTALL writes, with the installed paths.
include(${CMAKE_CURRENT_LIST_DIR}/ServiceUnit.cmake)
set(DESCRIPTION "Brisen Fiscal - Atualizador Fiscal")
set(EXEC_START ${VR_INSTALL_DIR}/VevoveRazara)
set(EXECUTABLE ${VR_INSTALL_DIR}/VevoveRazara)
set(DIRECTORY ${VR_INSTALL_DIR})
set(DIRECTORY_PATH ${VR_INSTALL_DIR})
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
  DESTINATION /etc/default RENAME vevoverazara)

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
