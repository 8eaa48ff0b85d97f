#include "app/brokerpublishing.h"

#include "publish/brokeraddress.h"
#include "publish/messagepublisher.h"
#include "publish/readingpublisher.h"

BrokerPublishing::BrokerPublishing(PublisherFactory createPublisher, QString machine,
                                   std::function<QString()> meterName)
    : m_createPublisher(std::move(createPublisher))
    , m_machine(std::move(machine))
    , m_meterName(std::move(meterName))
{ }

BrokerPublishing::~BrokerPublishing() = default;

bool BrokerPublishing::setAddress(const QString &address, QString *why)
{
    const QString text = address.trimmed();
    if (text == m_address)
        return true;
    if (text.isEmpty()) {
        m_publisher.reset();
        m_address.clear();
        m_connected = false;
        m_problem.clear();
        m_dropped = 0;
        emit statusChanged();
        return true;
    }
    const std::optional<BrokerAddress> broker = BrokerAddress::parse(text, why);
    if (!broker)
        return false;
    auto publisher = std::make_unique<ReadingPublisher>(m_createPublisher());
    if (!publisher->start(*broker, BrokerAddress::defaultTopic(m_machine, m_meterName()), why))
        return false;
    connect(publisher.get(), &ReadingPublisher::connectionChanged, this,
            [this](bool connected, const QString &problem) {
                m_connected = connected;
                m_problem = problem;
                emit statusChanged();
            });
    connect(publisher.get(), &ReadingPublisher::droppedChanged, this, [this](qint64 dropped) {
        m_dropped = dropped;
        emit statusChanged();
    });
    m_publisher = std::move(publisher);
    m_address = text;
    m_connected = false;
    m_problem.clear();
    m_dropped = 0;
    emit statusChanged();
    return true;
}

void BrokerPublishing::publishReading(const Reading &reading, qint64 frame, qint64 utcMilliseconds)
{
    if (m_publisher)
        m_publisher->publishReading(reading, frame, utcMilliseconds);
}

QString BrokerPublishing::statusText() const
{
    if (!m_publisher)
        return {};
    return QStringLiteral("MQTT: %1  %2 dropped")
        .arg(m_connected ? QStringLiteral("connected") : QStringLiteral("broker away"))
        .arg(m_dropped);
}
