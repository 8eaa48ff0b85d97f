#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// What a live link decoded, checked frame by frame against the frames the
// meter sent. The readings a frame must give come from qm320-cli decoding the
// same frames from a capture file: the link under test must deliver every
// frame whole and in order, and the session must make of it what it makes of
// the file.
namespace ReadingCheck {

// How a link hands a frame to the decoder: the serial link up to the CR, the
// USB link the whole burst, LF included.
enum class Link { Serial, Usb };

// One JSON object per line of qm320-cli decode's output; a line that is no
// JSON object becomes an empty object, which matches no frame.
QList<QJsonObject> parseLines(const QByteArray &output);

// The 14-byte frames of a serial capture (an LF, then the frames), as hex.
QStringList framesOfCapture(const QByteArray &capture);

// Empty when reading i is frame sent[i] and shows what decoding that frame
// from a file shows (value, unit, function, flags), for every reading;
// otherwise the first difference. `sent` may hold more frames than were read.
QString compare(const QList<QJsonObject> &readings, const QStringList &sent, Link link);

} // namespace ReadingCheck
