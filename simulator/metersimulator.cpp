#include "simulator/metersimulator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <initializer_list>

namespace {

// Where each annunciator sits in the status bytes (frame bytes 8 to 11).
struct StatusBit
{
    Annunciator annunciator;
    int byte;
    std::uint8_t mask;
};

constexpr StatusBit StatusBits[] = {
    {Annunciator::Auto, 8, 0x20},    {Annunciator::Dc, 8, 0x10},       {Annunciator::Ac, 8, 0x08},
    {Annunciator::Rel, 8, 0x04},     {Annunciator::Hold, 8, 0x02},     {Annunciator::Scale4V, 9, 0x80},
    {Annunciator::Max, 9, 0x20},     {Annunciator::Min, 9, 0x10},      {Annunciator::LowBattery, 9, 0x04},
    {Annunciator::Nano, 9, 0x02},    {Annunciator::Micro, 10, 0x80},   {Annunciator::Milli, 10, 0x40},
    {Annunciator::Kilo, 10, 0x20},   {Annunciator::Mega, 10, 0x10},    {Annunciator::Continuity, 10, 0x08},
    {Annunciator::Diode, 10, 0x04},  {Annunciator::Duty, 10, 0x02},    {Annunciator::Volt, 11, 0x80},
    {Annunciator::Ampere, 11, 0x40}, {Annunciator::Ohm, 11, 0x20},     {Annunciator::Hertz, 11, 0x08},
    {Annunciator::Farad, 11, 0x04},  {Annunciator::Celsius, 11, 0x02}, {Annunciator::Fahrenheit, 11, 0x01},
};

Annunciators flagsOf(std::initializer_list<Annunciator> list)
{
    Annunciators flags;
    for (Annunciator a : list)
        flags.set(a);
    return flags;
}

Annunciators operator+(Annunciators a, Annunciators b)
{
    for (int i = 0; i < AnnunciatorCount; ++i) {
        if (b.test(Annunciator(i)))
            a.set(Annunciator(i));
    }
    return a;
}

// One range of a measuring function: the value is divided by `scale` and shown
// with `decimals` digits after the point.
struct Range
{
    double scale;
    int decimals;
    int pointCode;
    Annunciators prefix;
};

// The display an auto-ranging meter picks: the first range in which the value
// fits the counts; past the last range, over-range.
MeterDisplay autoRanged(double value, std::initializer_list<Range> ranges, Annunciators flags, int maxCount = 3999)
{
    for (const Range &r : ranges) {
        // 64 bits: a frequency in its lower ranges gives counts beyond any
        // 32-bit long, which is all a long holds on Windows.
        const long long count = std::llround(value / r.scale * std::pow(10.0, r.decimals));
        if (std::llabs(count) <= maxCount)
            return MeterDisplay::fromCount(int(count), r.pointCode, flags + r.prefix);
    }
    const Range &last = *(ranges.end() - 1);
    return MeterDisplay::overRangeDisplay(last.pointCode, flags + last.prefix, value < 0);
}

// A reading never stands quite still.
double drifted(double value, int frame)
{
    return value * (1.0 + 0.0015 * std::sin(1.7 * frame));
}

// Shows each value for `frames` frames, drifting, through `show`.
void sweep(std::vector<MeterDisplay> &out, std::initializer_list<double> values, int frames,
           const std::function<MeterDisplay(double)> &show)
{
    for (double v : values) {
        for (int i = 0; i < frames; ++i)
            out.push_back(show(drifted(v, int(out.size()))));
    }
}

void repeat(std::vector<MeterDisplay> &out, const MeterDisplay &display, int frames)
{
    out.insert(out.end(), std::size_t(frames), display);
}

constexpr int FramesPerValue = 3;

std::vector<MeterDisplay> dcVolts()
{
    std::vector<MeterDisplay> d;
    const Annunciators dcv = flagsOf({Annunciator::Auto, Annunciator::Dc, Annunciator::Volt});
    sweep(d,
          {-2.75, -0.41, 0.015, 1.5, 3.3, 3.95, 5.0, 12.6, 24.0, 38.5, 120.0, 230.0, 399.5, 650.0, 999.0, 230.0, 12.0,
           1.234},
          FramesPerValue, [&](double v) {
              return autoRanged(
                  v, {{1, 3, 1, flagsOf({Annunciator::Scale4V})}, {1, 2, 2, {}}, {1, 1, 4, {}}, {1, 0, 0, {}}}, dcv);
          });
    return d;
}

std::vector<MeterDisplay> milliVolts()
{
    // Manual range: first 40 mV, then 400 mV.
    std::vector<MeterDisplay> d;
    const Annunciators mv = flagsOf({Annunciator::Dc, Annunciator::Milli, Annunciator::Volt});
    sweep(d, {12.34, 25.0, 39.9, -15.5}, FramesPerValue, [&](double v) { return autoRanged(v, {{1, 2, 2, {}}}, mv); });
    sweep(d, {123.4, 250.0, -56.7, 399.0}, FramesPerValue, [&](double v) {
        return autoRanged(v, {{1, 1, 4, {}}}, mv);
    });
    return d;
}

std::vector<MeterDisplay> acVolts()
{
    std::vector<MeterDisplay> d;
    const Annunciators acv = flagsOf({Annunciator::Auto, Annunciator::Ac, Annunciator::Volt});
    sweep(d, {0.5, 1.2, 3.3, 12.0, 24.0, 115.0, 230.0, 600.0, 700.0}, FramesPerValue, [&](double v) {
        return autoRanged(v, {{1, 3, 1, flagsOf({Annunciator::Scale4V})}, {1, 2, 2, {}}, {1, 1, 4, {}}, {1, 0, 0, {}}},
                          acv);
    });
    return d;
}

// The switch positions µA, mA and A, each auto-ranging within its two ranges.
std::vector<MeterDisplay> current(Annunciator acOrDc, std::initializer_list<double> microAmps,
                                  std::initializer_list<double> milliAmps, std::initializer_list<double> amps)
{
    std::vector<MeterDisplay> d;
    const Annunciators base = flagsOf({Annunciator::Auto, acOrDc, Annunciator::Ampere});
    const Annunciators micro = flagsOf({Annunciator::Micro});
    const Annunciators milli = flagsOf({Annunciator::Milli});
    sweep(d, microAmps, FramesPerValue, [&](double v) {
        return autoRanged(v, {{1, 1, 4, micro}, {1, 0, 0, micro}}, base);
    });
    sweep(d, milliAmps, FramesPerValue, [&](double v) {
        return autoRanged(v, {{1, 2, 2, milli}, {1, 1, 4, milli}}, base);
    });
    sweep(d, amps, FramesPerValue, [&](double v) { return autoRanged(v, {{1, 3, 1, {}}, {1, 2, 2, {}}}, base); });
    return d;
}

std::vector<MeterDisplay> dcCurrent()
{
    return current(Annunciator::Dc, {56.7, 123.4, 399.0, 1500.0, -250.0}, {5.5, 22.0, 39.0, 150.0, -75.0},
                   {0.5, 2.5, 3.9, 8.0, -1.2});
}

std::vector<MeterDisplay> acCurrent()
{
    return current(Annunciator::Ac, {35.0, 250.0, 2200.0}, {8.0, 31.0, 220.0}, {0.75, 3.2, 9.5});
}

std::vector<MeterDisplay> resistance()
{
    std::vector<MeterDisplay> d;
    const Annunciators ohm = flagsOf({Annunciator::Auto, Annunciator::Ohm});
    const Annunciators k = flagsOf({Annunciator::Kilo});
    const Annunciators m = flagsOf({Annunciator::Mega});
    sweep(d, {47.0, 220.0, 1000.0, 4700.0, 22000.0, 150000.0, 680000.0, 1.5e6, 10e6}, FramesPerValue, [&](double v) {
        return autoRanged(
            v, {{1, 1, 4, {}}, {1e3, 3, 1, k}, {1e3, 2, 2, k}, {1e3, 1, 4, k}, {1e6, 3, 1, m}, {1e6, 2, 2, m}}, ohm);
    });
    // Open leads.
    repeat(d, MeterDisplay::overRangeDisplay(2, ohm + m), FramesPerValue);
    return d;
}

std::vector<MeterDisplay> continuity()
{
    std::vector<MeterDisplay> d;
    const Annunciators ctn = flagsOf({Annunciator::Continuity});
    sweep(d, {0.3, 0.4, 2.5, 15.7, 38.0}, FramesPerValue, [&](double v) {
        return autoRanged(v, {{1, 1, 4, {}}}, ctn);
    });
    repeat(d, MeterDisplay::overRangeDisplay(4, ctn), FramesPerValue);
    return d;
}

std::vector<MeterDisplay> diode()
{
    std::vector<MeterDisplay> d;
    const Annunciators diode = flagsOf({Annunciator::Diode, Annunciator::Volt});
    sweep(d, {0.583, 0.301, 1.820}, FramesPerValue, [&](double v) { return autoRanged(v, {{1, 3, 1, {}}}, diode); });
    repeat(d, MeterDisplay::overRangeDisplay(1, diode), FramesPerValue);
    return d;
}

std::vector<MeterDisplay> capacitance()
{
    std::vector<MeterDisplay> d;
    const Annunciators cap = flagsOf({Annunciator::Auto, Annunciator::Farad});
    const Annunciators n = flagsOf({Annunciator::Nano});
    const Annunciators u = flagsOf({Annunciator::Micro});
    sweep(
        d, {4.7e-9, 22e-9, 100e-9, 330e-9, 1e-6, 4.7e-6, 22e-6, 100e-6, 470e-6, 2200e-6}, FramesPerValue,
        [&](double v) {
            return autoRanged(
                v,
                {{1e-9, 2, 2, n}, {1e-9, 1, 4, n}, {1e-6, 3, 1, u}, {1e-6, 2, 2, u}, {1e-6, 1, 4, u}, {1e-6, 0, 0, u}},
                cap);
        });
    return d;
}

std::vector<MeterDisplay> frequency()
{
    // The frequency counter shows up to 9999 counts.
    std::vector<MeterDisplay> d;
    const Annunciators hz = flagsOf({Annunciator::Auto, Annunciator::Hertz});
    const Annunciators k = flagsOf({Annunciator::Kilo});
    const Annunciators m = flagsOf({Annunciator::Mega});
    sweep(d, {1.5, 50.0, 60.0, 440.0, 1000.0, 4000.0, 32768.0, 100000.0, 455000.0, 1.2e6, 4e6}, FramesPerValue,
          [&](double v) {
              return autoRanged(v,
                                {{1, 3, 1, {}},
                                 {1, 2, 2, {}},
                                 {1, 1, 4, {}},
                                 {1e3, 3, 1, k},
                                 {1e3, 2, 2, k},
                                 {1e3, 1, 4, k},
                                 {1e6, 3, 1, m}},
                                hz, 9999);
          });
    return d;
}

std::vector<MeterDisplay> dutyCycle()
{
    std::vector<MeterDisplay> d;
    const Annunciators duty = flagsOf({Annunciator::Duty});
    sweep(d, {25.0, 33.3, 50.0, 75.0, 99.0}, FramesPerValue, [&](double v) {
        return autoRanged(v, {{1, 1, 4, {}}}, duty);
    });
    return d;
}

std::vector<MeterDisplay> temperature()
{
    std::vector<MeterDisplay> d;
    const Annunciators c = flagsOf({Annunciator::Celsius});
    const Annunciators f = flagsOf({Annunciator::Fahrenheit});
    for (int t : {23, 23, 24, 22, 4, -5, -12, -12, 100, 350})
        d.push_back(MeterDisplay::fromCount(t, 0, c));
    for (int t : {73, 75, 74, 23, 10, -4, 212, 662})
        d.push_back(MeterDisplay::fromCount(t, 0, f));
    return d;
}

std::vector<MeterDisplay> keys()
{
    // DC volts with a weak battery; the user presses HOLD, REL, MAX, MIN.
    std::vector<MeterDisplay> d;
    const Annunciators base =
        flagsOf({Annunciator::Dc, Annunciator::Volt, Annunciator::LowBattery, Annunciator::Scale4V});
    const Annunciators autoRange = flagsOf({Annunciator::Auto});
    const int counts[] = {1500, 1507, 1512, 1498, 1503};
    for (int c : counts)
        d.push_back(MeterDisplay::fromCount(c, 1, base + autoRange));
    repeat(d, MeterDisplay::fromCount(counts[4], 1, base + autoRange + flagsOf({Annunciator::Hold})), 4);
    // REL takes the meter out of auto-ranging and shows the difference.
    for (int c : {0, 12, -8, -21, 5})
        d.push_back(MeterDisplay::fromCount(c, 1, base + flagsOf({Annunciator::Rel})));
    repeat(d, MeterDisplay::fromCount(1512, 1, base + flagsOf({Annunciator::Max})), 4);
    repeat(d, MeterDisplay::fromCount(1498, 1, base + flagsOf({Annunciator::Min})), 4);
    return d;
}

struct Scenario
{
    const char *name;
    const char *description;
    std::vector<MeterDisplay> (*displays)();
};

const Scenario Scenarios[] = {
    {"dcv", "DC volts drifting and auto-ranging from 4 V to 1000 V, negative values included", dcVolts},
    {"mv", "DC millivolts in the 40 mV and 400 mV ranges, manual range", milliVolts},
    {"acv", "AC volts auto-ranging from 4 V to 750 V", acVolts},
    {"dca", "DC current in the uA, mA and A positions, negative values included", dcCurrent},
    {"aca", "AC current in the uA, mA and A positions", acCurrent},
    {"ohm", "resistance from ohms to megohms, then open leads (over-range)", resistance},
    {"continuity", "continuity test from a short to open leads", continuity},
    {"diode", "diode test: silicon, germanium and LED junctions, then open", diode},
    {"cap", "capacitance from nanofarads to microfarads", capacitance},
    {"freq", "frequency from hertz to megahertz", frequency},
    {"duty", "duty cycle in percent", dutyCycle},
    {"temp", "temperature in degrees Celsius and Fahrenheit, below zero included", temperature},
    {"keys", "HOLD, REL, MAX and MIN on DC volts, with the low-battery sign", keys},
};

} // namespace

MeterDisplay MeterDisplay::fromCount(int count, int pointCode, Annunciators flags)
{
    MeterDisplay d;
    d.negative = count < 0;
    int magnitude = std::abs(count) % 10000;
    for (int i = 3; i >= 0; --i) {
        d.digits[std::size_t(i)] = char('0' + magnitude % 10);
        magnitude /= 10;
    }
    d.pointCode = pointCode;
    d.flags = flags;
    return d;
}

MeterDisplay MeterDisplay::overRangeDisplay(int pointCode, Annunciators flags, bool negative)
{
    MeterDisplay d;
    d.negative = negative;
    d.overRange = true;
    d.pointCode = pointCode;
    d.flags = flags;
    return d;
}

FrameBytes encodeFrame(const MeterDisplay &display)
{
    FrameBytes f{};
    f[0] = display.negative ? '-' : '+';
    if (display.overRange) {
        // The low nibble F in the first digit marks over-range; the meter's
        // other digit bytes are not read then.
        f[1] = '?';
        f[2] = '0';
        f[3] = ':';
        f[4] = '0';
    } else {
        for (std::size_t i = 0; i < 4; ++i)
            f[1 + i] = std::uint8_t(display.digits[i]);
    }
    f[5] = ' ';
    f[6] = std::uint8_t('0' + display.pointCode);
    for (const StatusBit &bit : StatusBits) {
        if (display.flags.test(bit.annunciator))
            f[std::size_t(bit.byte - 1)] |= bit.mask;
    }
    f[11] = 0x00;
    f[12] = 0x0D;
    f[13] = 0x0A;
    return f;
}

std::vector<HidReport> hidReportsForFrame(const FrameBytes &frame, int frameIntervalMs)
{
    constexpr int PollMs = 10;
    std::vector<HidReport> reports;
    std::size_t next = 0;
    int pollTime = PollMs;
    while (next < frame.size()) {
        HidReport report{};
        int count = 0;
        // Bytes whose last bit arrived by this poll: byte k ends after
        // (k + 1) * 10 bits of 1/2400 s.
        while (next < frame.size() && (next + 1) * 10 * 1000 <= std::size_t(pollTime) * 2400 && count < 7) {
            report[std::size_t(2 + count)] = frame[next];
            ++next;
            ++count;
        }
        report[1] = std::uint8_t(count);
        reports.push_back(report);
        pollTime += PollMs;
    }
    // Empty reports until the next frame begins; at least one ends the burst.
    const int idle = std::max(1, (frameIntervalMs - (pollTime - PollMs)) / PollMs);
    reports.insert(reports.end(), std::size_t(idle), HidReport{});
    return reports;
}

QList<MeterSimulator::ScenarioInfo> MeterSimulator::scenarios()
{
    QList<ScenarioInfo> list;
    for (const Scenario &s : Scenarios)
        list.append({QString::fromLatin1(s.name), QString::fromLatin1(s.description)});
    return list;
}

MeterSimulator::MeterSimulator(const QString &scenario)
{
    const bool all = scenario == QLatin1String(AllScenarios);
    for (const Scenario &s : Scenarios) {
        if (all || scenario == QLatin1String(s.name)) {
            const std::vector<MeterDisplay> displays = s.displays();
            m_displays.insert(m_displays.end(), displays.begin(), displays.end());
        }
    }
}

MeterDisplay MeterSimulator::nextDisplay()
{
    if (m_displays.empty())
        return MeterDisplay{};
    const MeterDisplay d = m_displays[m_next];
    m_next = (m_next + 1) % m_displays.size();
    return d;
}
