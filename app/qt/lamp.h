// The port lamp: a small filled circle, red while the port is open, black
// while it is closed.
#pragma once

#include <QWidget>

class Lamp : public QWidget {
    Q_OBJECT
public:
    explicit Lamp(QWidget* parent = nullptr);

    bool is_lit() const { return m_lit; }
    void set_lit(bool lit);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_lit = false;
};
