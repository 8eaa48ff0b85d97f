#pragma once

#include <QColor>
#include <QWidget>

// A filled circle with a thin outline: the Pass/Fail disc.
class ShapeCircle : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor brushColor READ brushColor WRITE setBrushColor)
public:
    explicit ShapeCircle(QWidget *parent = nullptr);

    QColor brushColor() const { return m_brush; }
    void setBrushColor(const QColor &colour);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_brush{Qt::white};
};
