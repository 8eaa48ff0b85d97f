#include "publish/brokeraddress.h"

#include <QUrl>

namespace {

QString topicLevel(const QString &text)
{
    QString level;
    for (const QChar c : text) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.'
                           || c == u'_' || c == u'-';
        level += plain ? c : QChar(u'_');
    }
    return level.isEmpty() ? QStringLiteral("_") : level;
}

} // namespace

std::optional<BrokerAddress> BrokerAddress::parse(const QString &text, QString *why)
{
    const auto fail = [&](const QString &reason) -> std::optional<BrokerAddress> {
        if (why)
            *why = QStringLiteral("%1 is no broker address: %2").arg(text, reason);
        return std::nullopt;
    };
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return fail(url.errorString());
    if (url.scheme() == QLatin1String("mqtts"))
        return fail(QStringLiteral("TLS (mqtts) is not offered; use mqtt://"));
    if (url.scheme() != QLatin1String("mqtt"))
        return fail(QStringLiteral("write it as mqtt://host:port/topic"));
    if (url.host().isEmpty())
        return fail(QStringLiteral("it names no host"));
    if (url.hasQuery() || url.hasFragment())
        return fail(QStringLiteral("a broker address has no query or fragment"));
    BrokerAddress address;
    address.host = url.host();
    address.port = url.port(DefaultPort);
    if (address.port < 1 || address.port > 65535)
        return fail(QStringLiteral("the port must be from 1 to 65535"));
    address.user = url.userName(QUrl::FullyDecoded);
    address.password = url.password(QUrl::FullyDecoded);
    QString path = url.path(QUrl::FullyDecoded);
    if (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    if (path.contains(QLatin1Char('+')) || path.contains(QLatin1Char('#')))
        return fail(QStringLiteral("a topic to publish to holds no wildcard (+ or #)"));
    if (path.contains(QChar(0)))
        return fail(QStringLiteral("a topic holds no NUL character"));
    if (path.toUtf8().size() > 65535)
        return fail(QStringLiteral("the topic is longer than MQTT allows"));
    address.topic = path;
    return address;
}

QString BrokerAddress::displayText() const
{
    QUrl url;
    url.setScheme(QStringLiteral("mqtt"));
    url.setHost(host);
    url.setPort(port);
    url.setUserName(user);
    if (!topic.isEmpty())
        url.setPath(QLatin1Char('/') + topic);
    return url.toString();
}

QString BrokerAddress::defaultTopic(const QString &machine, const QString &meter)
{
    return QStringLiteral("qm320/%1/%2").arg(topicLevel(machine), topicLevel(meter));
}
