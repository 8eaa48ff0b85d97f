#pragma once

#include "publish/messagepublisher.h"

#include <QByteArrayList>

#include <memory>

// What the window's publishers did, and the status a test sets for them.
struct FakeBroker
{
    QByteArrayList messages;
    QString topic;
    int starts = 0;
    PublisherStatus status;
};

// A publisher that hands every message to a FakeBroker and never waits.
class FakeMessagePublisher : public MessagePublisher
{
public:
    explicit FakeMessagePublisher(std::shared_ptr<FakeBroker> broker)
        : m_broker(std::move(broker))
    {
    }
    bool start(const BrokerAddress &, const QString &topic, QString *) override
    {
        m_broker->topic = topic;
        ++m_broker->starts;
        return true;
    }
    void publish(QByteArray message) override { m_broker->messages << message; }
    PublisherStatus status() const override { return m_broker->status; }
    bool waitForRoom(int) override { return true; }
    bool waitForConnection(int) override { return true; }
    bool waitUntilDelivered(int) override { return true; }

private:
    std::shared_ptr<FakeBroker> m_broker;
};
