#include "cli/hidreportfile.h"

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

} // namespace

HidLine parseHidReportLine(QByteArrayView line, std::vector<std::uint8_t> &bytes, QString &error)
{
    bytes.clear();
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n && isBlank(line[i]))
        ++i;
    if (i == n || line[i] == '#')
        return HidLine::Skip;
    while (i < n) {
        const qsizetype start = i;
        while (i < n && !isBlank(line[i]))
            ++i;
        const QByteArrayView token = line.sliced(start, i - start);
        const int hi = hexValue(token[0]);
        const int lo = token.size() == 2 ? hexValue(token[1]) : 0;
        if (token.size() > 2 || hi < 0 || lo < 0) {
            error = QStringLiteral("'%1' is not a hex byte").arg(QString::fromLatin1(token.toByteArray()));
            return HidLine::Malformed;
        }
        bytes.push_back(std::uint8_t(token.size() == 2 ? (hi << 4 | lo) : hi));
        while (i < n && isBlank(line[i]))
            ++i;
    }
    // The report's data size travels as a 16-bit count.
    if (bytes.size() > 65536) {
        error = QStringLiteral("a report of %1 bytes is longer than a HID report can be").arg(bytes.size());
        return HidLine::Malformed;
    }
    return HidLine::Report;
}

QByteArray formatHidReportLine(std::uint8_t reportId, const std::uint8_t *data, int size)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray line;
    line.reserve(3 * (size + 1));
    line.append(hex[reportId >> 4]).append(hex[reportId & 0xF]);
    for (int i = 0; i < size; ++i)
        line.append(' ').append(hex[data[i] >> 4]).append(hex[data[i] & 0xF]);
    line.append('\n');
    return line;
}
