#include "lamp.h"

#include "vocabulary.h"

#include <QPainter>

Lamp::Lamp(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    set_lit(false);
}

void Lamp::set_lit(bool lit)
{
    m_lit = lit;
    // A screen reader reads the port's state in the lamp's name.
    setAccessibleName(QString::fromUtf8(lit ? qrv::name_lamp_open : qrv::name_lamp_closed));
    update();
}

void Lamp::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(m_lit ? Qt::red : Qt::black);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
