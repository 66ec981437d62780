#pragma once

// The bridge to gettext's own PO library (libgettextpo): files are read and
// written by it, never parsed or printed here, so PO escaping, multi-line strings,
// plural forms and obsolete entries follow the rules gettext's tools enforce.
// Its error reports are collected as text instead of being printed, and its
// strings, which it hands over in the character set the file declares, are
// converted to Unicode here. Used by the PO export and import only.

#include <gettext-po.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <iconv.h>
#include <memory>
#include <optional>

namespace core {

namespace po {

struct PoFileFree
{
    void operator()(po_file *file) const { po_file_free(file); }
};
using PoFile = std::unique_ptr<po_file, PoFileFree>;

struct PoIteratorFree
{
    void operator()(po_message_iterator_t iterator) const { po_message_iterator_free(iterator); }
};
using PoIterator = std::unique_ptr<struct po_message_iterator, PoIteratorFree>;

struct PoRead
{
    PoFile file;          // null when the file was refused
    QString error;        // why it was refused; empty on success
    QStringList messages; // gettext's own reports, as its tools print them ("x.po:3: ..."), warnings too
    bool ok() const { return file != nullptr; }
};

// Reads the PO file at `path`. A file gettext finds any error in is refused, with
// its reports in `messages`; so are files that are not regular files and files
// larger than maxPoFileSize.
PoRead readPoFile(const QString &path);

// Writes `file` to `path` (created or truncated). Returns the reason on failure,
// gettext's reports included; empty on success.
QString writePoFile(po_file *file, const QString &path);

// PO files this large are refused unread: the library keeps the whole file in memory.
constexpr qint64 maxPoFileSize = qint64(1) << 30;

// The character set the header `header` (a PO header entry's msgstr) declares in
// its Content-Type field; empty when it declares none or keeps the template's
// placeholder "CHARSET".
QByteArray declaredCharset(const char *header);

// Converts strings from one character set to UTF-16. UTF-8 (also when no
// character set is given) is decoded directly, anything else through iconv.
class TextDecoder
{
public:
    explicit TextDecoder(const QByteArray &charset);
    ~TextDecoder();
    TextDecoder(const TextDecoder &) = delete;
    TextDecoder &operator=(const TextDecoder &) = delete;

    // False when iconv does not know the character set.
    bool isValid() const { return utf8 || converter != iconv_t(-1); }
    QByteArray charset() const { return name; }

    // The text of `bytes` (NUL-terminated), or nothing when they are not valid in
    // the character set.
    std::optional<QString> decode(const char *bytes);

private:
    QByteArray name;
    bool utf8 = false;
    iconv_t converter = iconv_t(-1);
    QByteArray buffer; // reused for every conversion
};

} // namespace po

} // namespace core
