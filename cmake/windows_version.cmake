# The icon and version information of a Windows program: the tool's icon,
# the project's version, the tool's title from the core's vocabulary as the
# product name, and a description of the program.
file(STRINGS ${PROJECT_SOURCE_DIR}/idchange/vocabulary.h qrv_title_line ENCODING UTF-8
     REGEX "app_title\\[\\] = ")
string(REGEX REPLACE ".*= \"([^\"]*)\".*" "\\1" QRV_PRODUCT_NAME "${qrv_title_line}")

function(qrv_version_resource target description)
  set(QRV_FILE_NAME ${target})
  set(QRV_FILE_DESCRIPTION ${description})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc
                 @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
endfunction()
