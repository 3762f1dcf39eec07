# Third-party pieces that differ between the native and the Windows build.
#
# Natively they come from the system. For Windows, the header-only ones (RapidJSON, the
# Firebird client's interface headers) are taken from Debian's packages through a directory of
# their own, so that nothing else of the build machine's /usr/include leaks into the cross build,
# and GoogleTest is built from the sources of Debian's googletest package.

if(NOT WIN32)
  return()
endif()

set(VR_VENDOR_HEADERS /usr/include CACHE PATH
  "Directory holding rapidjson/, firebird/, ibase.h and iberror.h for the Windows build")
set(VR_VENDOR_INCLUDE ${CMAKE_BINARY_DIR}/vendor-include)
file(MAKE_DIRECTORY ${VR_VENDOR_INCLUDE})
foreach(entry rapidjson firebird ibase.h iberror.h)
  if(NOT EXISTS ${VR_VENDOR_HEADERS}/${entry})
    message(FATAL_ERROR "${VR_VENDOR_HEADERS}/${entry} is missing: run scripts/install-deps")
  endif()
  file(CREATE_LINK ${VR_VENDOR_HEADERS}/${entry} ${VR_VENDOR_INCLUDE}/${entry} SYMBOLIC COPY_ON_ERROR)
endforeach()

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
include_directories(SYSTEM ${VR_VENDOR_INCLUDE})
