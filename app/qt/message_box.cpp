#include "message_box.h"

#include "vocabulary.h"

#include <QMessageBox>

namespace qrv {

void MessageBox::show_message(const std::string& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(qrv::app_title),
                    QString::fromStdString(text), QMessageBox::Ok, m_parent);
    box.exec();
}

} // namespace qrv
