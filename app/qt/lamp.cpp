#include "lamp.h"

#include "vocabulary.h"

#include <QPainter>

Lamp::Lamp(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    set_fill_color(0);
}

void Lamp::set_fill_color(std::int32_t color)
{
    m_fill_color = color;
    // A screen reader reads the port's state in the lamp's name.
    setAccessibleName(QString::fromUtf8(color == 0 ? qrv::name_lamp_closed : qrv::name_lamp_open));
    update();
}

void Lamp::paintEvent(QPaintEvent*)
{
    const auto c = static_cast<std::uint32_t>(m_fill_color);
    const QColor fill(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
