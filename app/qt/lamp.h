// The port lamp: a small filled circle whose colour is the port's state.
#pragma once

#include <QWidget>
#include <cstdint>

class Lamp : public QWidget {
    Q_OBJECT
public:
    explicit Lamp(QWidget* parent = nullptr);

    // A Windows-style colour value, 0x00BBGGRR: 0 black (closed), 255 red.
    std::int32_t fill_color() const { return m_fill_color; }
    void set_fill_color(std::int32_t color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::int32_t m_fill_color = 0;
};
