# Windows, under Wine: one ctest entry per program (finding its tests would
# run it under Wine at build time). QT, the application object of the Qt
# tests, means nothing here.
function(qrv_add_test name)
  cmake_parse_arguments(T "QT" "" "LIBS;SOURCES" ${ARGN})
  add_executable(${name} ${name}.cpp ${T_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest_main qrv_testsupport ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
endfunction()

if(CMAKE_HOST_UNIX)
  # A disk that fills up in the middle of a record: Windows has no file
  # size cap, so the run under Wine is given Linux's (1 KiB). The signal it
  # raises would end the run; ignored, the write fails instead.
  add_test(NAME test_day_log_file_disk_fills
    COMMAND bash -c "ulimit -f 1 && trap '' XFSZ && exec \"$@\"" disk_fills
            ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:test_day_log_file>
            --gtest_filter=DayLogFile.RecordCutShortIsTakenBackOut)
  set_tests_properties(test_day_log_file_disk_fills PROPERTIES ENVIRONMENT QRV_FILE_SIZE_CAP=1024)
endif()
if(QRV_DEVSIM_RUNS)
  target_compile_definitions(qrv_testsupport INTERFACE QRV_DEVSIM_PATH="${QRV_DEVSIM}")
  qrv_add_test(test_win32_serial LIBS qrv_serial)
  qrv_add_test(test_idctl_exe LIBS qrv_idctl qrv_platform)
  add_dependencies(test_idctl_exe qrv-idctl)
  # The window needs a display: test.sh runs the tests on Xvfb.
  qrv_add_test(test_win32_form LIBS qrv_app oleacc ole32 oleaut32)
endif()
