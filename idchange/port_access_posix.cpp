#include "port_access.h"

namespace qrv {

const char* serial_port_group()
{
    return "dialout";
}

} // namespace qrv
