#include "po/gettextpo.h"

#include "io/regularfile.h"
#include "po/pocomments.h"
#include "report/lines.h"

#include <QFile>

#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace core {

namespace po {

namespace {

// What the library reported during one call.
struct Reports
{
    QByteArray readName; // the name the library was given
    QString shownName;   // how reports name it
    QStringList messages;
    int errors = 0;  // reports above warning
    int dropped = 0; // reports beyond maxMessages, counted only
    bool outOfMemory = false;
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
    QString where = currentReports && currentReports->readName == filename ? currentReports->shownName
                                                                           : QFile::decodeName(filename);
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
// jump buffer set up right around it (see guardedRead).
[[noreturn]] void leaveCall()
{
    std::longjmp(currentReports->fatal, 1);
}

void onError(int severity, po_message_t, const char *filename, size_t lineno, size_t column, int, const char *text)
{
    collect(severity, reportText(filename, lineno, column, text));
    if (severity == PO_SEVERITY_FATAL_ERROR && currentReports)
        leaveCall();
}

void onError2(int severity, po_message_t, const char *filename1, size_t lineno1, size_t column1, int, const char *text1,
              po_message_t, const char *filename2, size_t lineno2, size_t column2, int, const char *text2)
{
    collect(severity, reportText(filename1, lineno1, column1, text1) + QStringLiteral("..."));
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
    explicit ReportScope(Reports &reports)
        : previous(currentReports)
    {
        currentReports = &reports;
    }
    ~ReportScope() { currentReports = previous; }
    ReportScope(const ReportScope &) = delete;
    ReportScope &operator=(const ReportScope &) = delete;

private:
    Reports *previous;
};

// The library call itself, in a frame that holds no object with a destructor, so
// that leaving it by longjmp skips nothing. After a fatal report whatever the
// library allocated for the call is lost; it reports fatal errors only for things
// like a file it cannot open or memory it cannot get.
po_file_t guardedRead(const char *filename, Reports &reports)
{
    if (setjmp(reports.fatal) != 0)
        return nullptr;
    return po_file_read(filename, &handler);
}

// All of `in`, refused when it holds more than maxPoFileSize bytes.
Result<QByteArray> readBounded(QFile &in)
{
    QByteArray bytes;
    constexpr qint64 chunk = 1 << 20;
    for (;;) {
        if (bytes.size() > maxPoFileSize)
            return Result<QByteArray>::failure(QStringLiteral("it is larger than %1 MiB").arg(maxPoFileSize >> 20));
        const qsizetype used = bytes.size();
        bytes.resize(used + chunk);
        const qint64 got = in.read(bytes.data() + used, chunk);
        if (got < 0)
            return Result<QByteArray>::failure(in.errorString());
        bytes.resize(used + got);
        if (got == 0)
            return Result<QByteArray>::success(std::move(bytes));
    }
}

// The bytes of the file at `path`, or of standard input for "-".
Result<QByteArray> readInput(const QString &path)
{
    QFile in;
    if (path == QLatin1String("-")) {
        if (!in.open(stdin, QIODevice::ReadOnly))
            return Result<QByteArray>::failure(in.errorString());
    } else {
        const Status opened = openRegularFile(in, path, Links::Follow);
        if (!opened)
            return Result<QByteArray>::failure(opened.reason);
        if (in.size() > maxPoFileSize)
            return Result<QByteArray>::failure(QStringLiteral("it is larger than %1 MiB").arg(maxPoFileSize >> 20));
    }
    return readBounded(in);
}

// A file in memory that the library can open by name, for input that is not a
// file of its own (standard input, a file changed before reading).
class MemoryFile
{
public:
    MemoryFile() = default;
    ~MemoryFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
    MemoryFile(const MemoryFile &) = delete;
    MemoryFile &operator=(const MemoryFile &) = delete;

    Status create(QByteArrayView bytes)
    {
        fd = memfd_create("po", MFD_CLOEXEC);
        if (fd < 0)
            return Status::failure(systemError(errno));
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t written = ::write(fd, bytes.data() + done, size_t(bytes.size() - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return Status::failure(systemError(written < 0 ? errno : ENOSPC));
            done += written;
        }
        return Status::success();
    }
    QByteArray name() const { return "/proc/self/fd/" + QByteArray::number(fd); }
    // What was written, read back.
    Result<QByteArray> contents() const
    {
        QFile in;
        if (::lseek(fd, 0, SEEK_SET) < 0)
            return Result<QByteArray>::failure(systemError(errno));
        if (!in.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            return Result<QByteArray>::failure(in.errorString());
        return readBounded(in);
    }

private:
    int fd = -1;
};

// Reads through the library; `shownName` names the file in its reports.
PoRead libraryRead(const QByteArray &name, const QString &shownName)
{
    PoRead read;
    Reports reports;
    reports.readName = name;
    reports.shownName = shownName;
    errno = 0;
    {
        ReportScope scope(reports);
        read.file.reset(guardedRead(name.constData(), reports));
    }
    const int readErrno = errno;
    read.messages = reports.messages;
    if (reports.dropped > 0)
        read.messages.append(moreReportsLine(reports.dropped));
    read.outOfMemory = reports.outOfMemory || readErrno == ENOMEM;
    if (!read.file) {
        read.reason = read.outOfMemory                       ? notEnoughMemoryReason()
                      : reports.errors > 0 || readErrno == 0 ? QStringLiteral("gettext cannot read it")
                                                             : systemError(readErrno);
        return read;
    }
    if (reports.errors > 0) {
        read.file.reset();
        read.reason = QStringLiteral("it is not a valid PO file");
    }
    return read;
}

// Where the file's strings can hold U+0000: a raw NUL byte, or an octal or hex
// escape whose value is 0 ("\0", "\000", "\x00"). Every backslash is taken as
// one, as it is in any character set where the byte 0x5C is always a backslash;
// the comparison in readPoFile guards against the others. A comment line ("#"
// at the start of a line, but not "#~" or "#|", which hold strings) holds no
// string, so its escapes are passed over up to its end, a carriage return or a
// NUL byte: a file whose comments spell out escapes is then not read twice.
struct NulSpan
{
    qsizetype start;
    qsizetype end;
};

QList<NulSpan> nulSpans(QByteArrayView bytes)
{
    QList<NulSpan> spans;
    const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    const auto hexValue = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (c == '#' && (i == 0 || bytes[i - 1] == '\n')
            && !(i + 1 < size && (bytes[i + 1] == '~' || bytes[i + 1] == '|'))) {
            while (i + 1 < size && bytes[i + 1] != '\n' && bytes[i + 1] != '\r' && bytes[i + 1] != '\0')
                ++i;
            continue;
        }
        if (c == '\0') {
            spans.append({i, i + 1});
            continue;
        }
        if (c != '\\' || i + 1 >= size)
            continue;
        const char next = bytes[i + 1];
        qsizetype end = i + 2;
        unsigned value = 1;
        if (isOctal(next)) {
            value = 0;
            for (end = i + 1; end < size && end < i + 4 && isOctal(bytes[end]); ++end)
                value = (value * 8 + unsigned(bytes[end] - '0')) & 0xFF;
        } else if (next == 'x' && i + 2 < size && hexValue(bytes[i + 2]) >= 0) {
            value = 0;
            for (end = i + 2; end < size && hexValue(bytes[end]) >= 0; ++end)
                value = (value * 16 + unsigned(hexValue(bytes[end]))) & 0xFF;
        }
        if (value == 0)
            spans.append({i, end});
        i = end - 1;
    }
    return spans;
}

// `bytes` with every span replaced by "\001".
QByteArray withoutNul(QByteArrayView bytes, const QList<NulSpan> &spans)
{
    QByteArray out;
    out.reserve(bytes.size() + 4 * spans.size());
    qsizetype copied = 0;
    for (const NulSpan &span : spans) {
        out.append(bytes.data() + copied, span.start - copied);
        out += "\\001";
        copied = span.end;
    }
    out.append(bytes.data() + copied, bytes.size() - copied);
    return out;
}

// Whether `read` (as the library gave it) is `full` cut at a U+0000, which the
// other read holds as 0x01.
bool cutAtNul(const char *read, const char *full)
{
    if (!read || !full)
        return false;
    const size_t length = std::strlen(read);
    return std::strncmp(read, full, length) == 0 && full[length] == '\x01';
}

// Marks the messages of `read` one of whose strings `cleaned`, the same file with
// every U+0000 made 0x01, shows was cut.
void markCutMessages(PoRead &read, po_file_t cleaned)
{
    QList<po_message_t> others;
    forEachMessage(cleaned, [&](const char *, po_message_t message, qsizetype) { others.append(message); });
    forEachMessage(read.file.get(), [&](const char *, po_message_t message, qsizetype index) {
        read.heldNul.append(false);
        if (index >= others.size())
            return;
        const po_message_t other = others.at(index);
        read.heldNul.last() = cutAtNul(po_message_msgctxt(message), po_message_msgctxt(other))
                              || cutAtNul(po_message_msgid(message), po_message_msgid(other))
                              || cutAtNul(po_message_msgstr(message), po_message_msgstr(other));
    });
}

// Reads `bytes` through the library: from the file `name` when it holds them,
// else from a file in memory; `shown` names the file in reports.
PoRead readBytes(QByteArray bytes, QByteArray name, const QString &shown)
{
    const QList<NulSpan> spans = nulSpans(bytes);
    MemoryFile input;
    if (name.isEmpty()) {
        const Status made = input.create(bytes);
        if (!made) {
            PoRead refused;
            refused.reason = made.reason;
            return refused;
        }
        name = input.name();
    }
    QByteArray cleaned = spans.isEmpty() ? QByteArray() : withoutNul(bytes, spans);
    bytes = QByteArray(); // the library keeps its own copy

    PoRead read = libraryRead(name, shown);
    if (!read.ok() || spans.isEmpty())
        return read;
    MemoryFile cleanedFile;
    const Status made = cleanedFile.create(cleaned);
    cleaned = QByteArray();
    if (!made) {
        read.file.reset();
        read.reason = made.reason;
        return read;
    }
    const PoRead other = libraryRead(cleanedFile.name(), shown);
    if (other.ok())
        markCutMessages(read, other.file.get());
    return read;
}

// Whether every domain of `file` declares UTF-8, or no character set.
bool declaresUtf8(po_file_t file)
{
    for (const char *const *domain = po_file_domains(file); domain && *domain; ++domain) {
        const QByteArray charset = declaredCharset(domainHeader(file, *domain));
        if (!charset.isEmpty() && charset.compare("UTF-8", Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

} // namespace

} // namespace po

} // namespace core

// The library reports memory it cannot get (and a few other fatal conditions)
// through the C library's error(), which then ends the process: an editor would
// lose everything it holds. This definition takes the C library's place for the
// whole program. During a library call it leaves the call as a fatal report does
// (see guardedRead); anywhere else it does what the C library's does.
extern "C" void error(int status, int errnum, const char *format, ...)
{
    using namespace core::po;
    const int cause = errno;
    va_list arguments;
    va_start(arguments, format);
    if (Reports *reports = currentReports) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        va_end(arguments);
        if (status != 0)
            reports->outOfMemory = cause == ENOMEM || errnum == ENOMEM;
        try {
            QString message = QString::fromLocal8Bit(text);
            if (errnum)
                message += QStringLiteral(": ") + core::systemError(errnum);
            collect(status == 0 ? PO_SEVERITY_ERROR : PO_SEVERITY_FATAL_ERROR, message);
        } catch (const std::bad_alloc &) {
            reports->outOfMemory = true;
            ++reports->errors;
        }
        if (status == 0)
            return;
        leaveCall();
    }
    std::fflush(stdout);
    std::fprintf(stderr, "%s: ", program_invocation_name);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    if (errnum)
        std::fprintf(stderr, ": %s", std::strerror(errnum));
    std::fputc('\n', stderr);
    if (status)
        std::exit(status);
}

namespace core {

namespace po {

PoRead readPoFile(const QString &path)
{
    const QString shown = inputName(path);
    Result<QByteArray> bytes = readInput(path);
    if (!bytes) {
        PoRead refused;
        refused.reason = bytes.reason;
        return refused;
    }
    const bool piped = path == QLatin1String("-");

    // The comments nothing here reads are taken out first; a file read so that
    // gets any report, or is not UTF-8, is read again as it is.
    QByteArray lean = withoutUnusedComments(bytes.value);
    if (!lean.isNull()) {
        MemoryFile kept; // standard input, for that second read
        if (piped) {
            const Status made = kept.create(bytes.value);
            if (!made) {
                PoRead refused;
                refused.reason = made.reason;
                return refused;
            }
        }
        bytes.value = QByteArray();
        PoRead read = readBytes(std::move(lean), QByteArray(), shown);
        if (read.outOfMemory || (read.ok() && read.messages.isEmpty() && declaresUtf8(read.file.get())))
            return read;
        read = PoRead();
        bytes = piped ? kept.contents() : readInput(path);
        if (!bytes) {
            PoRead refused;
            refused.reason = bytes.reason;
            return refused;
        }
    }
    // The library reads the file itself by name, unless it is not one.
    return readBytes(std::move(bytes.value), piped ? QByteArray() : QFile::encodeName(path), shown);
}

const char *domainHeader(po_file_t file, const char *domain)
{
    const PoIterator iterator(po_message_iterator(file, domain));
    while (po_message_t message = po_next_message(iterator.get())) {
        const char *msgid = po_message_msgid(message);
        if (msgid && !*msgid && !po_message_msgctxt(message) && !po_message_is_obsolete(message))
            return po_message_msgstr(message);
    }
    return nullptr;
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

TextDecoder::TextDecoder(const QByteArray &charset)
    : name(charset.isEmpty() ? QByteArray("UTF-8") : charset)
    , decoder(name.constData(), QStringConverter::Flag::Stateless)
{
}

Result<QString> TextDecoder::decode(const char *bytes)
{
    if (!bytes)
        return Result<QString>::success(QString());
    decoder.resetState();
    QString text = decoder.decode(QByteArrayView(bytes, qsizetype(std::strlen(bytes))));
    if (decoder.hasError())
        return Result<QString>::failure(QStringLiteral("its text is not valid ") + QString::fromLatin1(name));
    return Result<QString>::success(std::move(text));
}

} // namespace po

} // namespace core
