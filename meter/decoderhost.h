#pragma once

#include <QString>

struct Reading;

// What the decoder asks of the window around it while it decodes a frame: the
// panel, the limits, the chart's vertical axis and series, the bar graph and
// the log. Calls arrive in decode order. Apart from JudgeText, which judge()
// writes, nothing the host does changes the decoder's results.
class DecoderHost
{
public:
    virtual ~DecoderHost() = default;

    // Step 1: the user locale's separator was read; rewrite the limit texts.
    virtual void rewriteLimitTexts(const QString &decimalSeparator) { Q_UNUSED(decimalSeparator) }
    // Step 2: a frame arrived; show the link lamp and restart the no-frame count.
    virtual void showConnectionOk() {}
    // Step 3: hide every annunciator before the frame's own are painted.
    virtual void hideAnnunciators() {}
    // Steps 5 to 8: show the annunciators, sign and point of the reading.
    virtual void paintAnnunciators(const Reading &reading) { Q_UNUSED(reading) }
    // Step 13, on a mode change: whether the chart's Fill box is ticked, and
    // the series to show (0 area, 1 line).
    virtual bool fillChecked() const { return true; }
    virtual void showSeries(int index) { Q_UNUSED(index) }
    // End of step 13: the MIN/MAX labels.
    virtual void showMinMax(const QString &maxText, const QString &minText, const QString &unitText)
    {
        Q_UNUSED(maxText) Q_UNUSED(minText) Q_UNUSED(unitText)
    }
    // Step 14: the four digits.
    virtual void paintDigits(const Reading &reading) { Q_UNUSED(reading) }
    // Step 16, once per matching range row: maximum first, then minimum.
    virtual void setVerticalAxis(double maximum, double minimum) { Q_UNUSED(maximum) Q_UNUSED(minimum) }
    // Step 17: show ValueText and judge it against the limits, writing
    // reading.JudgeText (left alone when a limit is not a number).
    virtual void judge(Reading &reading) { Q_UNUSED(reading) }
    // Step 19: the vertical maximum changed since the last frame.
    virtual void updateBarGraphMaximum(double axisMaximum) { Q_UNUSED(axisMaximum) }
    // Step 20: sampling mode (RecordSI ticked) runs the sampling timer;
    // otherwise the timer stops and the reading is offered to the log.
    virtual bool samplingMode() const { return false; }
    virtual void setSamplingTimerEnabled(bool enabled) { Q_UNUSED(enabled) }
    virtual void INDataToTable() {}
};
