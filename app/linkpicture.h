#pragma once

#include <QWidget>

// A computer and a meter joined by a cable. Lit screens: frames are arriving;
// dark screens: nothing has come for a while.
class LinkPicture : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool lit READ isLit WRITE setLit)
public:
    explicit LinkPicture(QWidget *parent = nullptr);

    bool isLit() const { return m_lit; }
    void setLit(bool lit);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_lit = false;
};
