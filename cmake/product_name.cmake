# The tool's title from the core's vocabulary, the one home of that text, as
# the product's name in the Windows programs' version information and in the
# Linux menu entry.
file(STRINGS ${PROJECT_SOURCE_DIR}/idchange/vocabulary.h qrv_title_line ENCODING UTF-8
     REGEX "app_title\\[\\] = ")
string(REGEX REPLACE ".*= \"([^\"]*)\".*" "\\1" QRV_PRODUCT_NAME "${qrv_title_line}")
