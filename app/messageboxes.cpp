#include "app/messageboxes.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

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

bool MessageBoxes::ask(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

UserMessages::SaveChoice MessageBoxes::askToSave(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(SaveQuestionTitle), text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        return SaveChoice::Save;
    case QMessageBox::Discard:
        return SaveChoice::Discard;
    default:
        return SaveChoice::Cancel;
    }
}

UserMessages::OpenChoice MessageBoxes::askHowToOpen(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Question, QCoreApplication::translate("MessageBoxes", "Open Table File"), text,
                    QMessageBox::Cancel, parent);
    QPushButton *add =
        box.addButton(QCoreApplication::translate("MessageBoxes", "Add to Log"), QMessageBox::AcceptRole);
    QPushButton *replace =
        box.addButton(QCoreApplication::translate("MessageBoxes", "Replace Log"), QMessageBox::DestructiveRole);
    box.setDefaultButton(add);
    box.exec();
    if (box.clickedButton() == add)
        return OpenChoice::Add;
    if (box.clickedButton() == replace)
        return OpenChoice::Replace;
    return OpenChoice::Cancel;
}
