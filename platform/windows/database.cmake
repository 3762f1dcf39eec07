# The Windows side of the database client's platform needs: loading the client library by name.
foreach(source DynamicLibrary.cpp)
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/${source})
    target_sources(vr_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/${source})
  endif()
endforeach()
