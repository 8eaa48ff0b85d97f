#include "session/metersession.h"

#include "log/abandonedjournal.h"
#include "log/journalfile.h"
#include "log/tablefiles.h"
#include "meter/limits.h"
#include "meter/localeinfo.h"
#include "transport/comportnames.h"
#include "transport/serialportdriver.h"
#include "transport/serialsettings.h"
#include "transport/usblink.h"

namespace {

QString setupReportLine(QByteArrayView report)
{
    // The nine data bytes after the report ID, each followed by a blank.
    QString line;
    for (qsizetype i = 1; i < report.size(); ++i) {
        const auto b = std::uint8_t(report[i]);
        line += QLatin1Char(hexDigit(b >> 4));
        line += QLatin1Char(hexDigit(b));
        line += QLatin1Char(' ');
    }
    return line;
}

} // namespace

MeterSession::MeterSession(const LocaleInfo &locale, std::unique_ptr<SerialBackend> serialBackend,
                           std::unique_ptr<HidBackend> hidBackend, QObject *parent)
    : QObject(parent)
    , m_locale(locale)
    , m_logger(m_log, locale)
    , m_decimalSeparator(locale.userDecimalSeparator())
    , m_serial(std::make_unique<SerialPortDriver>(serialBackend ? std::move(serialBackend) : createSerialBackend()))
    , m_usbLink(std::make_unique<UsbLink>(std::move(hidBackend)))
{
    m_connectionTimer.setInterval(ConnectionTickMs);
    m_samplingTimer.setInterval(1000);
    m_reconnectTimer.setInterval(ReconnectTickMs);
    m_journalTimer.setInterval(LogJournal::HandOverMs);
    connect(&m_journalTimer, &QTimer::timeout, this, &MeterSession::checkJournal);
    connect(&m_connectionTimer, &QTimer::timeout, this, &MeterSession::tickConnection);
    connect(&m_samplingTimer, &QTimer::timeout, this, &MeterSession::tickSampling);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &MeterSession::tryReconnect);

    connect(m_serial.get(), &SerialPortDriver::dataReceived, this, &MeterSession::feedSerialBytes);
    connect(m_serial.get(), &SerialPortDriver::readFailed, this, &MeterSession::onSerialReadFailed);

    UsbLink *usb = m_usbLink.get();
    connect(usb, &UsbLink::reportReceived, this, &MeterSession::onReport);
    connect(usb, &UsbLink::setupReportSent, this,
            [this](QByteArrayView report) { m_history.addLine(setupReportLine(report)); });
    connect(usb, &UsbLink::deviceArrived, this,
            [this](const QString &name) { m_history.addLine(QStringLiteral("Arrival of ") + name); });
    connect(usb, &UsbLink::deviceRemoved, this,
            [this](const QString &name) { m_history.addLine(QStringLiteral("Removal of ") + name); });
    connect(usb, &UsbLink::cableReset, this,
            [this](const QString &name) { m_history.addLine(QStringLiteral("Reset of ") + name); });
    connect(usb, &UsbLink::readFailed, this,
            [this](const QString &reason) { m_history.addLine(QStringLiteral("READ ERROR: ") + reason); });
    connect(usb, &UsbLink::lost, this, &MeterSession::onCableLost);
    connect(usb, &UsbLink::deviceListChanged, this, [this] {
        if (m_linkState == LinkState::WaitingForUsb)
            tryReconnect();
    });
    connect(usb, &UsbLink::cableSilent, this,
            [this] { fail(LinkFailure::Kind::CableSilent, m_usbLink->selectedPath()); });
}

MeterSession::~MeterSession()
{
    m_connectionTimer.stop();
    m_samplingTimer.stop();
    m_reconnectTimer.stop();
    // A USB read thread may have handed over a report; stopping it drops
    // the report while nothing of this session is gone yet.
    m_usbLink.reset();
    m_serial.reset();
    // A normal end: the journal goes unless it holds rows nobody saved.
    m_journal.close(m_unsavedRows == 0);
}

void MeterSession::start()
{
    m_connectionTimer.start();
    m_usbLink->start();
}

void MeterSession::setLinkState(LinkState state)
{
    if (state == m_linkState)
        return;
    // When a link stops, what it logged goes to the system at once.
    if (state != LinkState::Serial && state != LinkState::Usb)
        m_journal.flush();
    m_linkState = state;
    emit linkStateChanged(state);
}

void MeterSession::fail(LinkFailure::Kind kind, const QString &device, const QString &detail)
{
    LinkFailure failure;
    failure.kind = kind;
    failure.port = kind == LinkFailure::Kind::PortNotOpened || kind == LinkFailure::Kind::PortLost
                       ? m_serialPort
                       : m_usbLink->selectedName();
    failure.device = device;
    failure.detail = detail;
    emit linkFailed(failure);
}

void MeterSession::setReconnect(bool reconnect)
{
    m_reconnect = reconnect;
    // Switched off while waiting: the wait ends.
    if (!reconnect && (m_linkState == LinkState::WaitingForSerial || m_linkState == LinkState::WaitingForUsb))
        disconnectLink();
}

void MeterSession::disconnectLink()
{
    switch (m_linkState) {
    case LinkState::Serial:
        disconnectSerial();
        break;
    case LinkState::Usb:
        disconnectUsb();
        break;
    case LinkState::WaitingForSerial:
    case LinkState::WaitingForUsb:
        m_reconnectTimer.stop();
        setLinkState(LinkState::Idle);
        break;
    case LinkState::Idle:
        break;
    }
}

void MeterSession::loseLink(LinkFailure failure)
{
    // The last reading stays, but no frame comes: the lamp goes out at once.
    m_noFrameTicks = 0;
    setDataArriving(false);
    failure.reconnecting = m_reconnect;
    const bool serial = failure.kind == LinkFailure::Kind::PortLost;
    if (m_reconnect) {
        m_lostLink = failure;
        setLinkState(serial ? LinkState::WaitingForSerial : LinkState::WaitingForUsb);
        m_reconnectTimer.start();
    } else {
        setLinkState(LinkState::Idle);
    }
    emit linkFailed(failure);
}

void MeterSession::onSerialReadFailed(const QString &reason)
{
    if (m_linkState != LinkState::Serial)
        return;
    // The driver would poll on; a device that failed its reads or hung up
    // is gone for this link.
    m_serial->close();
    LinkFailure failure;
    failure.kind = LinkFailure::Kind::PortLost;
    failure.port = m_serialPort;
    failure.device = m_serialDevice;
    failure.detail = reason;
    loseLink(failure);
}

void MeterSession::onCableLost(const QString &reason)
{
    if (m_linkState != LinkState::Usb)
        return;
    LinkFailure failure;
    failure.kind = LinkFailure::Kind::CableLost;
    failure.port = m_usbLink->cableName();
    failure.device = m_usbLink->cablePath();
    failure.detail = reason;
    loseLink(failure);
}

void MeterSession::tryReconnect()
{
    if (m_linkState == LinkState::WaitingForSerial) {
        // Opening a device that is not there fails at once and quietly.
        if (!m_serial->open(m_serialDevice, MeterLineSettings))
            return;
        m_assembler.startLink();
        m_reconnectTimer.stop();
        setLinkState(LinkState::Serial);
    } else if (m_linkState == LinkState::WaitingForUsb) {
        if (!m_usbLink->selectReturnedCable(m_lostLink.device, m_lostLink.port))
            return;
        if (m_usbLink->connectCable() != UsbLink::Result::Done)
            return;
        m_assembler.startLink();
        m_reconnectTimer.stop();
        setLinkState(LinkState::Usb);
    } else {
        m_reconnectTimer.stop();
    }
}

void MeterSession::setSerialPort(const QString &port)
{
    if (m_linkState != LinkState::Serial)
        m_serialPort = port;
}

bool MeterSession::connectSerial()
{
    if (m_linkState == LinkState::Serial)
        return true;
    if (!m_serial->open(m_serialPort, MeterLineSettings)) {
        fail(LinkFailure::Kind::PortNotOpened, deviceForPortName(m_serialPort), m_serial->lastError());
        return false;
    }
    m_assembler.startLink();
    // The adapter by a name that follows it to another number when it is
    // plugged in again.
    m_serialDevice = stableDevicePath(deviceForPortName(m_serialPort));
    setLinkState(LinkState::Serial);
    return true;
}

void MeterSession::disconnectSerial()
{
    m_serial->close();
    if (m_linkState == LinkState::Serial || m_linkState == LinkState::WaitingForSerial) {
        m_reconnectTimer.stop();
        setLinkState(LinkState::Idle);
    }
}

bool MeterSession::connectUsb(const QString &devicePath)
{
    m_assembler.startLink();
    if (!devicePath.isEmpty() && !m_usbLink->selectDevicePath(devicePath)) {
        fail(LinkFailure::Kind::CableNotFound, devicePath, m_usbLink->unlistedReason(devicePath));
        setLinkState(LinkState::Idle);
        return false;
    }
    switch (m_usbLink->connectCable()) {
    case UsbLink::Result::Done:
        setLinkState(LinkState::Usb);
        return true;
    case UsbLink::Result::NoCable:
        fail(LinkFailure::Kind::CableNotFound);
        setLinkState(LinkState::Idle);
        return false;
    case UsbLink::Result::NoAccess:
        setLinkState(LinkState::Idle);
        fail(LinkFailure::Kind::CableNotReadable, m_usbLink->selectedPath(), m_usbLink->accessError());
        return false;
    case UsbLink::Result::InUse:
        setLinkState(LinkState::Idle);
        fail(LinkFailure::Kind::CableInUse, m_usbLink->selectedPath(), m_usbLink->claimError());
        return false;
    }
    return false;
}

void MeterSession::disconnectUsb()
{
    m_assembler.resetEmptyReportCount();
    if (m_linkState == LinkState::WaitingForUsb) {
        m_reconnectTimer.stop();
        setLinkState(LinkState::Idle);
        return;
    }
    if (m_usbLink->disconnectCable() == UsbLink::Result::NoCable)
        fail(LinkFailure::Kind::CableNotFound);
    setLinkState(LinkState::Idle);
}

void MeterSession::feedSerialBytes(QByteArrayView bytes)
{
    while (const std::optional<MeterFrame> frame = m_assembler.takeSerialFrame(bytes))
        decodeFrame(*frame);
}

void MeterSession::feedReport(std::uint8_t reportId, QByteArrayView data)
{
    onReport(reportId, data);
}

void MeterSession::onReport(std::uint8_t reportId, QByteArrayView data)
{
    const FrameAssembler::ReportResult result = m_assembler.addReport(data);
    if (result.carriedPayload)
        m_history.addLine(FrameAssembler::reportLine(reportId, data));
    if (result.frame)
        decodeFrame(*result.frame);
}

void MeterSession::setLimitTexts(const QString &high, const QString &low)
{
    m_highLimit = high;
    m_lowLimit = low;
}

void MeterSession::decodeFrame(const MeterFrame &frame)
{
    // The separator is asked for afresh with every frame, so a change of the
    // user's settings shows at once; assigned only when it changed, which
    // keeps the path free of reference counting.
    if (const QString &separator = m_locale.userDecimalSeparator(); separator != m_decimalSeparator)
        m_decimalSeparator = separator;
    DecodeResult *result = m_decoder.decode(frame, m_decimalSeparator);
    if (!result)
        return;

    // Limits typed with the other separator are rewritten to this one.
    const QString high = rewriteLimitText(m_highLimit, m_decimalSeparator);
    const QString low = rewriteLimitText(m_lowLimit, m_decimalSeparator);
    if (high != m_highLimit || low != m_lowLimit) {
        setLimitTexts(high, low);
        emit limitTextsRewritten(high, low);
    }

    m_noFrameTicks = 0;
    setDataArriving(true);
    m_lastFrame = frame;
    ++m_decodedFrames;

    // While a limit is not a number the reading is shown but not judged, and
    // keeps the last judgement.
    Reading &reading = result->reading;
    const Judgement judgement = m_judge.judge(reading.valueText, m_highLimit, m_lowLimit, m_decimalSeparator);
    if (judgement != Judgement::NotJudged)
        reading.judgeText = judgeText(judgement);

    m_logger.markFresh();
    emit readingDecoded(*result);

    // The reading goes to the log now, or at the next sampling tick.
    if (m_logger.sampling()) {
        // Starting a running timer would restart its period.
        if (!m_samplingTimer.isActive())
            m_samplingTimer.start();
    } else {
        m_samplingTimer.stop();
        // The clock is read only for a frame that may become a row.
        if (m_logger.takesFrames())
            logRow(m_logger.logFrame(reading, m_clock.stamp()));
    }
}

void MeterSession::logRow(const std::optional<LoggedRow> &row)
{
    if (!row)
        return;
    m_journal.append(row->row);
    ++m_unsavedRows;
    emit rowLogged(row->row, row->numericValue);
    checkLogFull();
}

void MeterSession::checkLogFull()
{
    if (m_logger.isFull() == m_logFull)
        return;
    m_logFull = m_logger.isFull();
    emit logFullChanged(m_logFull);
}

void MeterSession::setRecordLimit(qint32 limit)
{
    m_logger.setRecordLimit(limit);
    checkLogFull();
}

void MeterSession::checkJournal()
{
    if (!m_journal.failed() || m_journalFailureReported)
        return;
    m_journalFailureReported = true;
    emit journalFailed(m_journal.errorString());
}

bool MeterSession::startJournal(const QString &folder)
{
    m_journalFolder = folder;
    m_journalFailureReported = false;
    if (!m_journal.create(folder)) {
        m_journalFailureReported = true;
        emit journalFailed(m_journal.errorString());
        return false;
    }
    m_journalTimer.start();
    return true;
}

bool MeterSession::recoverJournal(AbandonedJournal &journal, QString *error)
{
    const int before = m_log.rowCount();
    // Readings that arrive meanwhile are logged after the recovered rows,
    // into the journal that goes on with them.
    holdReadings();
    const TableFileResult loaded = journal.load(m_log);
    if (!loaded) {
        // Nothing of a failed recovery stays: the journal keeps it all.
        if (before == 0)
            m_log.clear();
        releaseReadings();
        if (error)
            *error = loaded.reason;
        return false;
    }
    const int recovered = m_log.rowCount() - before;
    if (recovered > 0) {
        const int last = m_log.rowCount() - 1;
        m_logger.continueAfter(m_log.integer(last, int(LogField::No)).value_or(0), recovered);
    }
    m_unsavedRows += recovered;
    // The new rows follow the recovered ones on disk: in the journal they
    // came from when all of it was read, else in a new one that starts
    // with them, while the old one, with what could not be read, is kept
    // aside by the caller. The fresh journal this run started holds nothing
    // yet.
    m_journal.close(true);
    QString why;
    std::unique_ptr<JournalFile> file = journal.takeForAppending(&why);
    const bool carriedOn = file ? m_journal.adopt(std::move(file)) : m_journal.create(m_journalFolder, &journal);
    if (!carriedOn) {
        m_journalFailureReported = true;
        emit journalFailed(m_journal.errorString());
    } else {
        m_journalTimer.start();
    }
    releaseReadings();
    checkLogFull();
    return true;
}

void MeterSession::noteLogOpened(bool replaced)
{
    if (!replaced)
        return;
    m_unsavedRows = 0;
    // The journal's rows left the log with it (the user was asked): a new
    // journal starts, as after Clear, so that a crash does not offer them.
    if (m_journal.isOpen()) {
        m_journal.close(true);
        startJournal(m_journalFolder);
    }
}

void MeterSession::setDataArriving(bool arriving)
{
    if (arriving == m_dataArriving)
        return;
    m_dataArriving = arriving;
    emit dataArrivingChanged(arriving);
}

void MeterSession::tickConnection()
{
    if (m_noFrameTicks != 2) {
        ++m_noFrameTicks;
        return;
    }
    // The cable keeps reporting but carries no meter bytes: the meter is off
    // or not sending.
    if (m_assembler.emptyReportCount() >= IdleReportCount) {
        m_assembler.resetEmptyReportCount();
        m_usbLink->stopReading();
        if (m_linkState == LinkState::Usb)
            setLinkState(LinkState::Idle);
        fail(LinkFailure::Kind::CableIdle, m_usbLink->selectedPath());
    }
    setDataArriving(false);
    m_noFrameTicks = 0;
}

void MeterSession::tickSampling()
{
    logRow(m_logger.logSample(m_decoder.lastResult().reading, m_clock.stamp()));
}

void MeterSession::setSamplingInterval(int milliseconds)
{
    if (m_samplingTimer.interval() != milliseconds)
        m_samplingTimer.setInterval(milliseconds);
}

void MeterSession::clearLog()
{
    m_logger.emptyLog();
    m_unsavedRows = 0;
    // The rows were saved or given up: their journal goes, a new one starts.
    if (m_journal.isOpen()) {
        m_journal.close(true);
        startJournal(m_journalFolder);
    }
    emit logCleared();
    checkLogFull();
}

void MeterSession::holdReadings()
{
    if (m_holds++ == 0)
        m_logger.holdReadings();
}

void MeterSession::releaseReadings()
{
    if (m_holds == 0 || --m_holds > 0)
        return;
    // Logged as they would have been on arrival: into the journal, and
    // counted among the unsaved rows.
    for (const LoggedRow &row : m_logger.releaseReadings())
        logRow(row);
}
