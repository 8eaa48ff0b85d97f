#include "app/messageboxes.h"

#include <QCoreApplication>
#include <QMessageBox>

void MessageBoxes::information(QWidget *parent, const QString &text)
{
    QMessageBox::information(parent, QCoreApplication::translate("MessageBoxes", "Information"), text);
}

void MessageBoxes::error(QWidget *parent, const QString &text)
{
    QMessageBox::critical(parent, QCoreApplication::translate("MessageBoxes", "Error"), text);
}

bool MessageBoxes::confirm(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Information, QCoreApplication::translate("MessageBoxes", "Information"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}
