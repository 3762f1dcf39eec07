# The service host: command line, event loop and timer, service thread, registration, and the
# program entry. Included by the top level after every library is defined.

add_library(vr_host STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EventLoop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HostedService.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceHost.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceInstaller.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceThread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Timer.cpp
)
target_include_directories(vr_host PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vr_host PUBLIC vr_platform Threads::Threads PRIVATE vr_warnings)

target_sources(vr_module PRIVATE ${CMAKE_CURRENT_LIST_DIR}/UVevoveRazara_Host.cpp)
target_link_libraries(vr_module PUBLIC vr_host)

# The executable needs the update cycle, which lives in TimerTimer.cpp.
if(EXISTS ${PROJECT_SOURCE_DIR}/service/TimerTimer.cpp)
  add_executable(VevoveRazara ${CMAKE_CURRENT_LIST_DIR}/VevoveRazara.cpp)
  set_target_properties(VevoveRazara PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  target_link_libraries(VevoveRazara PRIVATE vr_module vr_host vr_platform vr_warnings)
endif()

if(VR_BUILD_TESTS)
  enable_testing()
  add_executable(test_host
    ${PROJECT_SOURCE_DIR}/tests/service/CommandLine_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/service/EventLoop_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/service/Timer_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/service/HostEventLog_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/service/HostServiceThread_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/service/HostInstall_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/service/HostLifecycle_test.cpp
  )
  target_include_directories(test_host PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(test_host PRIVATE vr_host GTest::gtest GTest::gmock GTest::gtest_main
    vr_warnings)
  # The executable's own tests, once it can be built.
  if(TARGET VevoveRazara)
    target_sources(test_host PRIVATE ${PROJECT_SOURCE_DIR}/tests/service/HostBinary_test.cpp)
    target_compile_definitions(test_host PRIVATE VR_HOST_BINARY="$<TARGET_FILE:VevoveRazara>")
    add_dependencies(test_host VevoveRazara)
  endif()
  vr_register_tests(test_host)
endif()
