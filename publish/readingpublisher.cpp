#include "publish/readingpublisher.h"

#include "publish/brokeraddress.h"

ReadingPublisher::ReadingPublisher(std::unique_ptr<MessagePublisher> publisher, QObject *parent)
    : QObject(parent)
    , m_publisher(std::move(publisher))
{
    m_statusTimer.setInterval(StatusTickMs);
    connect(&m_statusTimer, &QTimer::timeout, this, &ReadingPublisher::checkStatus);
}

ReadingPublisher::~ReadingPublisher()
{
    if (m_started && m_publisher->status().connected)
        m_publisher->waitUntilDelivered(FarewellMs);
}

bool ReadingPublisher::start(const BrokerAddress &broker, const QString &defaultTopic, QString *why)
{
    if (!m_publisher) {
        if (why)
            *why = QStringLiteral("this build of the program cannot publish to a broker (it was made without MQTT)");
        return false;
    }
    if (m_started) {
        if (why)
            *why = QStringLiteral("already publishing to %1").arg(m_topic);
        return false;
    }
    m_topic = broker.topic.isEmpty() ? defaultTopic : broker.topic;
    if (!m_publisher->start(broker, m_topic, why))
        return false;
    m_started = true;
    m_statusTimer.start();
    return true;
}

void ReadingPublisher::publishReading(const Reading &reading, qint64 frame, qint64 utcMilliseconds)
{
    if (m_started)
        m_publisher->publish(m_message.messageFor(reading, frame, utcMilliseconds));
}

PublisherStatus ReadingPublisher::status() const
{
    return m_started ? m_publisher->status() : PublisherStatus{};
}

void ReadingPublisher::checkStatus()
{
    const PublisherStatus now = m_publisher->status();
    if (now.connected != m_connected || now.problem != m_problem) {
        m_connected = now.connected;
        m_problem = now.problem;
        emit connectionChanged(m_connected, m_problem);
    }
    if (now.dropped != m_dropped) {
        m_dropped = now.dropped;
        emit droppedChanged(m_dropped);
    }
}
