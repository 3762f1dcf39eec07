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
  # The host's logic, on every platform.
  add_executable(test_host
    ${PROJECT_SOURCE_DIR}/tests/service/CommandLine_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/service/EventLoop_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/service/Timer_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/service/HostServiceThread_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/service/HostInstaller_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/service/HostModes_test.cpp
  )
  target_include_directories(test_host PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(test_host PRIVATE vr_host GTest::gtest GTest::gmock GTest::gtest_main
    vr_warnings)
  if(WIN32)
    # The Windows platform part against Wine's own service manager, event log and consoles.
    target_sources(test_host PRIVATE
      ${PROJECT_SOURCE_DIR}/tests/service/HostWindowsControl_test.cpp
      ${PROJECT_SOURCE_DIR}/tests/service/HostWindowsResultMessages_test.cpp
      ${PROJECT_SOURCE_DIR}/tests/service/HostWindowsServiceManager_test.cpp
    )
    target_link_libraries(test_host PRIVATE advapi32)
  else()
    # systemd's journal, units and notify protocol, and the host run as a service in a child.
    target_sources(test_host PRIVATE
      ${PROJECT_SOURCE_DIR}/tests/service/HostEventLog_test.cpp
      ${PROJECT_SOURCE_DIR}/tests/service/HostInstall_test.cpp
      ${PROJECT_SOURCE_DIR}/tests/service/HostLifecycle_test.cpp
    )
    # The executable's own tests, once it can be built.
    if(TARGET VevoveRazara)
      target_sources(test_host PRIVATE ${PROJECT_SOURCE_DIR}/tests/service/HostBinary_test.cpp)
      target_compile_definitions(test_host PRIVATE VR_HOST_BINARY="$<TARGET_FILE:VevoveRazara>")
      add_dependencies(test_host VevoveRazara)
    endif()
  endif()
  vr_register_tests(test_host)

  # The real executable under Wine's service manager, each script in a Wine prefix of its own,
  # with two small helpers: a process that keeps the Wine session (and its services) alive, and
  # a sender of the control codes that Wine's sc and net cannot send.
  if(WIN32 AND TARGET VevoveRazara)
    add_executable(wine_keeper ${PROJECT_SOURCE_DIR}/tests/wine/Keeper.cpp)
    add_executable(wine_service_control ${PROJECT_SOURCE_DIR}/tests/wine/ServiceControl.cpp)
    target_link_options(wine_service_control PRIVATE -municode)
    target_link_libraries(wine_keeper PRIVATE vr_warnings)
    target_link_libraries(wine_service_control PRIVATE advapi32 vr_warnings)
    add_test(NAME wine_service_lifecycle
      COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/service_lifecycle.sh $<TARGET_FILE:VevoveRazara>
        $<TARGET_FILE:wine_keeper> $<TARGET_FILE:wine_service_control>)
    add_test(NAME wine_started_by_hand
      COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/started_by_hand.sh $<TARGET_FILE:VevoveRazara>)
    set_tests_properties(wine_service_lifecycle wine_started_by_hand PROPERTIES TIMEOUT 120)
  endif()
endif()
