#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

// How long the tests wait for a broker, a subscriber or a delivery: far
// more than any of them takes, so that a slow machine never fails a test.
inline constexpr int GenerousMs = 60000;

// A Mosquitto broker of the test's own on 127.0.0.1 and a free port, which
// keeps its sessions on disk (in `folder`) so that a subscriber's queued
// messages outlive a restart.
class MosquittoBroker
{
public:
    static bool available()
    {
        return !executable().isEmpty() && !QStandardPaths::findExecutable(QStringLiteral("mosquitto_sub")).isEmpty()
            && !QStandardPaths::findExecutable(QStringLiteral("mosquitto_pub")).isEmpty();
    }

    explicit MosquittoBroker(const QString &folder)
        : m_folder(folder)
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
    }

    ~MosquittoBroker() { stop(); }

    int port() const { return m_port; }

    bool start()
    {
        // Run as root it would switch to the user "mosquitto", who may not
        // write the test's folder: it stays the user that runs the test.
        const passwd *user = ::getpwuid(::getuid());
        QFile config(QDir(m_folder).filePath(QStringLiteral("mosquitto.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(QStringLiteral("listener %1 127.0.0.1\n"
                                    "allow_anonymous true\n"
                                    "persistence true\n"
                                    "persistence_location %2/\n"
                                    "max_queued_messages 0\n"
                                    "user %3\n")
                         .arg(m_port)
                         .arg(m_folder, QString::fromLocal8Bit(user ? user->pw_name : "nobody"))
                         .toUtf8());
        config.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(executable(), {QStringLiteral("-c"), config.fileName()});
        if (!m_process.waitForStarted(GenerousMs))
            return false;
        // Listening once a connection is taken.
        const QDeadlineTimer deadline(GenerousMs);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
            if (socket.waitForConnected(1000))
                return true;
            QTest::qWait(50);
        }
        return false;
    }

    // Stops it as a system would, saving its sessions.
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(GenerousMs))
            m_process.kill();
        m_process.waitForFinished(GenerousMs);
    }

    QByteArray output() { return m_process.readAll(); }

private:
    static QString executable()
    {
        QString found = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
        if (found.isEmpty())
            found = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin")});
        return found;
    }

    QString m_folder;
    int m_port = 0;
    QProcess m_process;
};

// mosquitto_sub with a session that stays on the broker (client id, QoS 1,
// clean session off), so that messages published while it is away reach it
// when it is back; it connects again by itself.
class Subscriber
{
public:
    ~Subscriber()
    {
        m_process.kill();
        m_process.waitForFinished(GenerousMs);
    }

    bool start(int port, const QString &topic, const QString &id)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStandardPaths::findExecutable(QStringLiteral("mosquitto_sub")),
                        {"-c", "-i", id, "-q", "1", "-h", "127.0.0.1", "-p", QString::number(port), "-t", topic});
        if (!m_process.waitForStarted(GenerousMs))
            return false;
        // Subscribed once a probe comes back (a message is printed at once;
        // the client's own lines may wait in a buffer).
        const QDeadlineTimer deadline(GenerousMs);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            QProcess::execute(QStandardPaths::findExecutable(QStringLiteral("mosquitto_pub")),
                              {"-q", "1", "-h", "127.0.0.1", "-p", QString::number(port), "-t", topic, "-m", "probe"});
            m_process.waitForReadyRead(1000);
            m_output += m_process.readAll();
            if (m_output.contains("probe\n"))
                return true;
        }
        qWarning("mosquitto_sub: %s", m_output.constData());
        return false;
    }

    // The messages so far: the payload lines among the client's own.
    QList<QByteArray> messages()
    {
        m_output += m_process.readAll();
        QList<QByteArray> lines = m_output.split('\n');
        lines.removeLast();   // not ended yet
        QList<QByteArray> payloads;
        for (const QByteArray &line : lines) {
            if (line.startsWith('{'))
                payloads << line;
        }
        return payloads;
    }

private:
    QProcess m_process;
    QByteArray m_output;
};
