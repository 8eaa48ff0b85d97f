#pragma once

#include <QChar>
#include <QRect>
#include <QString>

#include <array>
#include <bitset>
#include <cstdint>

struct Reading;

// Every segment group of the simulated LCD panel. The panel is a fixed
// 302 x 162 pixel face; each element has its place on it and an object name
// by which the tests find it.
enum class LcdElement : std::uint8_t {
    DigitA,
    DigitB,
    DigitC,
    DigitD,
    Point1,
    Point2,
    Point3,
    Minus,
    Auto,
    Dc,
    Ac,
    Hold,
    Rel,
    Max,
    Min,
    LowBattery,
    Nano,
    Micro,
    Milli,
    Kilo,
    Mega,
    Continuity,
    Diode,
    Duty,
    Volt,
    Ampere,
    Ohm,
    Hertz,
    Farad,
    Celsius,
    Fahrenheit,
    Link,
};
inline constexpr int LcdElementCount = int(LcdElement::Link) + 1;

// How an element is drawn.
enum class LcdArt : std::uint8_t {
    Digit,    // seven segments
    Point,    // decimal point
    Bar,      // the minus sign: one horizontal segment
    Text,     // a word or a unit symbol
    Triangle, // REL
    Battery,
    DiodeMark,
    Beeper,   // continuity
    LinkMark, // a screen with an S: frames are arriving
};

struct LcdElementInfo
{
    LcdElement element;
    const char *objectName;
    QRect rect; // on the 302 x 162 face
    LcdArt art;
    const char *symbol; // the text drawn for LcdArt::Text
};

inline constexpr int LcdPanelWidth = 302;
inline constexpr int LcdPanelHeight = 162;

const std::array<LcdElementInfo, LcdElementCount> &lcdElements();
const LcdElementInfo &lcdElement(LcdElement e);

// What the four digits show: '0'..'9', 'L' for over-range, ' ' for blank.
QChar lcdDigitGlyph(QChar digitText);

// The segments a 7-segment glyph lights, bit 0 = a (top) ... bit 6 = g (middle).
std::uint8_t sevenSegmentMask(QChar glyph);

// What the panel shows as a whole.
struct LcdState
{
    std::bitset<LcdElementCount> lit;
    std::array<QChar, 4> digits{QChar(u' '), QChar(u' '), QChar(u' '), QChar(u' ')};

    bool isLit(LcdElement e) const { return lit.test(std::size_t(e)); }
    void setLit(LcdElement e, bool on = true) { lit.set(std::size_t(e), on); }
    // "3999", "  0L" and the like.
    QString digitText() const;
    bool operator==(const LcdState &) const = default;
};

// Before the first frame: 3, 9, 9, 9 with the minus sign, nothing else.
LcdState lcdDesignState();

// The whole panel for a decoded reading: digits, points, minus sign,
// annunciators, and the link symbol.
LcdState lcdStateFor(const Reading &reading);
