# The service host's platform part on Windows: the service control manager, the event log and
# the result messages of installation and removal.
foreach(source ControlSignals.cpp EventLog.cpp ServiceNotifier.cpp ServiceManager.cpp ResultMessages.cpp)
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/${source})
    target_sources(vr_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/${source})
  endif()
endforeach()
target_link_libraries(vr_platform PRIVATE advapi32 user32 Threads::Threads)
