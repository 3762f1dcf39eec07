# The Linux side of the platform foundations: code pages (glibc iconv), regional settings
# (newlocale), the executable's path, the local clock and file identity.
target_sources(vr_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CodePage.cpp
)
