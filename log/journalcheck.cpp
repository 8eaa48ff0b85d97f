#include "log/journalcheck.h"

#include "log/logtable.h"
#include "log/logtextwriter.h"

#include <array>
#include <cstring>
#include <limits>
#include <optional>

namespace {

// No, Time, DC/AC, Value, Unit and AUTO.
constexpr int ReadingCells = 6;

const QByteArray &journalHeader()
{
    static const QByteArray header = [] {
        QByteArray h;
        LogTextWriter::appendHeader(h);
        return h;
    }();
    return header;
}

// A byte of a cell written without quotes: no blank, no control character
// and no quote.
constexpr std::array<bool, 256> BareBytes = [] {
    std::array<bool, 256> bare{};
    for (int c = 33; c < 256; ++c)
        bare[std::size_t(c)] = c != '"';
    return bare;
}();

bool isBare(char c)
{
    return BareBytes[static_cast<unsigned char>(c)];
}

bool holdsNul(QByteArrayView bytes)
{
    return !bytes.isEmpty() && std::memchr(bytes.data(), 0, std::size_t(bytes.size())) != nullptr;
}

// A row number as the table reads it: a whole number within 32 bits, with
// an optional sign.
bool isRowNumber(QByteArrayView cell)
{
    qsizetype i = !cell.isEmpty() && (cell[0] == '-' || cell[0] == '+') ? 1 : 0;
    if (i == cell.size() || cell.size() - i > 10)
        return false;
    qint64 value = 0;
    for (; i < cell.size(); ++i) {
        if (cell[i] < '0' || cell[i] > '9')
            return false;
        value = value * 10 + (cell[i] - '0');
    }
    return value <= qint64(std::numeric_limits<qint32>::max()) + (cell[0] == '-' ? 1 : 0);
}

// The plain form of a time, "10:15:03" or "9.05.07 PM": as isTimeText() for
// ASCII text, without decoding it first. Empty when the text is not ASCII.
std::optional<bool> isAsciiTime(QByteArrayView cell)
{
    // Decided on the bytes before the first that is not ASCII, which
    // decide the same for the text; its length only once it is all ASCII.
    int numbers[3] = {};
    int count = 0;
    int digits = 0;
    for (const char c : cell) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80)
            return std::nullopt;
        if (u >= '0' && u <= '9') {
            if (digits == 0 && ++count > 3)
                return false;
            if (++digits > 2)
                return false;
            numbers[count - 1] = numbers[count - 1] * 10 + (u - '0');
            continue;
        }
        digits = 0;
        if (u < 32 || u == 127)
            return false;
    }
    return cell.size() <= LogTable::TextSize && count == 3 && numbers[0] <= 23 && numbers[1] <= 59 && numbers[2] <= 59;
}

} // namespace

bool JournalCheck::feed(QByteArrayView piece)
{
    const char *p = piece.data();
    const char *const end = p + piece.size();
    while (!m_stopped && p < end) {
        const char *newline = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p)));
        const char *lineEnd = newline ? newline + 1 : end;
        if (m_line.size() + (lineEnd - p) > MaxLineBytes) {
            // Stops within a row's length of the line's start, however long
            // the line goes on.
            const qsizetype room = MaxLineBytes - m_line.size();
            stop(holdsNul(m_line) || holdsNul(QByteArrayView(p, room)) ? QStringLiteral("a NUL byte")
                 : m_lineNumber == 0
                     ? QStringLiteral("not the header of a journal")
                     : QStringLiteral("longer than any reading (more than %1 bytes)").arg(MaxLineBytes));
            break;
        }
        if (!newline) {
            // The rest of the line comes with the next piece.
            m_line.append(p, end - p);
            break;
        }
        if (m_line.isEmpty()) {
            checkLine(QByteArrayView(p, lineEnd - p));
        } else {
            m_line.append(p, lineEnd - p);
            checkLine(m_line);
            m_line.resize(0);
        }
        p = lineEnd;
    }
    return !m_stopped;
}

void JournalCheck::finish()
{
    if (m_stopped || m_line.isEmpty())
        return;
    // What follows the last line end.
    QByteArrayView rest = m_line;
    if (holdsNul(rest))
        stop(QStringLiteral("a NUL byte"));
    else if (m_lineNumber == 0 && !journalHeader().startsWith(rest))
        stop(QStringLiteral("not the header of a journal"));
    else if (m_lineNumber > 0) {
        // The first half of CR LF may have been written.
        if (rest.endsWith('\r'))
            rest.chop(1);
        if (const QString problem = readingProblem(rest, true); !problem.isEmpty())
            stop(problem);
    }
}

void JournalCheck::stop(const QString &what)
{
    m_stopped = true;
    m_problem = QStringLiteral("line %1: %2").arg(m_lineNumber + 1).arg(what);
}

void JournalCheck::checkLine(QByteArrayView line)
{
    if (holdsNul(line)) {
        stop(QStringLiteral("a NUL byte"));
        return;
    }
    if (m_lineNumber == 0) {
        if (line != journalHeader()) {
            stop(QStringLiteral("not the header of a journal"));
            return;
        }
        m_isJournal = true;
    } else {
        // The reader also ends a line at a lone CR or LF: a line that ends
        // otherwise would be read as another number of rows than counted.
        if (!line.endsWith("\r\n")) {
            stop(QStringLiteral("a line end the journal does not write"));
            return;
        }
        if (const QString problem = readingProblem(line.chopped(2), false); !problem.isEmpty()) {
            stop(problem);
            return;
        }
        if (m_readings == 0)
            m_codec.appendDecoded(m_firstTime, m_timeBytes);
        std::optional<int> second = LogDating::plainSecondOfDay(m_timeBytes);
        if (!second) {
            m_text.resize(0);
            m_codec.appendDecoded(m_text, m_timeBytes);
            second = LogDating::secondOfDay(m_text);
        }
        m_dating.addTime(second);
        m_lastTimeBytes.swap(m_timeBytes);
        ++m_readings;
    }
    ++m_lineNumber;
    m_usableBytes += line.size();
}

QString JournalCheck::readingProblem(QByteArrayView line, bool cutShort)
{
    // The cells as the journal writes them: one tab between cells; a cell
    // bare, without blanks, control characters or quotes, or in double
    // quotes with inner quotes doubled. So the reader, which splits at any
    // run of blanks, finds the same six cells.
    const char *p = line.data();
    const char *const end = p + line.size();
    for (int cell = 1;; ++cell) {
        if (cell > ReadingCells)
            return QStringLiteral("more cells than a reading has");
        QByteArrayView content;
        const bool quoted = p < end && *p == '"';
        if (quoted) {
            m_unquoted.resize(0);
            ++p;
            bool closed = false;
            while (p < end) {
                const char *quote = static_cast<const char *>(std::memchr(p, '"', std::size_t(end - p)));
                if (!quote) {
                    m_unquoted.append(p, end - p);
                    p = end;
                    break;
                }
                m_unquoted.append(p, quote - p);
                if (quote + 1 < end && quote[1] == '"') {
                    m_unquoted.append('"');
                    p = quote + 2;
                    continue;
                }
                p = quote + 1;
                closed = true;
                break;
            }
            if (!closed)
                return cutShort ? QString() : QStringLiteral("a quote that is not closed");
            if (m_unquoted.contains('\r'))
                return QStringLiteral("a line end the journal does not write");
            content = m_unquoted;
        } else {
            const char *start = p;
            while (p < end && isBare(*p))
                ++p;
            content = QByteArrayView(start, p - start);
        }
        const bool lastCell = p == end;
        if (!lastCell && *p != '\t')
            return QStringLiteral("not a reading as the journal writes it");
        // A line cut short may have stopped anywhere in its last cell.
        if (lastCell && cutShort)
            return {};
        if (content.isEmpty() && !(quoted && cell == 1))
            return QStringLiteral("an empty cell");
        if (cell == 1 && !content.isEmpty() && !isRowNumber(content)) {
            m_text.resize(0);
            m_codec.appendDecoded(m_text, content.first(std::min<qsizetype>(content.size(), 40)));
            return QStringLiteral("\"%1\" is no reading number").arg(m_text);
        }
        if (cell == 2) {
            std::optional<bool> isTime = isAsciiTime(content);
            if (!isTime || !*isTime) {
                m_text.resize(0);
                m_codec.appendDecoded(m_text, content.first(std::min<qsizetype>(content.size(), 80)));
                if (!isTime)
                    isTime = isTimeText(m_text);
                if (!*isTime)
                    return QStringLiteral("\"%1\" is not a time").arg(m_text);
            }
            // Copied into the same buffer line after line (the cell is not
            // empty here).
            m_timeBytes.resize(content.size());
            std::memcpy(m_timeBytes.data(), content.data(), std::size_t(content.size()));
        }
        if (lastCell)
            return cell == ReadingCells ? QString()
                                        : QStringLiteral("%1 cells where a reading has %2").arg(cell).arg(ReadingCells);
        ++p; // the tab
    }
}

QString JournalCheck::lastTime()
{
    QString text;
    m_codec.appendDecoded(text, m_lastTimeBytes);
    return text;
}

bool JournalCheck::isTimeText(QStringView text)
{
    if (text.isEmpty() || text.size() > LogTable::TextSize)
        return false;
    int numbers[3] = {};
    int count = 0;
    int digits = 0;
    for (const QChar c : text) {
        if (c.isDigit()) {
            if (digits == 0 && ++count > 3)
                return false;
            if (++digits > 2)
                return false;
            numbers[count - 1] = numbers[count - 1] * 10 + c.digitValue();
            continue;
        }
        digits = 0;
        // A byte that was no text, or a control character, is no part of
        // any locale's time.
        if (c == QChar::ReplacementCharacter || c.category() == QChar::Other_Control)
            return false;
    }
    return count == 3 && numbers[0] <= 23 && numbers[1] <= 59 && numbers[2] <= 59;
}
