# Linux: pseudo-terminals, child processes and Qt. QT: the program's tests
# share one application object (support/qt_main.cpp).
function(qrv_add_test name)
  cmake_parse_arguments(T "QT" "" "LIBS;SOURCES" ${ARGN})
  if(T_QT)
    add_executable(${name} ${name}.cpp support/qt_main.cpp ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Widgets GTest::gtest)
  else()
    add_executable(${name} ${name}.cpp ${T_SOURCES})
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE qrv_testsupport ${T_LIBS})
  add_dependencies(${name} qrv-devsim qrv-idctl)
  gtest_discover_tests(${name}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 30)
endfunction()

find_package(PkgConfig REQUIRED)
pkg_check_modules(MODBUS REQUIRED IMPORTED_TARGET libmodbus)
target_compile_definitions(qrv_testsupport INTERFACE
  QRV_DEVSIM_PATH="$<TARGET_FILE:qrv-devsim>" QRV_IDCTL_PATH="$<TARGET_FILE:qrv-idctl>")
qrv_add_test(test_qt_form QT LIBS qrv_app Qt6::Test)
qrv_add_test(test_qt_serial QT LIBS qrv_serial)
qrv_add_test(test_qt_clock QT LIBS qrv_app)
qrv_add_test(test_change_e2e QT LIBS qrv_app Qt6::Test)
qrv_add_test(test_options LIBS qrv_idctl)
target_compile_definitions(test_options PRIVATE QRV_VERSION="${PROJECT_VERSION}")
qrv_add_test(test_idctl LIBS qrv_idctl qrv_serial SOURCES ${PROJECT_SOURCE_DIR}/tools/devsim/device.cpp)
target_include_directories(test_idctl PRIVATE ${PROJECT_SOURCE_DIR}/tools/devsim)
qrv_add_test(test_devsim LIBS PkgConfig::MODBUS
  SOURCES ${PROJECT_SOURCE_DIR}/tools/devsim/device.cpp)
target_include_directories(test_devsim PRIVATE ${PROJECT_SOURCE_DIR}/tools/devsim)
