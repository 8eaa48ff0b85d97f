#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <charconv>

// What the two table-file writers share: they build the file in a buffer that
// goes to the device in pieces of FlushSize, and report progress every
// RowsPerProgress rows.
namespace LogWriting {

inline constexpr qsizetype FlushSize = 1 << 20;
inline constexpr int RowsPerProgress = 1 << 14;

inline void appendDecimal(QByteArray &out, qint64 value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end - digits);
}

} // namespace LogWriting
