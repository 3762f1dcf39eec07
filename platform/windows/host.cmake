# The service host's platform part on Windows: the service control manager, the event log and
# the result messages of installation and removal.
target_sources(vr_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ControlSignals.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EventLog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceNotifier.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceManager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ResultMessages.cpp
)
target_link_libraries(vr_platform PRIVATE advapi32 user32 Threads::Threads)
