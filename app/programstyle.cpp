#include "app/programstyle.h"

#include "app/toolicons.h"

QIcon ProgramStyle::standardIcon(StandardPixmap which, const QStyleOption *option, const QWidget *widget) const
{
    switch (which) {
    case SP_ToolBarHorizontalExtensionButton:
        return toolIcon(ToolIcon::MoreRight);
    case SP_ToolBarVerticalExtensionButton:
        return toolIcon(ToolIcon::MoreBelow);
    default:
        return QProxyStyle::standardIcon(which, option, widget);
    }
}
