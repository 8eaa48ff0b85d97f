#include "transport/tcommportdriver.h"

#include <algorithm>

namespace {

// Windows never runs a window timer faster than every 10 ms; a polling delay
// of 0 would otherwise poll as fast as the event loop spins.
constexpr int MinimumPollInterval = 10;

int pollInterval(quint16 delay) { return std::max<int>(delay, MinimumPollInterval); }

} // namespace

TCommPortDriver::TCommPortDriver(QObject *parent)
    : TCommPortDriver(createSerialBackend(), parent)
{
}

TCommPortDriver::TCommPortDriver(std::unique_ptr<SerialBackend> backend, QObject *parent)
    : QObject(parent)
    , m_backend(std::move(backend))
{
    m_receiveBuffer = std::make_unique<std::uint8_t[]>(m_inBufSize);
    m_pollTimer.setObjectName(QStringLiteral("pollTimer"));
    connect(&m_pollTimer, &QTimer::timeout, this, &TCommPortDriver::PollTick);
}

TCommPortDriver::~TCommPortDriver()
{
    ClosePort();
}

void TCommPortDriver::setComPort(TComPortNumber port)
{
    if (!m_open)
        m_comPort = port;
}

void TCommPortDriver::setComPortDevice(const QString &path)
{
    if (!m_open)
        m_comPortDevice = path;
}

void TCommPortDriver::setComPortSpeed(TComPortBaudRate speed)
{
    m_speed = speed;
    reapplyIfOpen();
}

void TCommPortDriver::setComPortDataBits(TComPortDataBits dataBits)
{
    m_dataBits = dataBits;
    reapplyIfOpen();
}

void TCommPortDriver::setComPortStopBits(TComPortStopBits stopBits)
{
    m_stopBits = stopBits;
    reapplyIfOpen();
}

void TCommPortDriver::setComPortParity(TComPortParity parity)
{
    m_parity = parity;
    reapplyIfOpen();
}

void TCommPortDriver::setComPortHwHandshaking(TComPortHwHandshaking handshaking)
{
    m_hwHandshaking = handshaking;
    reapplyIfOpen();
}

void TCommPortDriver::setComPortSwHandshaking(TComPortSwHandshaking handshaking)
{
    m_swHandshaking = handshaking;
    reapplyIfOpen();
}

void TCommPortDriver::reapplyIfOpen()
{
    if (m_open)
        ApplySettings();
}

void TCommPortDriver::setComPortInBufSize(quint16 size)
{
    if (m_open)
        return;
    m_receiveBuffer = std::make_unique<std::uint8_t[]>(size);
    m_inBufSize = size;
}

void TCommPortDriver::setComPortOutBufSize(quint16 size)
{
    // Like the receive size it only reaches the system at the next open.
    if (!m_open)
        m_outBufSize = size;
}

void TCommPortDriver::setComPortPollingDelay(quint16 delay)
{
    if (delay == m_pollingDelay)
        return;
    if (!m_open) {
        m_pollingDelay = delay;
        return;
    }
    m_pollTimer.stop();
    m_pollingDelay = delay;
    startPolling();
}

void TCommPortDriver::startPolling()
{
    m_pollTimer.start(pollInterval(m_pollingDelay));
}

QString TCommPortDriver::portName() const
{
    if (!m_comPortDevice.isEmpty())
        return m_comPortDevice;
    return QStringLiteral("COM%1").arg(int(m_comPort) + 1);
}

bool TCommPortDriver::OpenPort()
{
    if (m_open)
        return true;
    if (!m_backend->open(portName())) {
        m_lastOpenErrorKind = m_backend->error();
        m_lastOpenError = m_backend->errorString();
        return false;
    }
    m_open = true;
    m_readFailing = false;
    m_lastOpenErrorKind = SerialError::None;
    m_lastOpenError.clear();

    ApplySettings();
    // A read returns at once with what the system has queued.
    SerialTimeouts timeouts;
    timeouts.ReadIntervalTimeout = 1;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 1;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    m_backend->setTimeouts(timeouts);
    startPolling();
    return true;
}

void TCommPortDriver::ClosePort()
{
    if (!m_open)
        return;
    m_pollTimer.stop();
    m_backend->close();
    m_open = false;
}

std::uint32_t TCommPortDriver::baudRate(TComPortBaudRate speed)
{
    static constexpr std::uint32_t rates[] = {
        110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200,
    };
    return rates[int(speed)];
}

SerialLineState TCommPortDriver::lineState() const
{
    SerialLineState state;
    state.BaudRate = baudRate(m_speed);
    state.Flags = SerialLineState::fBinary;
    if (m_enableDtrOnOpen)
        state.Flags |= SerialLineState::DtrControlEnable;
    if (m_hwHandshaking == hhRTSCTS)
        state.Flags |= SerialLineState::fOutxCtsFlow | SerialLineState::RtsControlHandshake;
    if (m_swHandshaking == shXONXOFF) {
        state.Flags |= SerialLineState::fOutX | SerialLineState::fInX;
        // The usual DC1/DC3 pair; a zero pair would make XON and XOFF the same
        // character, which no system accepts.
        state.XonChar = 0x11;
        state.XoffChar = 0x13;
    }
    state.XonLim = quint16(m_inBufSize / 4);
    state.XoffLim = 1;
    state.ByteSize = std::uint8_t(int(m_dataBits) + 5);
    state.Parity = std::uint8_t(m_parity);
    state.StopBits = std::uint8_t(m_stopBits);
    return state;
}

void TCommPortDriver::ApplySettings()
{
    if (!m_open)
        return;
    if (m_backend->setLineState(lineState()))
        m_lastSettingsError.clear();
    else
        m_lastSettingsError = m_backend->errorString();
    PurgeBuffers(true, true);
    m_backend->setQueueSizes(m_inBufSize, m_outBufSize);
}

void TCommPortDriver::PurgeBuffers(bool input, bool output)
{
    if (!m_open)
        return;
    const std::uint32_t flags = (output ? PurgeTxAbort | PurgeTxClear : 0u)
                              | (input ? PurgeRxAbort | PurgeRxClear : 0u);
    m_backend->purge(flags);
}

void TCommPortDriver::PollTick()
{
    if (!m_open)
        return;
    const SerialRead read = m_backend->read(m_receiveBuffer.get(), m_inBufSize);
    switch (read.status) {
    case SerialRead::Status::Data:
        m_readFailing = false;
        if (read.count > 0 && m_onReceiveData)
            m_onReceiveData(this, m_receiveBuffer.get(), std::min<int>(read.count, m_inBufSize));
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
