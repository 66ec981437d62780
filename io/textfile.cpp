#include "io/textfile.h"

#include <QFile>
#include <QIODevice>
#include <QStringDecoder>

#include <new>

namespace core {

namespace {

// Bytes per character of `encoding`, as far as the bound is concerned: escaped
// text is ASCII, and no character takes more UTF-8 bytes than units it stands
// for times the six characters of their escapes.
int bytesPerChar(QStringConverter::Encoding encoding)
{
    switch (encoding) {
    case QStringConverter::Utf16:
    case QStringConverter::Utf16LE:
    case QStringConverter::Utf16BE:
        return 2;
    case QStringConverter::Utf32:
    case QStringConverter::Utf32LE:
    case QStringConverter::Utf32BE:
        return 4;
    default:
        return 1;
    }
}

Result<QString> failed(const QString &reason)
{
    return Result<QString>::failure(reason);
}

QString tooLarge(qint64 limit, int lineCount)
{
    if (limit >= maxEditedTextBytes)
        return QStringLiteral("larger than the 64 MiB the text of a section may have");
    return QStringLiteral("larger than the text of a section of %1 lines can be (%2 bytes)").arg(lineCount).arg(limit);
}

// Reads up to `limit` + 1 bytes more into `bytes`; false on a read error.
bool readUpTo(QIODevice &device, QByteArray &bytes, qint64 limit)
{
    constexpr qint64 step = 1 << 20;
    while (bytes.size() <= limit) {
        const qint64 want = qMin(step, limit + 1 - bytes.size());
        const qsizetype start = bytes.size();
        bytes.resize(start + want);
        const qint64 got = device.read(bytes.data() + start, want);
        if (got < 0) {
            bytes.resize(start);
            return false;
        }
        bytes.resize(start + got);
        if (got == 0 && !device.waitForReadyRead(-1))
            return true;
    }
    return true;
}

} // namespace

qint64 maxSectionTextChars(int lineCount)
{
    const qint64 lines = qBound(0, lineCount, anyLineCount) + 1;
    return lines * (0xFFFF * 6 + 2);
}

namespace {

Result<QString> readBounded(QIODevice &device, int lineCount)
{
    // The first bytes say the encoding, and with it the bound.
    QByteArray bytes;
    if (!readUpTo(device, bytes, 3))
        return failed(device.errorString());
    const QStringConverter::Encoding encoding = QStringConverter::encodingForData(bytes).value_or(
        QStringConverter::Utf8);
    const qint64 limit = qMin(maxSectionTextChars(lineCount) * bytesPerChar(encoding) + 4, maxEditedTextBytes);
    if (!device.isSequential() && device.size() - device.pos() + bytes.size() > limit)
        return failed(tooLarge(limit, lineCount));
    if (!readUpTo(device, bytes, limit))
        return failed(device.errorString());
    if (bytes.size() > limit)
        return failed(tooLarge(limit, lineCount));

    // Stateless: a sequence cut off at the end of the file counts as invalid.
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    bool valid = !decoder.hasError();
    if (valid && encoding != QStringConverter::Utf8) {
        // The UTF-16 and UTF-32 decoders let an odd trailing byte and unpaired
        // surrogates through without flagging them.
        valid = bytes.size() % bytesPerChar(encoding) == 0 && text.isValidUtf16();
    }
    if (!valid)
        return failed(QStringLiteral("not valid ") + QLatin1String(QStringConverter::nameForEncoding(encoding)));
    if (text.contains(QChar(0))) {
        return failed(
            QStringLiteral("it holds the character U+0000, which no export writes; UTF-16 text needs a "
                           "byte-order mark"));
    }
    return Result<QString>::success(std::move(text));
}

} // namespace

Result<QString> readEditedText(QIODevice &device, int lineCount)
{
    try {
        return readBounded(device, lineCount);
    } catch (const std::bad_alloc &) {
        return failed(QStringLiteral("not enough memory"));
    }
}

Result<QString> readEditedTextFile(const QString &path, Links links, int lineCount)
{
    QFile file;
    const Status opened = openRegularFile(file, path, links);
    if (!opened)
        return failed(opened.reason);
    return readEditedText(file, lineCount);
}

std::optional<QByteArrayView> readEditedUtf8File(const QString &path, Links links, int lineCount, QByteArray &buffer)
{
    const qint64 limit = qMin(maxSectionTextChars(lineCount) * bytesPerChar(QStringConverter::Utf8) + 4,
                              maxEditedTextBytes);
    try {
        if (!readSmallRegularFile(path, links, limit, buffer))
            return std::nullopt;
    } catch (const std::bad_alloc &) {
        return std::nullopt;
    }
    const QByteArrayView bytes(buffer);
    const auto encoding = QStringConverter::encodingForData(bytes.first(qMin<qsizetype>(4, bytes.size())));
    if (!encoding)
        return bytes;
    if (*encoding != QStringConverter::Utf8)
        return std::nullopt;
    return bytes.sliced(3); // the byte-order mark
}

} // namespace core
