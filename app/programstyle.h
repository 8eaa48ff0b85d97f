#pragma once

#include <QProxyStyle>

// The application's style (the platform's, or the one named by -style),
// with the icons it would load from image files drawn in code instead. The
// menu bar asks for its overflow icon while it is built, and loading that
// one picture makes Qt load every image format plugin, a good part of the
// window's start-up.
class ProgramStyle : public QProxyStyle
{
public:
    ProgramStyle() = default;

    QIcon standardIcon(StandardPixmap which, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};
