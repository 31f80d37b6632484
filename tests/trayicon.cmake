# The tray icon component and the framework pieces it and the main form use, in-process.
quendra_test(trayicon_tests LABEL unit MAIN support/test_main.cpp
  SOURCES trayicon_test.cpp trayicon_framework_test.cpp trayicon_probe.cpp
  LIBS trayicon winapp)
