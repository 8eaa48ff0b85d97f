#include "meter/lcdlayout.h"

#include "meter/reading.h"

namespace {

using E = LcdElement;
using Art = LcdArt;

// The face: a row of mode words along the top, the minus sign and four
// digits in the middle, the prefixes and units in a column on the right,
// MAX/MIN and the battery along the bottom.
const std::array<LcdElementInfo, LcdElementCount> Elements{{
    {E::DigitA, "digit1", {34, 32, 46, 88}, Art::Digit, ""},
    {E::DigitB, "digit2", {86, 32, 46, 88}, Art::Digit, ""},
    {E::DigitC, "digit3", {138, 32, 46, 88}, Art::Digit, ""},
    {E::DigitD, "digit4", {190, 32, 46, 88}, Art::Digit, ""},
    {E::Point1, "point1", {76, 113, 7, 7}, Art::Point, ""},
    {E::Point2, "point2", {128, 113, 7, 7}, Art::Point, ""},
    {E::Point3, "point3", {180, 113, 7, 7}, Art::Point, ""},
    {E::Minus, "minusSign", {9, 72, 22, 8}, Art::Bar, ""},
    {E::Auto, "autoSymbol", {10, 8, 40, 15}, Art::Text, "AUTO"},
    {E::Dc, "dcSymbol", {58, 8, 24, 15}, Art::Text, "DC"},
    {E::Ac, "acSymbol", {88, 8, 24, 15}, Art::Text, "AC"},
    {E::Hold, "holdSymbol", {120, 8, 40, 15}, Art::Text, "HOLD"},
    {E::Rel, "relSymbol", {168, 7, 18, 16}, Art::Triangle, ""},
    {E::Max, "maxSymbol", {10, 138, 34, 15}, Art::Text, "MAX"},
    {E::Min, "minSymbol", {50, 138, 30, 15}, Art::Text, "MIN"},
    {E::LowBattery, "lowBatterySymbol", {262, 140, 30, 14}, Art::Battery, ""},
    {E::Nano, "nanoSymbol", {244, 32, 14, 17}, Art::Text, "n"},
    {E::Micro, "microSymbol", {259, 32, 14, 17}, Art::Text, "\u00B5"},
    {E::Milli, "milliSymbol", {274, 32, 20, 17}, Art::Text, "m"},
    {E::Kilo, "kiloSymbol", {244, 53, 14, 17}, Art::Text, "k"},
    {E::Mega, "megaSymbol", {259, 53, 18, 17}, Art::Text, "M"},
    {E::Continuity, "continuitySymbol", {228, 6, 24, 18}, Art::Beeper, ""},
    {E::Diode, "diodeSymbol", {196, 8, 26, 15}, Art::DiodeMark, ""},
    {E::Duty, "percentSymbol", {274, 98, 18, 17}, Art::Text, "%"},
    {E::Volt, "voltSymbol", {244, 75, 16, 19}, Art::Text, "V"},
    {E::Ampere, "ampereSymbol", {261, 75, 16, 19}, Art::Text, "A"},
    {E::Ohm, "ohmSymbol", {278, 53, 18, 17}, Art::Text, "\u03A9"},
    {E::Hertz, "hertzSymbol", {244, 98, 26, 17}, Art::Text, "Hz"},
    {E::Farad, "faradSymbol", {278, 75, 14, 19}, Art::Text, "F"},
    {E::Celsius, "celsiusSymbol", {244, 119, 24, 17}, Art::Text, "\u00B0C"},
    {E::Fahrenheit, "fahrenheitSymbol", {270, 119, 24, 17}, Art::Text, "\u00B0F"},
    {E::Link, "linkSymbol", {262, 4, 32, 22}, Art::LinkMark, ""},
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
    case u'L':
        return 0b0111000;
    case u'-':
        return 0b1000000;
    default:
        return 0;
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

LcdState lcdStateFor(const Reading &r)
{
    using A = Annunciator;
    LcdState s;
    for (std::size_t i = 0; i < Digits.size(); ++i)
        s.digits[i] = lcdDigitGlyph(r.digits[i]);
    s.setLit(E::Point1, r.pointPosition == 1);
    s.setLit(E::Point2, r.pointPosition == 2);
    s.setLit(E::Point3, r.pointPosition == 3);
    s.setLit(E::Minus, r.negative);
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
    // The link symbol is lit from the first frame on.
    s.setLit(E::Link);
    return s;
}
