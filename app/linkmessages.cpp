#include "app/linkmessages.h"

#include "session/metersession.h"

namespace {

// Where a serial link was lost, and why: the port and its device, then the
// reason. The driver's reason starts with what it opened: the port and its
// device when it opened the port by name, the device alone when the link
// was taken up again by the adapter's stable name.
QString serialLossText(const LinkFailure &failure)
{
    const QString devicePrefix = failure.device + QLatin1String(": ");
    if (!failure.device.isEmpty() && failure.port != failure.device && failure.detail.startsWith(devicePrefix))
        return QStringLiteral("%1 (%2): %3").arg(failure.port, failure.device, failure.detail.mid(devicePrefix.size()));
    if (failure.detail.startsWith(failure.port))
        return failure.detail;
    return QStringLiteral("%1: %2").arg(failure.port, failure.detail);
}

} // namespace

std::optional<LinkMessage> linkFailureMessage(const LinkFailure &failure)
{
    switch (failure.kind) {
    case LinkFailure::Kind::PortNotOpened:
        return LinkMessage{true, failure.detail};
    case LinkFailure::Kind::PortLost:
    case LinkFailure::Kind::CableLost: {
        if (failure.reconnecting)
            return std::nullopt;
        const QString where = failure.kind == LinkFailure::Kind::PortLost
                                  ? serialLossText(failure)
                                  : QStringLiteral("%1 (%2): %3").arg(failure.port, failure.device, failure.detail);
        return LinkMessage{true, QStringLiteral("The link to the meter is lost.\n\n%1.").arg(where)};
    }
    case LinkFailure::Kind::CableNotFound: {
        QString text = QStringLiteral("USB interface cable is not securely connected, please check and re-try.");
        // A cable asked for by its path: which path, and what the system says of it.
        if (!failure.device.isEmpty())
            text += QStringLiteral("\n\n%1: %2").arg(failure.device, failure.detail);
        return LinkMessage{false, text};
    }
    case LinkFailure::Kind::CableNotReadable:
        // Releasing the button without a word left the user guessing; the
        // cause is nearly always the device node's permissions.
        return LinkMessage{true, QStringLiteral("USB interface cable found (%1), but this user may not read it: %2.\n\n"
                                                "Install the udev rule 70-qm320.rules (see README), then unplug the "
                                                "cable and plug it in again.")
                                     .arg(failure.device, failure.detail)};
    case LinkFailure::Kind::CableInUse:
        return LinkMessage{true, QStringLiteral("USB interface cable (%1) cannot be read here: %2.\n\n"
                                                "A cable is read by one window at a time; choose another cable, "
                                                "or disconnect it where it is read.")
                                     .arg(failure.device, failure.detail)};
    case LinkFailure::Kind::CableIdle:
        return LinkMessage{
            false, QStringLiteral("USB interface cable is securely connected, please check if the meter is ready.")};
    case LinkFailure::Kind::CableSilent:
        return LinkMessage{
            false, QStringLiteral("USB interface cable sends no data. Please unplug it, plug it in again and re-try.")};
    }
    return std::nullopt;
}
