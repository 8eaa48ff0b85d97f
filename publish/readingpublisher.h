#pragma once

#include "publish/messagepublisher.h"
#include "publish/readingmessage.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

struct BrokerAddress;
struct Reading;

// Publishes every decoded reading to a message broker (ReadingMessage),
// for the window: it is fed on the main thread and never waits, and it
// tells when the connection comes and goes and how many readings were
// dropped while the broker was away, looking at the publisher twice a
// second.
class ReadingPublisher : public QObject
{
    Q_OBJECT
public:
    static constexpr int StatusTickMs = 500;
    // On the way out, queued readings get this long to reach a connected
    // broker.
    static constexpr int FarewellMs = 2000;

    // Null `publisher`: this build cannot publish; start() says so.
    explicit ReadingPublisher(std::unique_ptr<MessagePublisher> publisher, QObject *parent = nullptr);
    ~ReadingPublisher() override;

    // Starts publishing to `broker`, to its topic or else to `defaultTopic`.
    // False, with `why`, when it cannot even be tried.
    bool start(const BrokerAddress &broker, const QString &defaultTopic, QString *why);
    bool isStarted() const { return m_started; }
    QString topic() const { return m_topic; }

    // A frame was decoded: its reading, the frame's number, and when.
    void publishReading(const Reading &reading, qint64 frame, qint64 utcMilliseconds);
    PublisherStatus status() const;

signals:
    void connectionChanged(bool connected, const QString &problem);
    void droppedChanged(qint64 dropped);

private:
    void checkStatus();

    std::unique_ptr<MessagePublisher> m_publisher;
    ReadingMessage m_message;
    QTimer m_statusTimer;
    QString m_topic;
    bool m_started = false;
    bool m_connected = false;
    QString m_problem;
    qint64 m_dropped = 0;
};
