# The Windows side of the database client's platform needs: loading the client library by name.
target_sources(vr_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DynamicLibrary.cpp
)
