# The icon and version information of a Windows program: the tool's icon,
# the project's version, the tool's title from the core's vocabulary as the
# product name, and a description of the program.
include(${PROJECT_SOURCE_DIR}/cmake/product_name.cmake)

function(qrv_version_resource target description)
  set(QRV_FILE_NAME ${target})
  set(QRV_FILE_DESCRIPTION ${description})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc
                 @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
endfunction()
