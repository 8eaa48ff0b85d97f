#pragma once

#include "app/chartcontrols.h"
#include "app/logfilecommands.h"
#include "app/mainwindow.h"
#include "fakedialogs.h"
#include "fakemessages.h"
#include "fakepublisher.h"
#include "fakes/fakehidbackend.h"
#include "fakes/fakeserialbackend.h"
#include "session/metersession.h"
#include "shared/localeinfo.h"

#include <QByteArray>
#include <QTest>

#include <functional>
#include <memory>

// The window with stand-ins for the locale, the message boxes, the dialogs,
// the serial port and the HID devices, as a test builds it.
struct WindowFixture
{
    explicit WindowFixture(const QString &userSeparator = QStringLiteral("."),
                           const QString &systemSeparator = QStringLiteral("."),
                           const QString &machine = QStringLiteral("x86_64"),
                           const std::function<void(FakeHidSystem &)> &plugIn = {},
                           const QString &settingsFile = {},
                           const QString &dataFolder = {},
                           std::unique_ptr<LocaleInfo> locale = {})
    {
        if (plugIn)
            plugIn(*hid);
        WindowServices services;
        services.locale = locale ? std::move(locale) : std::make_unique<FixedLocaleInfo>(userSeparator, systemSeparator);
        auto fakeMessages = std::make_unique<FakeMessages>();
        messages = fakeMessages.get();
        services.messages = std::move(fakeMessages);
        auto fakeDialogs = std::make_unique<FakeDialogs>();
        dialogs = fakeDialogs.get();
        services.dialogs = std::move(fakeDialogs);
        auto fakeSerial = std::make_unique<FakeSerialBackend>();
        serial = fakeSerial.get();
        services.serialBackend = std::move(fakeSerial);
        services.hidBackend = hid->backend();
        services.machine = machine;
        services.settingsFile = settingsFile;
        services.dataFolder = dataFolder;
        services.createPublisher = [broker = broker] { return std::make_unique<FakeMessagePublisher>(broker); };
        window = std::make_unique<MainWindow>(std::move(services));
    }

    template<class T = QWidget>
    T *find(const char *name) const
    {
        T *w = window->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qWarning("no child %s", name);
        return w;
    }
    bool shown(const char *name) const { return find(name)->isVisibleTo(window.get()); }

    MeterSession &session() { return window->session(); }

    // One meter frame as the serial port delivers it; the first is preceded
    // by the LF of a frame sent before the port was read, as the serial path
    // drops the byte before the sign.
    void receiveFrame(const QByteArray &frame)
    {
        session().feedSerialBytes(m_primed ? frame : QByteArray("\n") + frame);
        m_primed = true;
    }

    FakeMessages *messages = nullptr;
    FakeDialogs *dialogs = nullptr;
    FakeSerialBackend *serial = nullptr;
    // No HID device unless a test adds one before it builds the window.
    std::shared_ptr<FakeHidSystem> hid = std::make_shared<FakeHidSystem>();
    // Where the window publishes readings, when it is set to.
    std::shared_ptr<FakeBroker> broker = std::make_shared<FakeBroker>();
    std::unique_ptr<MainWindow> window;

private:
    bool m_primed = false;
};
