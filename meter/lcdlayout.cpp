#include "meter/lcdlayout.h"

#include "meter/reading.h"

namespace {

using E = LcdElement;
using Art = LcdArt;

// The face: a row of mode words along the top, the minus sign and four
// digits in the middle, the prefixes and units in a column on the right,
// MAX/MIN and the battery along the bottom.
const std::array<LcdElementInfo, LcdElementCount> Elements{{
    {E::DigitA, "LcdDa", {34, 32, 46, 88}, Art::Digit, "", "3", true},
    {E::DigitB, "LcdDb", {86, 32, 46, 88}, Art::Digit, "", "9", true},
    {E::DigitC, "LcdDc", {138, 32, 46, 88}, Art::Digit, "", "9", true},
    {E::DigitD, "LcdDd", {190, 32, 46, 88}, Art::Digit, "", "9", true},
    {E::Point1, "LcdP1", {76, 113, 7, 7}, Art::Point, "", "", true},
    {E::Point2, "LcdP2", {128, 113, 7, 7}, Art::Point, "", "", true},
    {E::Point3, "LcdP3", {180, 113, 7, 7}, Art::Point, "", "", true},
    {E::Minus, "LcdFH", {9, 72, 22, 8}, Art::Bar, "", "-", true},
    {E::Auto, "LcdAuto", {10, 8, 40, 15}, Art::Text, "AUTO", "Auto range", true},
    {E::Dc, "LcdDc1", {58, 8, 24, 15}, Art::Text, "DC", "DC", true},
    {E::Ac, "LcdAC", {88, 8, 24, 15}, Art::Text, "AC", "AC", true},
    {E::Hold, "LCDHold", {120, 8, 40, 15}, Art::Text, "HOLD", "\"", true},
    {E::Rel, "LCDREL", {168, 7, 18, 16}, Art::Triangle, "", "", true},
    {E::Max, "Labmax", {10, 138, 34, 15}, Art::Text, "MAX", "MAX", true},
    {E::Min, "Labmin", {50, 138, 30, 15}, Art::Text, "MIN", "MIN", true},
    {E::LowBattery, "LCDBATT", {262, 140, 30, 14}, Art::Battery, "", "$", true},
    {E::Nano, "LCDn", {244, 32, 14, 17}, Art::Text, "n", "n", true},
    {E::Micro, "LCDu", {259, 32, 14, 17}, Art::Text, "\u00B5", "+", true},
    {E::Milli, "Lcdm", {274, 32, 20, 17}, Art::Text, "m", "m", true},
    {E::Kilo, "LCDk", {244, 53, 14, 17}, Art::Text, "k", "k", true},
    {E::Mega, "LCDM1", {259, 53, 18, 17}, Art::Text, "M", "M", true},
    {E::Continuity, "LCDFm", {228, 6, 24, 18}, Art::Beeper, "", "&", true},
    {E::Diode, "LCDDI", {196, 8, 26, 15}, Art::DiodeMark, "", ")", true},
    {E::Duty, "LCDBF", {274, 98, 18, 17}, Art::Text, "%", "%", true},
    {E::Volt, "LcdV", {244, 75, 16, 19}, Art::Text, "V", "V", true},
    {E::Ampere, "LCDA", {261, 75, 16, 19}, Art::Text, "A", "A", true},
    {E::Ohm, "LCDohm", {278, 53, 18, 17}, Art::Text, "\u03A9", "*", true},
    {E::Hertz, "LCDHz", {244, 98, 26, 17}, Art::Text, "Hz", "Hz", true},
    {E::Farad, "LCDF", {278, 75, 14, 19}, Art::Text, "F", "F", true},
    {E::Celsius, "LCDCS", {244, 119, 24, 17}, Art::Text, "\u00B0C", "#", true},
    {E::Fahrenheit, "LCDFS", {270, 119, 24, 17}, Art::Text, "\u00B0F", "?", true},
    {E::Link, "LCDsend", {262, 4, 32, 22}, Art::LinkMark, "", "", true},
    {E::EF, "EF", {90, 138, 18, 15}, Art::Text, "EF", "", false},
    {E::Rpm, "LcdRPM", {112, 138, 32, 15}, Art::Text, "RPM", "RPM", false},
    {E::Bt, "LCDBT", {148, 138, 14, 15}, Art::Text, "BT", "(", false},
}};

constexpr std::array<E, 4> Digits{E::DigitA, E::DigitB, E::DigitC, E::DigitD};

} // namespace

const std::array<LcdElementInfo, LcdElementCount> &lcdElements()
{
    return Elements;
}

const LcdElementInfo &lcdElement(LcdElement e)
{
    return Elements[std::size_t(e)];
}

QChar lcdDigitGlyph(QChar digitText)
{
    if (digitText == OverRangeGlyph)
        return u'L';
    if (digitText.isNull())
        return u' ';
    return digitText;
}

std::uint8_t sevenSegmentMask(QChar glyph)
{
    //                                 gfedcba
    static constexpr std::uint8_t Digit[10] = {0b0111111, 0b0000110, 0b1011011, 0b1001111, 0b1100110,
                                               0b1101101, 0b1111101, 0b0000111, 0b1111111, 0b1101111};
    const char16_t c = glyph.unicode();
    if (c >= u'0' && c <= u'9')
        return Digit[c - u'0'];
    switch (c) {
    case u'L': return 0b0111000;
    case u'-': return 0b1000000;
    default: return 0;
    }
}

QString LcdState::digitText() const
{
    return QString(digits.data(), qsizetype(digits.size()));
}

LcdState lcdDesignState()
{
    LcdState s;
    s.digits = {u'3', u'9', u'9', u'9'};
    s.setLit(E::Minus);
    return s;
}

bool lcdHiddenBeforePainting(LcdElement e)
{
    switch (e) {
    case E::DigitA: case E::DigitB: case E::DigitC: case E::DigitD:
    case E::Point1: case E::Point2: case E::Point3:
    case E::Link:
        return false;
    default:
        return true;
    }
}

LcdState lcdAnnunciatorsFor(const Reading &r)
{
    using A = Annunciator;
    LcdState s;
    s.setLit(E::Point1, r.PointIndex == 1);
    s.setLit(E::Point2, r.PointIndex == 2);
    s.setLit(E::Point3, r.PointIndex == 3);
    s.setLit(E::Minus, r.negative());
    s.setLit(E::Auto, r.has(A::Auto));
    s.setLit(E::Dc, r.has(A::Dc));
    s.setLit(E::Ac, r.has(A::Ac));
    s.setLit(E::Hold, r.has(A::Hold));
    s.setLit(E::Rel, r.has(A::Rel));
    s.setLit(E::Max, r.has(A::Max));
    s.setLit(E::Min, r.has(A::Min));
    s.setLit(E::LowBattery, r.has(A::LowBattery));
    s.setLit(E::Nano, r.has(A::Nano));
    s.setLit(E::Micro, r.has(A::Micro));
    s.setLit(E::Milli, r.has(A::Milli));
    s.setLit(E::Kilo, r.has(A::Kilo));
    s.setLit(E::Mega, r.has(A::Mega));
    s.setLit(E::Continuity, r.has(A::Continuity));
    s.setLit(E::Diode, r.has(A::Diode));
    s.setLit(E::Duty, r.has(A::Duty));
    s.setLit(E::Volt, r.voltShown());
    s.setLit(E::Ampere, r.has(A::Ampere));
    s.setLit(E::Ohm, r.has(A::Ohm));
    s.setLit(E::Hertz, r.has(A::Hertz));
    s.setLit(E::Farad, r.has(A::Farad));
    s.setLit(E::Celsius, r.has(A::Celsius));
    s.setLit(E::Fahrenheit, r.has(A::Fahrenheit));
    s.setLit(E::Link);
    return s;
}

LcdState lcdStateFor(const Reading &r)
{
    LcdState s = lcdAnnunciatorsFor(r);
    for (std::size_t i = 0; i < Digits.size(); ++i)
        s.digits[i] = lcdDigitGlyph(r.DigitText[i]);
    return s;
}
