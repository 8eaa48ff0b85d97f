#pragma once

#include "meter/reading.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

// What the meter shows at one moment: sign, four digits (or over-range), the
// decimal point and the annunciators.
struct MeterDisplay
{
    bool negative = false;
    bool overRange = false;
    std::array<char, 4> digits{'0', '0', '0', '0'};
    int pointCode = 0; // 0 none, 1 d.ddd, 2 dd.dd, 4 ddd.d
    Annunciators flags;

    // A count of -9999..9999 shown with the point of `pointCode`.
    static MeterDisplay fromCount(int count, int pointCode, Annunciators flags);
    // "0.L" with the point of `pointCode`.
    static MeterDisplay overRangeDisplay(int pointCode, Annunciators flags, bool negative = false);
};

using FrameBytes = std::array<std::uint8_t, 14>;

// The 14 bytes the meter sends for a display: sign, four digits, a blank,
// the point code, four status bytes, an unread byte, CR, LF.
FrameBytes encodeFrame(const MeterDisplay &display);

// The meter's serial line runs at 2400 bit/s, ten bits per byte.
inline constexpr double ByteTimeMs = 10.0 * 1000.0 / 2400.0;

// One HID input report of the USB cable: report ID 0 and eight data bytes,
// the first the count of payload bytes that follow.
using HidReport = std::array<std::uint8_t, 9>;

// The reports the cable sends for one frame and the pause after it: the
// cable reports every 10 ms what its UART received since the last report
// (two or three bytes at 2400 bit/s), and keeps sending reports without
// payload until the next frame starts `frameIntervalMs` after this one.
std::vector<HidReport> hidReportsForFrame(const FrameBytes &frame, int frameIntervalMs);

// Plays a meter. A scenario is a fixed sequence of displays that one
// measuring function goes through (DC volts auto-ranging, resistance up to
// over-range, ...); the default "all" plays every scenario in turn. The
// sequence repeats, so a simulator runs as long as it is asked to.
class MeterSimulator
{
public:
    struct ScenarioInfo
    {
        QString name;
        QString description;
    };
    static QList<ScenarioInfo> scenarios();
    static constexpr const char *AllScenarios = "all";

    // A scenario name or "all"; an unknown name gives an invalid simulator.
    explicit MeterSimulator(const QString &scenario = QString::fromLatin1(AllScenarios));
    bool isValid() const { return !m_displays.empty(); }

    // Displays in one pass through the scenario.
    int cycleLength() const { return int(m_displays.size()); }

    MeterDisplay nextDisplay();
    FrameBytes nextFrame() { return encodeFrame(nextDisplay()); }

private:
    std::vector<MeterDisplay> m_displays;
    std::size_t m_next = 0;
};
