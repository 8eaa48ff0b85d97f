#include "readingcheck.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryFile>

namespace ReadingCheck {

namespace {

constexpr int FrameBytes = 14;

// The readings of `frames` as qm320-cli decode gives them from a capture file.
QList<QJsonObject> decodeFromFile(const QStringList &frames, QString &error)
{
    QTemporaryFile capture;
    if (!capture.open()) {
        error = QStringLiteral("cannot write a capture: %1").arg(capture.errorString());
        return {};
    }
    capture.write("\n");
    for (const QString &frame : frames)
        capture.write(QByteArray::fromHex(frame.toLatin1()));
    capture.close();

    QProcess cli;
    cli.start(QStringLiteral(QM320_BINARY_DIR "/cli/qm320-cli"), {QStringLiteral("decode"), capture.fileName()});
    if (!cli.waitForFinished(60000) || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
        error = QStringLiteral("qm320-cli decode of the sent frames failed: %1")
                    .arg(QString::fromLocal8Bit(cli.readAllStandardError()));
        return {};
    }
    return parseLines(cli.readAllStandardOutput());
}

QString shown(const QJsonValue &value)
{
    if (value.isArray())
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    return value.toVariant().toString();
}

} // namespace

QList<QJsonObject> parseLines(const QByteArray &output)
{
    QList<QJsonObject> objects;
    for (const QByteArray &line : output.split('\n')) {
        if (!line.trimmed().isEmpty())
            objects << QJsonDocument::fromJson(line).object();
    }
    return objects;
}

QStringList framesOfCapture(const QByteArray &capture)
{
    QStringList frames;
    for (qsizetype at = 1; at + FrameBytes <= capture.size(); at += FrameBytes)
        frames << QString::fromLatin1(capture.mid(at, FrameBytes).toHex().toUpper());
    return frames;
}

QString compare(const QList<QJsonObject> &readings, const QStringList &sent, Link link)
{
    if (readings.size() > sent.size())
        return QStringLiteral("%1 readings from %2 frames sent").arg(readings.size()).arg(sent.size());
    QString error;
    const QList<QJsonObject> expected = decodeFromFile(sent.mid(0, readings.size()), error);
    if (!error.isEmpty())
        return error;
    if (expected.size() != readings.size())
        return QStringLiteral("the %1 frames sent decode to %2 readings from a file")
            .arg(readings.size())
            .arg(expected.size());

    for (qsizetype i = 0; i < readings.size(); ++i) {
        const QString frame = readings[i].value(QLatin1String("frame")).toString();
        // The serial link drops the LF: it separates one frame from the next.
        const QString sentFrame = link == Link::Serial ? sent[i].left(2 * (FrameBytes - 1)) : sent[i];
        if (frame != sentFrame)
            return QStringLiteral("reading %1 is frame %2, but frame %3 was sent").arg(i).arg(frame, sentFrame);
        for (const char *key : {"value", "unit", "function", "flags"}) {
            const QJsonValue got = readings[i].value(QLatin1String(key));
            const QJsonValue want = expected[i].value(QLatin1String(key));
            if (got != want || got.isUndefined())
                return QStringLiteral("reading %1 (frame %2): %3 is %4, decoding the frame from a file gives %5")
                    .arg(i)
                    .arg(frame, QLatin1String(key), shown(got), shown(want));
        }
    }
    return {};
}

} // namespace ReadingCheck
