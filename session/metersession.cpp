#include "session/metersession.h"

#include "meter/limits.h"
#include "shared/localeinfo.h"
#include "transport/hidbackend.h"
#include "transport/serialbackend.h"

MeterSession::MeterSession(const LocaleInfo &locale, std::unique_ptr<SerialBackend> serialBackend,
                           std::unique_ptr<HidBackend> hidBackend, QObject *parent)
    : QObject(parent)
    , m_recorder(locale)
    , m_decimalSeparator(locale.userDecimalSeparator())
    , m_links(std::make_unique<LinkSupervisor>(std::move(serialBackend), std::move(hidBackend)))
{
    m_connectionTimer.setInterval(ConnectionTickMs);
    m_samplingTimer.setInterval(1000);
    connect(&m_connectionTimer, &QTimer::timeout, this, &MeterSession::tickConnection);
    connect(&m_samplingTimer, &QTimer::timeout, this, &MeterSession::tickSampling);

    connect(&m_recorder, &ReadingRecorder::rowLogged, this, &MeterSession::rowLogged);
    connect(&m_recorder, &ReadingRecorder::logCleared, this, &MeterSession::logCleared);
    connect(&m_recorder, &ReadingRecorder::logFullChanged, this, &MeterSession::logFullChanged);
    connect(&m_recorder, &ReadingRecorder::journalFailed, this, &MeterSession::journalFailed);

    LinkSupervisor *links = m_links.get();
    connect(links, &LinkSupervisor::serialBytesReceived, this, &MeterSession::feedSerialBytes);
    connect(links, &LinkSupervisor::reportReceived, this, &MeterSession::onReport);
    connect(links, &LinkSupervisor::linkStarting, this, [this] { m_assembler.startLink(); });
    connect(links, &LinkSupervisor::usbDisconnecting, this, [this] { m_assembler.resetEmptyReportCount(); });
    connect(links, &LinkSupervisor::linkLost, this, [this] {
        // The last reading stays, but no frame comes: the lamp goes out at once.
        m_noFrameTicks = 0;
        setDataArriving(false);
    });
    connect(links, &LinkSupervisor::stateChanged, this, &MeterSession::onLinkStateChanged);
    connect(links, &LinkSupervisor::failed, this, &MeterSession::linkFailed);
    connect(links, &LinkSupervisor::historyLine, this, [this](const QString &line) { m_history.addLine(line); });
    connect(links, &LinkSupervisor::usbDevicesChanged, this, &MeterSession::usbDevicesChanged);
    connect(links, &LinkSupervisor::setupReportSent, this,
            [this](bool accepted) { emit cableSetUp(accepted, m_links->usbAccessError()); });
    connect(links, &LinkSupervisor::cableReset, this, &MeterSession::cableReset);
}

MeterSession::MeterSession(const LocaleInfo &locale, QObject *parent)
    : MeterSession(locale, nullptr, nullptr, parent)
{ }

MeterSession::~MeterSession()
{
    m_connectionTimer.stop();
    m_samplingTimer.stop();
    // The links stop first: a USB read thread may have handed over a report,
    // which is dropped while nothing of this session is gone yet. The
    // recorder then closes the journal.
    m_links.reset();
}

void MeterSession::start()
{
    m_connectionTimer.start();
    m_links->start();
}

void MeterSession::onLinkStateChanged(LinkState state)
{
    // When a link stops, what it logged goes to the system at once.
    if (state != LinkState::Serial && state != LinkState::Usb)
        m_recorder.flushJournal();
    emit linkStateChanged(state);
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
        reading.judgement = judgement;

    m_recorder.markFresh();
    emit readingDecoded(*result);

    // The reading goes to the log now, or at the next sampling tick.
    if (m_recorder.sampling()) {
        // Starting a running timer would restart its period.
        if (!m_samplingTimer.isActive())
            m_samplingTimer.start();
    } else {
        m_samplingTimer.stop();
        m_recorder.recordFrame(reading);
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
        m_links->endIdleCable();
    }
    setDataArriving(false);
    m_noFrameTicks = 0;
}

void MeterSession::tickSampling()
{
    m_recorder.recordSample(m_decoder.lastResult().reading);
}

void MeterSession::setSamplingInterval(int milliseconds)
{
    if (m_samplingTimer.interval() != milliseconds)
        m_samplingTimer.setInterval(milliseconds);
}
