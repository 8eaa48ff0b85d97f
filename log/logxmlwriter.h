#pragma once

#include "log/localecodec.h"
#include "log/tablefiles.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

class LogTable;
class QIODevice;

// Writes the table as an XML data packet: the declaration, DATAPACKET
// Version "2.0" holding METADATA (the seven FIELD definitions and PARAMS) and
// ROWDATA (one empty ROW element per row, one attribute per field that has a
// value). Rows with a pending-insert mark carry RowState "4", and PARAMS then
// carries CHANGE_LOG, three numbers per such row: its place in ROWDATA
// counted from 1, 0, and 4. Every element stands on its own line.
class LogXmlWriter
{
public:
    explicit LogXmlWriter(const LogTable &table);

    void setProgress(TableFileProgress progress) { m_progress = std::move(progress); }
    // Writes the rows that the table holds when the call starts.
    TableFileResult write(QIODevice &out);

    // The attribute that stands for a field: blanks, "!", "#", "$", "%", "(",
    // ")", "*" and "?" become "_"; the slash of "DC/AC" stays.
    static QString attributeName(const QString &fieldName);
    // An attribute value with the packet's escapes, in the locale's encoding.
    void appendValue(QByteArray &out, QStringView value);

private:
    const LogTable &m_table;
    TableFileProgress m_progress;
    LocaleCodec m_codec;
};
