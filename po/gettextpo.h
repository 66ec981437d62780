#pragma once

// The bridge to gettext's own PO library (libgettextpo) for reading: files are
// parsed by it, never here, so PO escaping, multi-line strings, plural forms and
// obsolete entries follow the rules gettext's tools enforce. Its error reports
// are collected as text instead of being printed, and its strings, which it hands
// over in the character set the file declares, are converted to Unicode here.

#include "base/result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <gettext-po.h>
#include <memory>

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

// PO files larger than this are refused unread: the library keeps the whole file
// in memory, several times over.
constexpr qint64 maxPoFileSize = qint64(256) << 20;

struct PoRead
{
    PoFile file;          // null when the file was refused
    QString reason;       // why it was refused; empty on success
    QStringList messages; // gettext's own reports, as its tools print them ("x.po:3: ..."), warnings too
    // The messages, in the order forEachMessage gives them, one of whose strings
    // held the character U+0000 (a raw byte, \000 or \x00): gettext cuts a string
    // there, so what it gives for them is not what the file says.
    QList<bool> heldNul;
    bool outOfMemory = false; // the library could not get the memory it needed
    bool ok() const { return file != nullptr; }
};

// Reads the PO file at `path`; "-" is standard input. A file gettext finds any
// error in is refused, with its reports in `messages`; so is anything that is not
// a regular file (a device, a FIFO: never read endlessly) and a file or input
// larger than maxPoFileSize. The messages' comments are not for reading: those
// that stand between messages may be left out first (po/pocomments.h).
PoRead readPoFile(const QString &path);

// Calls `visit(domain, message, index)` for every message of every domain of `file`, in
// file order, the header and obsolete messages included.
template <typename Visit>
void forEachMessage(po_file_t file, Visit &&visit)
{
    qsizetype index = 0;
    for (const char *const *domain = po_file_domains(file); domain && *domain; ++domain) {
        const PoIterator iterator(po_message_iterator(file, *domain));
        while (po_message_t message = po_next_message(iterator.get()))
            visit(*domain, message, index++);
    }
}

// The header entry (its msgstr) of `domain` in `file`: the message with an empty
// msgid and no context that is not obsolete; null when there is none. Owned by
// `file`. (The library's po_file_domain_header hands over a copy that the caller
// would have to free, though its declaration says const.)
const char *domainHeader(po_file_t file, const char *domain);

// The character set the header `header` (a PO header entry's msgstr) declares in
// its Content-Type field; empty when it declares none or keeps the template's
// placeholder "CHARSET".
QByteArray declaredCharset(const char *header);

// Converts the strings of one PO domain to UTF-16, from the character set its
// header declares (UTF-8 when none).
class TextDecoder
{
public:
    explicit TextDecoder(const QByteArray &charset);

    // False when the character set is not known.
    bool isValid() const { return decoder.isValid(); }
    QByteArray charset() const { return name; }

    // The text of `bytes` (NUL-terminated), or why there is none: they are not
    // valid in the character set.
    Result<QString> decode(const char *bytes);

private:
    QByteArray name;
    QStringDecoder decoder;
};

} // namespace po

} // namespace core
