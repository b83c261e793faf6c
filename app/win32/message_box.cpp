#include "message_box.h"

#include "vocabulary.h"
#include "wide_text.h"

namespace qrv {

void MessageBoxSink::show_message(const std::string& text)
{
    MessageBoxW(m_owner, wide(text).c_str(), wide(qrv::app_title).c_str(), MB_OK);
}

} // namespace qrv
