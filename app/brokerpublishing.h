#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class MessagePublisher;
class ReadingPublisher;
struct Reading;

// Publishing the window's readings to an MQTT broker, as the Connection
// menu sets it: off (no address) or on to one address. A new address starts
// a new publisher; what the old one still held gets its moment to leave.
// Publishing only queues, so logging is never slowed by the broker.
class BrokerPublishing : public QObject
{
    Q_OBJECT

public:
    using PublisherFactory = std::function<std::unique_ptr<MessagePublisher>()>;

    // The machine and the meter, as `meterName` gives it when publishing
    // starts, name the topic when the address has none.
    BrokerPublishing(PublisherFactory createPublisher, QString machine, std::function<QString()> meterName);
    ~BrokerPublishing() override;

    // Empty: off. False, with `why`, for an address that is no broker's or
    // that cannot be tried; publishing then stays as it was.
    bool setAddress(const QString &address, QString *why);
    QString address() const { return m_address; }
    bool isPublishing() const { return m_publisher != nullptr; }

    void publishReading(const Reading &reading, qint64 frame, qint64 utcMilliseconds);

    // "MQTT: connected  0 dropped", "MQTT: broker away  12 dropped"; empty
    // while off.
    QString statusText() const;
    // Why it is not connected, while it is not.
    QString problem() const { return m_problem; }
    qint64 dropped() const { return m_dropped; }

signals:
    void statusChanged();

private:
    PublisherFactory m_createPublisher;
    QString m_machine;
    std::function<QString()> m_meterName;
    QString m_address;
    std::unique_ptr<ReadingPublisher> m_publisher;
    bool m_connected = false;
    QString m_problem;
    qint64 m_dropped = 0;
};
