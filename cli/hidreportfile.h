#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <vector>

// The text form of captured HID input reports: one report per line, hex bytes
// separated by blanks, the report ID first, then the report's data bytes
// (data byte 1 is the cable's count byte). Blank lines and lines starting
// with '#' carry no report.
enum class HidLine { Report, Skip, Malformed };

// Parses one line (without its line end). `bytes` receives the report ID and
// the data bytes; `error` says what is wrong with a malformed line.
HidLine parseHidReportLine(QByteArrayView line, std::vector<std::uint8_t> &bytes, QString &error);

// The line for one report, as parseHidReportLine reads it.
QByteArray formatHidReportLine(std::uint8_t reportId, const std::uint8_t *data, int size);
