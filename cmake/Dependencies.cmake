# Third-party pieces that differ between the native and the Windows build, as targets the
# folders link: vr_rapidjson (the JSON reader's headers), vr_firebird_headers (the client's
# interface headers) and vr_windows_api (the definitions every Windows source is built with).
#
# Natively they come from the system. For Windows, the header-only ones are taken from Debian's
# packages through a directory of their own, so that nothing else of the build machine's
# /usr/include leaks into the cross build, and GoogleTest is built from the sources of Debian's
# googletest package (cmake/GoogleTest.cmake).

add_library(vr_rapidjson INTERFACE)
add_library(vr_firebird_headers INTERFACE)
add_library(vr_windows_api INTERFACE)

if(NOT WIN32)
  find_path(VR_FIREBIRD_INCLUDE_DIR firebird/Interface.h REQUIRED)
  find_path(VR_RAPIDJSON_INCLUDE_DIR rapidjson/reader.h REQUIRED)
  target_include_directories(vr_firebird_headers SYSTEM INTERFACE ${VR_FIREBIRD_INCLUDE_DIR})
  target_include_directories(vr_rapidjson SYSTEM INTERFACE ${VR_RAPIDJSON_INCLUDE_DIR})
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

target_include_directories(vr_firebird_headers SYSTEM INTERFACE ${VR_VENDOR_INCLUDE})
target_include_directories(vr_rapidjson SYSTEM INTERFACE ${VR_VENDOR_INCLUDE})
target_compile_definitions(vr_windows_api INTERFACE
  UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
