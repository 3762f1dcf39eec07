# The update cycle and the feed application on real parts: the local Firebird server, the HTTPS
# stand-in and, end to end, the executable. Included from tests/CMakeLists.txt.
if(TARGET vr_module AND TARGET vr_standin AND TARGET VevoveRazara)
  vr_add_test(NAME test_cycle
    SOURCES
      ${PROJECT_SOURCE_DIR}/tests/database/TestDatabase.cpp
      ${PROJECT_SOURCE_DIR}/tests/webservice/StandinEnvironment.cpp
      ${CMAKE_CURRENT_LIST_DIR}/Cycle_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/Feed_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/EndToEnd_test.cpp
    LIBS vr_module vr_standin)
  target_compile_definitions(test_cycle PRIVATE
    VR_TESTS_DATABASE_DIR="${PROJECT_SOURCE_DIR}/tests/database"
    VR_SERVICE_BINARY="$<TARGET_FILE:VevoveRazara>")
  add_dependencies(test_cycle VevoveRazara)
endif()
