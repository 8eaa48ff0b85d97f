#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <memory>

struct BrokerAddress;

// How publishing stands; a snapshot.
struct PublisherStatus
{
    bool connected = false;
    qint64 waiting = 0;   // queued or sent but not yet acknowledged by the broker
    qint64 delivered = 0; // acknowledged by the broker
    qint64 dropped = 0;   // given up while the broker was away and the queue was full
    QString problem;      // why it is not connected, while it is not
};

// Hands messages to a message broker in the background. publish() only
// queues: it never waits for the network, so whoever logs readings is never
// slowed by the broker. The connection is made, and made again after it is
// lost, by itself; while the broker is away messages wait in a queue of
// `capacity`, and when that is full the oldest go, counted in dropped.
//
// Built on the MQTT library where the build has one; createMessagePublisher()
// gives nothing where it has not.
class MessagePublisher
{
public:
    // About eleven hours of a meter's two or three readings a second.
    static constexpr qsizetype DefaultCapacity = 100000;

    virtual ~MessagePublisher() = default;

    // Starts connecting to `broker` and publishing to `topic` (the broker's
    // own topic, or the caller's default). False, with `why`, only when the
    // connection cannot even be tried; a broker that is away is tried again
    // and again.
    virtual bool start(const BrokerAddress &broker, const QString &topic, QString *why) = 0;
    // Queues a message. Never waits.
    virtual void publish(QByteArray message) = 0;
    virtual PublisherStatus status() const = 0;

    // For whoever may wait (a tool publishing a file): until the queue has
    // room, until the broker was reached, until every message was
    // delivered. False when the time ran out first.
    virtual bool waitForRoom(int timeoutMs) = 0;
    virtual bool waitForConnection(int timeoutMs) = 0;
    virtual bool waitUntilDelivered(int timeoutMs) = 0;
};

// Null when this build publishes nothing (it was made without the MQTT
// library).
std::unique_ptr<MessagePublisher> createMessagePublisher(qsizetype capacity = MessagePublisher::DefaultCapacity);
