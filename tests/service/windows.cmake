# Tests of the Windows build that need the whole service module but no database server: under
# Wine no Firebird client library exists, which is exactly the situation they check.
vr_add_test(NAME test_cycle_without_client
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CycleWithoutClient_test.cpp
  LIBS vr_module)

# The same through the executable, as an operator would run it.
add_test(NAME wine_once_without_client
  COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/once_without_client.sh $<TARGET_FILE:VevoveRazara>)
set_tests_properties(wine_once_without_client PROPERTIES TIMEOUT 120)
