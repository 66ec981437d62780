#include "po/gettextpo.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace core {

namespace po {

namespace {

// What the library reported during one call.
struct Reports
{
    QStringList messages;
    int errors = 0;  // reports above warning
    int dropped = 0; // reports beyond maxMessages, counted only
    std::jmp_buf fatal;
};

// Reports kept in full; a file full of errors would otherwise fill memory.
constexpr int maxMessages = 20;

// The library's handlers carry no context of their own, so the call in progress
// is found here. Set only for the duration of one library call on this thread.
thread_local Reports *currentReports = nullptr;

QString location(const char *filename, size_t lineno, size_t column)
{
    if (!filename || !*filename)
        return {};
    QString where = QFile::decodeName(filename);
    if (lineno != size_t(-1)) {
        where += QLatin1Char(':') + QString::number(lineno);
        if (column != size_t(-1))
            where += QLatin1Char(':') + QString::number(column);
    }
    return where + QStringLiteral(": ");
}

// One report in the form gettext's tools print it; a multi-line text on one line.
QString reportText(const char *filename, size_t lineno, size_t column, const char *text)
{
    QString message = QString::fromLocal8Bit(text ? text : "").trimmed();
    message.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return location(filename, lineno, column) + message;
}

void collect(int severity, const QString &message)
{
    Reports *reports = currentReports;
    if (!reports)
        return;
    if (severity != PO_SEVERITY_WARNING)
        ++reports->errors;
    if (reports->messages.size() < maxMessages)
        reports->messages.append(message);
    else
        ++reports->dropped;
}

// A fatal report must not return to the library: it leaves the call through the
// jump buffer set up right around it (see guardedRead and guardedWrite).
[[noreturn]] void leaveCall()
{
    std::longjmp(currentReports->fatal, 1);
}

void onError(int severity, po_message_t, const char *filename, size_t lineno, size_t column, int,
             const char *text)
{
    collect(severity, reportText(filename, lineno, column, text));
    if (severity == PO_SEVERITY_FATAL_ERROR && currentReports)
        leaveCall();
}

void onError2(int severity, po_message_t, const char *filename1, size_t lineno1, size_t column1, int,
              const char *text1, po_message_t, const char *filename2, size_t lineno2, size_t column2, int,
              const char *text2)
{
    QString message = reportText(filename1, lineno1, column1, text1) + QStringLiteral("...");
    collect(severity, message);
    // The second half, as its own line, only when it says where.
    if (filename2 && *filename2)
        collect(PO_SEVERITY_WARNING, reportText(filename2, lineno2, column2, text2));
    if (severity == PO_SEVERITY_FATAL_ERROR && currentReports)
        leaveCall();
}

const po_xerror_handler handler = {onError, onError2};

// Installs `reports` for one library call on this thread.
class ReportScope
{
public:
    explicit ReportScope(Reports &reports) : previous(currentReports) { currentReports = &reports; }
    ~ReportScope() { currentReports = previous; }
    ReportScope(const ReportScope &) = delete;
    ReportScope &operator=(const ReportScope &) = delete;

private:
    Reports *previous;
};

// The library calls themselves, in frames that hold no object with a destructor,
// so that leaving them by longjmp skips nothing. After a fatal report whatever the
// library allocated for the call is lost; it reports fatal errors only for things
// like an output file it cannot create.
po_file_t guardedRead(const char *filename, Reports &reports)
{
    if (setjmp(reports.fatal) != 0)
        return nullptr;
    return po_file_read(filename, &handler);
}

bool guardedWrite(po_file_t file, const char *filename, Reports &reports)
{
    if (setjmp(reports.fatal) != 0)
        return false;
    po_file_write(file, filename, &handler);
    return true;
}

QStringList allMessages(const Reports &reports)
{
    QStringList messages = reports.messages;
    if (reports.dropped > 0)
        messages.append(QStringLiteral("(%1 more reports not shown)").arg(reports.dropped));
    return messages;
}

} // namespace

PoRead readPoFile(const QString &path)
{
    PoRead read;
    // Checked first so that the reason is the file system's, and nothing the
    // library would read without end (a device, a pipe) reaches it.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        read.error = QStringLiteral("it is not a regular file");
        return read;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.error = file.errorString();
        return read;
    }
    file.close();
    if (info.size() > maxPoFileSize) {
        read.error = QStringLiteral("it is larger than %1 MiB").arg(maxPoFileSize >> 20);
        return read;
    }

    Reports reports;
    const QByteArray name = QFile::encodeName(path);
    errno = 0;
    {
        ReportScope scope(reports);
        read.file.reset(guardedRead(name.constData(), reports));
    }
    const int readErrno = errno;
    read.messages = allMessages(reports);
    if (!read.file) {
        read.error = reports.errors > 0 || readErrno == 0 ? QStringLiteral("gettext cannot read it")
                                                          : QString::fromLocal8Bit(std::strerror(readErrno));
        return read;
    }
    if (reports.errors > 0) {
        read.file.reset();
        read.error = QStringLiteral("it is not a valid PO file");
    }
    return read;
}

QString writePoFile(po_file *file, const QString &path)
{
    Reports reports;
    const QByteArray name = QFile::encodeName(path);
    bool completed = false;
    {
        ReportScope scope(reports);
        completed = guardedWrite(file, name.constData(), reports);
    }
    if (completed && reports.errors == 0)
        return {};
    const QStringList messages = allMessages(reports);
    return messages.isEmpty() ? QStringLiteral("gettext cannot write it") : messages.join(QStringLiteral("; "));
}

QByteArray declaredCharset(const char *header)
{
    if (!header)
        return {};
    char *field = po_header_field(header, "Content-Type");
    if (!field)
        return {};
    const QByteArray contentType(field);
    std::free(field);

    const QByteArray lower = contentType.toLower();
    const qsizetype at = lower.indexOf("charset=");
    if (at < 0)
        return {};
    qsizetype start = at + 8;
    qsizetype end = start;
    while (end < contentType.size() && contentType.at(end) != ';' && !QChar::isSpace(uchar(contentType.at(end))))
        ++end;
    QByteArray charset = contentType.mid(start, end - start);
    if (charset.size() >= 2 && charset.startsWith('"') && charset.endsWith('"'))
        charset = charset.mid(1, charset.size() - 2);
    if (charset == "CHARSET")
        return {};
    return charset;
}

TextDecoder::TextDecoder(const QByteArray &charset) : name(charset.isEmpty() ? QByteArray("UTF-8") : charset)
{
    const QByteArray lower = name.toLower();
    utf8 = lower == "utf-8" || lower == "utf8";
    if (!utf8)
        converter = iconv_open("UTF-8", name.constData());
}

TextDecoder::~TextDecoder()
{
    if (converter != iconv_t(-1))
        iconv_close(converter);
}

std::optional<QString> TextDecoder::decode(const char *bytes)
{
    if (!bytes)
        return QString();
    const size_t length = std::strlen(bytes);
    if (utf8 || converter == iconv_t(-1)) {
        if (!utf8)
            return std::nullopt;
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString text = decoder.decode(QByteArrayView(bytes, qsizetype(length)));
        if (decoder.hasError())
            return std::nullopt;
        return text;
    }

    iconv(converter, nullptr, nullptr, nullptr, nullptr); // a fresh shift state
    // Four bytes of UTF-8 per input byte is room for any character set; more is
    // added when a conversion still runs out.
    buffer.resize(qsizetype(length) * 4 + 16);
    char *in = const_cast<char *>(bytes);
    size_t inLeft = length;
    char *out = buffer.data();
    size_t outLeft = size_t(buffer.size());
    const auto grow = [&] {
        const qsizetype used = out - buffer.data();
        buffer.resize(buffer.size() * 2);
        out = buffer.data() + used;
        outLeft = size_t(buffer.size() - used);
    };
    while (inLeft > 0) {
        if (iconv(converter, &in, &inLeft, &out, &outLeft) != size_t(-1))
            continue;
        if (errno != E2BIG)
            return std::nullopt; // EILSEQ or EINVAL: bytes that are not valid text
        grow();
    }
    // Ends a shift sequence the input left open.
    while (iconv(converter, nullptr, nullptr, &out, &outLeft) == size_t(-1)) {
        if (errno != E2BIG)
            return std::nullopt;
        grow();
    }
    const qsizetype used = out - buffer.data();
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(buffer.constData(), used));
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace po

} // namespace core
