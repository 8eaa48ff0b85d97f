#pragma once

#include "meter/reading.h"

#include <QtGlobal>

// A reading's typed parts from the file format's texts, so that a test's
// table can say them as files and messages do ("OHM", "k*", "pass").
template<typename Value>
Value valueOfText(const QString &text, const QString &(*textOf)(Value), Value last)
{
    for (int i = 0; i <= int(last); ++i) {
        if (textOf(Value(i)) == text)
            return Value(i);
    }
    qFatal("no value has the text %s", qPrintable(text));
}

inline Reading::Function functionOfText(const QString &text)
{
    return valueOfText(text, functionText, Reading::Function::Diode);
}

inline Reading::Unit unitOfText(const QString &text)
{
    return valueOfText(text, unitText, Reading::Unit::Volt);
}

inline Reading::Range rangeOfText(const QString &text)
{
    return valueOfText(text, rangeText, Reading::Range::Auto);
}

inline Reading::Judgement judgementOfText(const QString &text)
{
    return valueOfText(text, judgementText, Reading::Judgement::Fail);
}
