# The Debian packages, made by CPack from a release build (./test.sh
# --package): qrv-idtool (the window, qrv-idctl, the menu entry, icons and
# manual pages) and qrv-idtool-devsim (the virtual device). Their
# dependencies are found by dpkg-shlibdeps, not listed here.
include(${PROJECT_SOURCE_DIR}/cmake/product_name.cmake)

set(QRV_PACKAGE_MAINTAINER "QRV ID tool maintainers <qrv-idtool@qrv.example>"
    CACHE STRING "The packages' Maintainer field")
set(pkg ${CMAKE_BINARY_DIR}/package)
set(pages ${pkg}/qrv-idctl.1.gz ${pkg}/qrv-idset.1.gz ${pkg}/qrv-devsim.1.gz)
set(icon_sizes 16 24 32 48 64 128 256)

# The manual pages from the built programs' help and the README, checked
# against them again in the install test; the icons drawn at the menu's sizes.
set(make_manual ${PROJECT_SOURCE_DIR}/scripts/make_manual.py)
set(readme ${PROJECT_SOURCE_DIR}/README.md)
add_custom_command(OUTPUT ${pages}
  COMMAND python3 ${make_manual} ${pkg}/qrv-idctl.1.gz ${readme} ${PROJECT_VERSION} -- $<TARGET_FILE:qrv-idctl>
  COMMAND python3 ${make_manual} ${pkg}/qrv-idset.1.gz ${readme} ${PROJECT_VERSION}
  COMMAND python3 ${make_manual} ${pkg}/qrv-devsim.1.gz ${readme} ${PROJECT_VERSION} -- $<TARGET_FILE:qrv-devsim>
  DEPENDS ${make_manual} ${readme} qrv-idctl qrv-devsim)
add_custom_command(OUTPUT ${pkg}/icons.stamp
  COMMAND python3 ${PROJECT_SOURCE_DIR}/scripts/make_icon.py --hicolor ${pkg}/hicolor ${icon_sizes}
  COMMAND ${CMAKE_COMMAND} -E touch ${pkg}/icons.stamp
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/make_icon.py)
add_custom_target(qrv_package_files ALL DEPENDS ${pages} ${pkg}/icons.stamp)
configure_file(${PROJECT_SOURCE_DIR}/cmake/qrv-idset.desktop.in ${pkg}/qrv-idset.desktop @ONLY)
# A native package's changelog: this version's one entry.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${pkg}/changelog
  "qrv-idtool (${PROJECT_VERSION}) stable; urgency=medium\n\n"
  "  * Release ${PROJECT_VERSION}.\n\n"
  " -- ${QRV_PACKAGE_MAINTAINER}  ${changelog_date}\n")
execute_process(COMMAND gzip -9nf ${pkg}/changelog)

install(TARGETS qrv-idset qrv-idctl RUNTIME DESTINATION bin COMPONENT idtool)
install(TARGETS qrv-devsim RUNTIME DESTINATION bin COMPONENT devsim)
install(FILES ${pkg}/qrv-idctl.1.gz ${pkg}/qrv-idset.1.gz DESTINATION share/man/man1 COMPONENT idtool)
install(FILES ${pkg}/qrv-devsim.1.gz DESTINATION share/man/man1 COMPONENT devsim)
install(FILES ${pkg}/qrv-idset.desktop DESTINATION share/applications COMPONENT idtool)
install(DIRECTORY ${pkg}/hicolor DESTINATION share/icons COMPONENT idtool)
foreach(component idtool devsim)
  set(package qrv-idtool)
  if(component STREQUAL devsim)
    set(package qrv-idtool-devsim)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/copyright ${pkg}/changelog.gz
          DESTINATION share/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR}/dist)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${QRV_PACKAGE_MAINTAINER}")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL idtool devsim)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_IDTOOL_PACKAGE_NAME qrv-idtool)
set(CPACK_DEBIAN_DEVSIM_PACKAGE_NAME qrv-idtool-devsim)
# One string each: the first line is the summary, the rest the long text.
string(CONCAT CPACK_COMPONENT_IDTOOL_DESCRIPTION
    "change the Modbus RTU slave ID of a device on a serial line\n"
    "The QRV ID tool's window (qrv-idset, in the applications menu as\n"
    "${QRV_PRODUCT_NAME}) changes the bus address of one device on a serial line;\n"
    "its command line (qrv-idctl) reads, changes, scans and numbers new\n"
    "devices. Installed, it keeps its day logs, parameter.txt and ports/ in\n"
    "~/.local/share/qrv-idtool.")
string(CONCAT CPACK_COMPONENT_DEVSIM_DESCRIPTION
    "virtual Modbus RTU device for the QRV ID tool\n"
    "qrv-devsim answers as one device or a line of several on a\n"
    "pseudo-terminal, with faults to switch on, for training and bench work\n"
    "with qrv-idset and qrv-idctl.")
include(CPack)
