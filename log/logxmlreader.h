#pragma once

#include "log/localecodec.h"
#include "log/logtable.h"
#include "log/tablefiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <vector>

class QIODevice;

// Reads an XML data packet into the table, replacing its content. Written by
// hand: the packet names attributes "DC/AC", which strict XML parsers
// reject.
//
// The packet must define the table's seven fields under their names (letter
// case aside; "fieldname" names a field where present, else "attrname"),
// with an integer type for No and NVal and a text type for the others; other
// fields are ignored and a text width other than 20 is accepted. Every ROW
// becomes a row in file order, its attributes bound to the fields through
// their "attrname"; a RowState with the insert bit (4) keeps the row's
// pending-insert mark. Whitespace, comments and processing instructions
// between elements are skipped; unknown elements are skipped with their
// content.
//
// A read is all or nothing: the rows are read aside and become the table's
// content only once the whole packet was read; a failure leaves the table as
// it was. A NUL byte, which no XML text holds, fails the read.
class LogXmlReader
{
public:
    explicit LogXmlReader(LogTable &table);

    void setProgress(TableFileProgress progress) { m_progress = std::move(progress); }
    // Bytes read from the device at a time (more while one element is longer).
    void setChunkSize(qint64 bytes) { m_chunkSize = bytes > 0 ? bytes : 1; }

    TableFileResult read(QIODevice &in);

    int rowsRead() const { return m_rowsRead; }

    struct Attribute
    {
        QByteArrayView name;
        QByteArrayView value; // as written, escapes and all
    };
    struct Markup
    {
        enum Kind { Start, End, Empty } kind = Start;
        const char *start = nullptr; // its "<", or where scanning failed
        QByteArrayView name;
        std::vector<Attribute> attributes;
    };

private:
    enum class Scan { Markup, NeedMore, EndOfText, Error };
    Scan scan(const char *&p, const char *end, bool atEnd, Markup &m);
    bool handle(const Markup &m);
    bool readField(const Markup &m);
    bool checkFields();
    bool readRow(const Markup &m);
    // The text of an attribute value, escapes undone, into `out`.
    bool unescape(QByteArrayView value, QString &out);
    bool fail(const QString &why);

    LogTable &m_table;
    TableFileProgress m_progress;
    qint64 m_chunkSize = 1 << 20;
    LocaleCodec m_codec;

    QString m_error;
    std::vector<QByteArray> m_open; // names of the open elements
    bool m_seenPacket = false;
    bool m_seenMetadata = false;
    bool m_fieldsChecked = false;
    bool m_seenRowData = false;
    bool m_packetClosed = false;
    int m_rowsRead = 0;
    LogTable *m_rows = nullptr; // where the packet's rows go until it is read whole
    qint64 m_nulOffset = -1;
    bool m_cutShort = false; // the text ended inside markup

    struct FieldBinding
    {
        bool defined = false;
        QString name;
        QString type;
        QByteArray attribute; // the attrname as ROW elements spell it
    };
    std::array<FieldBinding, LogFieldCount> m_fields;
    QString m_text;
};
