# The Windows side of the platform foundations: code pages, regional settings, the executable's
# path, the local clock and file access, all through the Windows API; WindowsText holds the
# UTF-8/UTF-16 conversion and system error texts the other Windows sources share.
target_sources(vr_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/WindowsText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CodePage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RegionalSettingsReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExecutablePath.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SystemClock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileAccess.cpp
)
