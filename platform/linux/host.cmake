# The service host's platform part: systemd's journal, notify protocol and units, and the
# control signals; the result messages of installation and removal.
pkg_check_modules(VR_SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
target_sources(vr_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ControlSignals.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JournalEventLog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ResultMessages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SdNotifier.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SystemdServiceManager.cpp
)
target_link_libraries(vr_platform PRIVATE PkgConfig::VR_SYSTEMD Threads::Threads)
