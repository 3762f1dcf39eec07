# The Windows side of the platform foundations: code pages, regional settings, the executable's
# path, the local clock and file access, all through the Windows API; WindowsText holds the
# UTF-8/UTF-16 conversion and system error texts the other Windows sources share.
foreach(source WindowsText.cpp CodePage.cpp RegionalSettingsReader.cpp ExecutablePath.cpp SystemClock.cpp FileAccess.cpp)
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/${source})
    target_sources(vr_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/${source})
  endif()
endforeach()
