#include "transport/serialportdriver.h"

#include <algorithm>

SerialPortDriver::SerialPortDriver(QObject *parent)
    : SerialPortDriver(createSerialBackend(), parent)
{ }

SerialPortDriver::SerialPortDriver(std::unique_ptr<SerialBackend> backend, QObject *parent)
    : QObject(parent)
    , m_backend(std::move(backend))
{
    m_pollTimer.setObjectName(QStringLiteral("pollTimer"));
    m_pollTimer.setInterval(PollIntervalMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &SerialPortDriver::poll);
}

SerialPortDriver::~SerialPortDriver()
{
    close();
}

bool SerialPortDriver::open(const QString &portName, const SerialSettings &settings)
{
    if (m_open)
        return true;
    auto fail = [this] {
        m_lastErrorKind = m_backend->error();
        m_lastError = m_backend->errorString();
        return false;
    };
    if (!m_backend->open(portName, settings))
        return fail();
    // What the system queued before the link started is stale: the meter's
    // frames in it would be logged as readings taken now.
    if (!m_backend->flush()) {
        fail();
        m_backend->close();
        return false;
    }
    m_open = true;
    m_readFailing = false;
    m_portName = portName;
    m_settings = settings;
    m_lastErrorKind = SerialError::None;
    m_lastError.clear();
    m_pollTimer.start();
    return true;
}

void SerialPortDriver::close()
{
    if (!m_open)
        return;
    m_pollTimer.stop();
    m_backend->close();
    m_open = false;
}

void SerialPortDriver::poll()
{
    if (!m_open)
        return;
    const SerialRead read = m_backend->read(m_receiveBuffer.data(), ReceiveBufferSize);
    switch (read.status) {
    case SerialRead::Status::Data:
        m_readFailing = false;
        if (read.count > 0) {
            const int count = std::min(read.count, ReceiveBufferSize);
            emit dataReceived(QByteArrayView(m_receiveBuffer.data(), count));
        }
        break;
    case SerialRead::Status::Nothing:
        m_readFailing = false;
        break;
    case SerialRead::Status::Failed:
        if (!m_readFailing) {
            m_readFailing = true;
            emit readFailed(m_backend->errorString());
        }
        break;
    }
}
