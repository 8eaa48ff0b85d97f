#pragma once

#include <QString>

#include <optional>

// Where readings are published: an MQTT broker and a topic, as the user
// writes them, "mqtt://[user[:password]@]host[:port][/topic]".
//
// Without a topic each meter publishes to its own, defaultTopic(): the
// machine and the meter, so that the readings of several benches on one
// broker stay apart.
struct BrokerAddress
{
    static constexpr int DefaultPort = 1883;

    QString host;
    int port = DefaultPort;
    QString topic; // empty: the meter's default topic
    QString user;  // empty: none
    QString password;

    // Nothing, with `why` naming the fault, for a text that is not such an
    // address: another scheme (mqtts: TLS is not offered), no host, a port
    // out of range, a topic with the wildcards "+" or "#", which no message
    // may be published to.
    static std::optional<BrokerAddress> parse(const QString &text, QString *why);
    // The address again, without the password: for messages.
    QString displayText() const;

    // "qm320/<machine>/<meter>", each part cut to what a topic level may
    // hold: letters, digits, ".", "_" and "-"; anything else becomes "_".
    static QString defaultTopic(const QString &machine, const QString &meter);
};
