# The real quendra.exe, end to end, under Wine on a virtual display: TCP clients from
# the test program, the settings file, the caption strip, the notification-area icon
# and its menu. Three programs, so that each stays well inside ctest's time limit.
add_library(app_e2e_support STATIC app_e2e_relay.cpp app_e2e_net.cpp app_e2e_desktop.cpp)
target_link_libraries(app_e2e_support PUBLIC test_support ws2_32 PRIVATE quendra_warnings)

foreach(area relay window lifecycle)
  quendra_test(app_e2e_${area}_tests LABEL e2e MAIN support/e2e_main.cpp
    SOURCES app_e2e_${area}_test.cpp LIBS app_e2e_support ARGS $<TARGET_FILE:quendra>)
  add_dependencies(app_e2e_${area}_tests quendra)
endforeach()
