#include "cli/decodeinput.h"

#include "cli/commands.h"
#include "cli/hidreportfile.h"
#include "session/metersession.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int decodeSerialStream(std::FILE *in, const QString &name, MeterSession &session)
{
    std::vector<std::uint8_t> buffer(1 << 20);
    for (;;) {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in);
        if (n > 0)
            session.feedSerialBytes(QByteArrayView(buffer.data(), qsizetype(n)));
        if (n < buffer.size()) {
            if (std::ferror(in))
                return cliFail(
                    QStringLiteral("cannot read %1: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno))));
            return 0;
        }
    }
}

// The next line of `in` with its line end; false at the end of the input or
// on a read error. Byte by byte from the stream's buffer, so that a NUL byte
// in a line stays in it.
bool readLine(std::FILE *in, QByteArray &line)
{
    line.clear();
    for (int c; (c = std::getc(in)) != EOF;) {
        line.append(char(c));
        if (c == '\n')
            return true;
    }
    return !line.isEmpty() && !std::ferror(in);
}

int decodeHidText(std::FILE *in, const QString &name, MeterSession &session)
{
    QByteArray line;
    std::vector<std::uint8_t> bytes;
    QString error;
    long long lineNumber = 0;
    int result = 0;
    for (;;) {
        errno = 0;
        if (!readLine(in, line)) {
            if (std::ferror(in))
                result = cliFail(
                    QStringLiteral("cannot read %1: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno))));
            break;
        }
        ++lineNumber;
        qsizetype length = line.size();
        while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r'))
            --length;
        const HidLine kind = parseHidReportLine(QByteArrayView(line.constData(), length), bytes, error);
        if (kind == HidLine::Skip)
            continue;
        if (kind == HidLine::Malformed) {
            result = cliFail(QStringLiteral("%1:%2: %3").arg(name).arg(lineNumber).arg(error));
            break;
        }
        session.feedReport(bytes[0], QByteArrayView(bytes.data() + 1, qsizetype(bytes.size()) - 1));
    }
    return result;
}

} // namespace

int decodeInputFile(const QString &file, bool hid, MeterSession &session)
{
    const bool standardInput = file.isEmpty() || file == QLatin1String("-");
    const QString name = standardInput ? QStringLiteral("<stdin>") : file;
    std::FILE *in = stdin;
    if (!standardInput) {
        in = std::fopen(QFile::encodeName(file).constData(), "rb");
        if (!in)
            return cliFail(
                QStringLiteral("cannot read %1: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno))));
    }
    const int result = hid ? decodeHidText(in, name, session) : decodeSerialStream(in, name, session);
    if (in != stdin)
        std::fclose(in);
    return result;
}
