# The Linux side of the platform foundations: code pages (glibc iconv), regional settings
# (newlocale), the executable's path, the local clock and file access.
target_sources(vr_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CodePage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RegionalSettingsReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExecutablePath.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SystemClock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileAccess.cpp
)
