# Tests of the Windows build that need the whole service module but no database server: under
# Wine no Firebird client library exists, which is exactly the situation they check.
vr_add_test(NAME test_cycle_without_client
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CycleWithoutClient_test.cpp
  LIBS vr_module)
