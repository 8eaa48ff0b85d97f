#include "log/localecodec.h"

LocaleCodec::LocaleCodec(QStringConverter::Encoding encoding)
    : m_encoder(encoding, QStringConverter::Flag::Stateless)
    // Pieces are decoded one by one: a U+FEFF at the start of a cell is
    // text, not a byte-order mark to drop.
    , m_decoder(encoding, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom)
{ }

bool LocaleCodec::isAscii(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

bool LocaleCodec::isAscii(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

void LocaleCodec::appendEncoded(QByteArray &out, QStringView text)
{
    if (isAscii(text)) {
        const qsizetype at = out.size();
        out.resize(at + text.size());
        char *p = out.data() + at;
        for (QChar c : text)
            *p++ = char(c.unicode());
        return;
    }
    out += m_encoder.encode(text);
}

void LocaleCodec::appendDecoded(QString &out, QByteArrayView bytes)
{
    if (isAscii(bytes)) {
        const qsizetype at = out.size();
        out.resize(at + bytes.size());
        QChar *p = out.data() + at;
        for (char c : bytes)
            *p++ = QChar(char16_t(c));
        return;
    }
    out += m_decoder.decode(bytes);
}
