#pragma once

#include <QLabel>

// A lowered panel with a caption that acts as a button: the port selector
// and the connect and exit panels. It takes no keyboard focus.
class PanelButton : public QLabel
{
    Q_OBJECT
public:
    explicit PanelButton(QWidget *parent = nullptr);

    // As a click with the mouse.
    void click();

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};
