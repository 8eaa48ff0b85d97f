#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringConverter>
#include <QStringView>

// The 8-bit encoding of table files: the process locale's, as Qt sees it
// (UTF-8 on Linux). Text that the encoding cannot carry (an unpaired
// surrogate) is written as U+FFFD; bytes that are no valid text read as
// U+FFFD. Every byte below 0x80 stands for itself, so files are split at
// tabs, quotes and markup before any decoding, piece by piece.
class LocaleCodec
{
public:
    // Another encoding where a file says which (UTF-8 for UTF-16 text that
    // was turned into UTF-8 as it was read).
    explicit LocaleCodec(QStringConverter::Encoding encoding = QStringConverter::System);

    void appendEncoded(QByteArray &out, QStringView text);
    // Appends the text of `bytes` to `out`.
    void appendDecoded(QString &out, QByteArrayView bytes);

    static bool isAscii(QStringView text);
    static bool isAscii(QByteArrayView bytes);

private:
    QStringEncoder m_encoder;
    QStringDecoder m_decoder;
};
