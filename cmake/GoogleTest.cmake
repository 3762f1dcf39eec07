# GoogleTest for the test suites: the system's package natively, built from Debian's
# googletest sources for Windows. Included once, before the first test target.
if(TARGET GTest::gtest)
  return()
endif()
if(WIN32)
  set(VR_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows build")
  if(NOT EXISTS ${VR_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "${VR_GOOGLETEST_SOURCE} is missing: run scripts/install-deps")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${VR_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(library gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${library})
      add_library(GTest::${library} ALIAS ${library})
    endif()
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# Registers a test executable's tests with CTest. Natively each test is its own CTest entry;
# under Wine each executable is one entry, since every start of a Windows process there costs
# about a second.
function(vr_register_tests target)
  if(WIN32)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES ENVIRONMENT "VR_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT "VR_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  endif()
endfunction()
