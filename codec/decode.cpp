#include "codec/decode.h"

#include "codec/escape.h"
#include "codec/linetable.h"
#include "codec/messageheader.h"
#include "codec/utf8text.h"

#include <QtEndian>

#include <optional>

namespace core {

// Unscrambles the text units of line `i` into `plain` and returns how many there
// are: the terminator is dropped, and so is the padding unit. The last line of a
// block whose units add up to an even count may carry it; a second 0xFFFF there
// is taken as padding, which an encode puts back exactly as stored. Any other
// 0xFFFF is text and shows escaped, so nothing is lost on a save.
int plainLineUnits(const SectionLineTable &table, int i, quint16 *plain)
{
    const LineRecord &line = table.lines.at(i);
    const char *stored = table.block + line.offset;
    int length = line.length - 1;
    LineKey key = line.key;
    for (int j = 0; j < length; ++j) {
        plain[j] = quint16(qFromLittleEndian<quint16>(stored + 2 * j) ^ key);
        key = rotateKeyLeft(key);
    }
    const bool last = i == table.lines.size() - 1;
    if (last && table.totalUnits % 2 == 0 && length > 0 && plain[length - 1] == 0xFFFF)
        --length;
    return length;
}

namespace {

// The lines joined with "\n" in one string. It is allocated once, with room for
// every unit shown escaped: only the pages written to are ever touched, so the
// room costs address space, not memory, and the string never has to be copied
// to grow. Sections too large for that grow as escapes need.
QString joinedText(const SectionLineTable &table)
{
    constexpr qint64 maxSlack = qint64(64) << 20; // characters
    const qsizetype lineCount = table.lines.size();
    if (lineCount == 0)
        return QString();
    QVector<quint16> plain(table.longest); // reused for every line
    const qint64 worstCase = 6 * table.totalUnits + lineCount;
    QString text(qsizetype(qMin(worstCase, table.totalUnits + lineCount + maxSlack)), Qt::Uninitialized);
    qsizetype written = 0;
    qsizetype unitsLeft = table.totalUnits;
    for (qsizetype i = 0; i < lineCount; ++i) {
        const int length = plainLineUnits(table, int(i), plain.data());
        unitsLeft -= table.lines.at(i).length;
        const qsizetype room = 1 + 6 * qsizetype(length);
        if (written + room > text.size())
            text.resize(qMax(text.size() + text.size() / 2, written + room + unitsLeft));
        QChar *out = text.data() + written;
        if (i > 0) {
            *out++ = QLatin1Char('\n');
            ++written;
        }
        written += writeEscapedText(plain.constData(), length, out);
    }
    text.resize(written);
    return text;
}

} // namespace

namespace {

// The head of `entry` when it has `section`, with the rules both decodes
// follow: a negative section, an empty entry, or a section the fixed fields say
// the file does not have, gives false and no reason; a head that cannot be read
// gives the reason.
bool sectionHead(EntryView entry, int section, MessageHeader *head, QString *reason)
{
    if (section < 0)
        return false;
    MessageHeaderRead read = readMessageHeader(entry);
    // With the fixed fields read, a section the file does not have is no error,
    // whatever state the rest of the head is in.
    // An empty entry holds no sections.
    if (entry.isEmpty() || (entry.size() >= 12 && section >= read.header.sectionCount))
        return false;
    if (!read.ok()) {
        *reason = read.reason;
        return false;
    }
    *head = std::move(read.header);
    return true;
}

// The line table of `section` of `entry`, by the rules of sectionHead; a table
// that cannot be read gives the reason.
bool sectionTable(EntryView entry, int section, SectionLineTable *table, QString *reason)
{
    MessageHeader head;
    if (!sectionHead(entry, section, &head, reason))
        return false;
    *table = readSectionLineTable(entry, head, section);
    if (!table->ok()) {
        *reason = table->reason;
        return false;
    }
    return true;
}

// The line records of `section` of `entry`, by the rules of sectionHead, for a
// pass that checks each line as it reads it; none, with the reason when there is
// one, when the head or the line table cannot be read.
std::optional<LineRecords> sectionRecords(EntryView entry, int section, QString *reason)
{
    MessageHeader head;
    if (!sectionHead(entry, section, &head, reason))
        return std::nullopt;
    LineRecords records(entry, head, section);
    if (!records.ok()) {
        *reason = records.reason();
        return std::nullopt;
    }
    return records;
}

// Appends the line at `stored`, `line.length` units scrambled from `line.key`,
// escaped, as UTF-8 at `out`, which has room for 6 bytes per unit and 4 more;
// returns the end. With `padded` (the last line of a block whose units add up
// to an even count), a second 0xFFFF before the terminator is padding and left
// out, as plainLineUnits leaves it. The units are unscrambled and looked up in
// one go.
char *appendLineUtf8(const char *stored, const LineRecord &line, bool padded, char *out)
{
    int length = line.length - 1;
    LineKey key = line.key;
    if (padded && length > 0) {
        const int shift = (3 * (length - 1)) % 16;
        const LineKey lastKey = shift == 0 ? key : LineKey((key << shift) | (key >> (16 - shift)));
        if (quint16(qFromLittleEndian<quint16>(stored + 2 * (length - 1)) ^ lastKey) == 0xFFFF)
            --length;
    }
    const quint32 *utf8 = unitUtf8Table();
    for (int j = 0; j < length; ++j) {
        const quint16 unit = quint16(qFromLittleEndian<quint16>(stored + 2 * j) ^ key);
        key = rotateKeyLeft(key);
        const quint32 value = utf8[unit];
        if (Q_LIKELY(value != 0)) {
            out += putUtf8Unit(out, value);
            continue;
        }
        // An escape, or a surrogate: a pair shows as its character, a lone half escaped.
        if (unit >= 0xD800 && unit <= 0xDBFF && j + 1 < length) {
            const quint16 low = quint16(qFromLittleEndian<quint16>(stored + 2 * (j + 1)) ^ key);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                out += putUtf8Pair(out, unit, low);
                key = rotateKeyLeft(key);
                ++j;
                continue;
            }
        }
        out += putUtf8Escape(out, unit);
    }
    return out;
}

// Whether the line at `stored`, `line.length` units scrambled from `line.key`,
// holds the plain units `units` one after another before its terminator. The
// keys repeat every 16 units (each is the one before rotated by 3 bits): the
// first unit's 16 scrambled forms are compared 16 units at a time, and the rest
// where it is found.
bool lineStoresUnits(const char *stored, const LineRecord &line, const char16_t *units, int count)
{
    LineKey keys[16];
    LineKey key = line.key;
    for (LineKey &each : keys) {
        each = key;
        key = rotateKeyLeft(key);
    }
    quint16 first[16];
    for (int k = 0; k < 16; ++k)
        first[k] = quint16(units[0] ^ keys[k]);
    const auto unitAt = [stored](int j) { return qFromLittleEndian<quint16>(stored + 2 * j); };
    const auto restAt = [&](int j) {
        for (int k = 1; k < count; ++k) {
            if (unitAt(j + k) != quint16(units[k] ^ keys[(j + k) & 15]))
                return false;
        }
        return true;
    };
    const int starts = int(line.length) - count; // without the terminator
    for (int j = 0; j < starts; j += 16) {
        const int n = qMin(16, starts - j);
        if (n == 16) {
            unsigned seen = 0; // no early exit: the compiler compares all 16 at once
            for (int k = 0; k < 16; ++k)
                seen |= unsigned(unitAt(j + k) == first[k]);
            if (seen == 0)
                continue;
        }
        for (int k = 0; k < n; ++k) {
            if (unitAt(j + k) == first[k] && restAt(j + k))
                return true;
        }
    }
    return false;
}

} // namespace

SectionRead sectionStoresUnits(EntryView entry, int section, const char16_t *units, int count, bool *stores)
{
    SectionRead read;
    *stores = false;
    // The same checks as appendSectionUtf8, line by line, up to the units.
    std::optional<LineRecords> opened = sectionRecords(entry, section, &read.reason);
    if (!opened)
        return read;
    LineRecords &records = *opened;
    LineRecord line;
    for (int i = 0; i < records.count(); ++i) {
        if (!records.read(i, &line)) {
            read.reason = records.reason();
            return read;
        }
        if (lineStoresUnits(records.block() + line.offset, line, units, count)) {
            *stores = true;
            break;
        }
    }
    read.present = true;
    return read;
}

DecodedSection decodeMessageSection(EntryView entry, int section, DecodeForm form)
{
    DecodedSection decoded;
    SectionLineTable table;
    if (!sectionTable(entry, section, &table, &decoded.reason))
        return decoded;

    decoded.present = true;
    const int lineCount = int(table.lines.size());
    decoded.lineKeys.resize(lineCount);
    decoded.lineAttributes.resize(lineCount);
    for (int i = 0; i < lineCount; ++i) {
        decoded.lineKeys[i] = table.lines.at(i).key;
        decoded.lineAttributes[i] = table.lines.at(i).attribute;
    }

    switch (form) {
    case DecodeForm::Lines: {
        decoded.lines.reserve(lineCount);
        QVector<quint16> plain(table.longest); // reused for every line
        for (int i = 0; i < lineCount; ++i)
            decoded.lines.append(escapeLineText(plain.constData(), plainLineUnits(table, i, plain.data())));
        break;
    }
    case DecodeForm::Text:
        decoded.text = joinedText(table);
        break;
    case DecodeForm::KeysOnly:
        break;
    }
    return decoded;
}

SectionRead appendSectionUtf8(QByteArray &out, EntryView entry, int section)
{
    SectionRead read;
    // One pass: each line is checked as the table check would, then written; a
    // line that does not fit its block takes back what was written.
    std::optional<LineRecords> opened = sectionRecords(entry, section, &read.reason);
    if (!opened)
        return read;
    LineRecords &records = *opened;
    read.present = true;
    const qsizetype start = out.size();
    qint64 totalUnits = 0;
    LineRecord line;
    for (int i = 0; i < records.count(); ++i) {
        if (!records.read(i, &line)) {
            out.truncate(start);
            read.reason = records.reason();
            read.present = false;
            return read;
        }
        totalUnits += line.length;
        // Room for the worst case, every unit escaped, and the 4-byte stores.
        const qsizetype used = out.size();
        out.resize(used + 6 * qsizetype(line.length) + 5);
        char *at = out.data() + used;
        if (i > 0)
            *at++ = '\n';
        const bool padded = i == records.count() - 1 && totalUnits % 2 == 0;
        at = appendLineUtf8(records.block() + line.offset, line, padded, at);
        out.truncate(at - out.constData());
    }
    return read;
}

} // namespace core
