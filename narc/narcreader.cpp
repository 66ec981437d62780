#include "narc/narcreader.h"

#include "narc/narcstream.h"

#include <QBuffer>
#include <QIODevice>

#include <new>

namespace core {

Result<Narc> readNarc(QIODevice *device)
{
    Result<NarcStream> opened = NarcStream::open(device);
    if (!opened)
        return Result<Narc>::failure(opened.reason);
    NarcStream &stream = opened.value;
    Result<Narc> result;
    result.value = stream.layout();
    QList<NarcEntry> &files = result.value.files;
    // The entries are copied out of the stream's buffer one by one; entries may
    // not share bytes, so together they take no more than the file.
    try {
        files.reserve(stream.count());
        EntryView entry;
        while (stream.next(&entry))
            files.append(entry.toEntry());
    } catch (const std::bad_alloc &) {
        return Result<Narc>::failure(QStringLiteral("not enough memory"));
    }
    if (!stream.failure().isEmpty())
        return Result<Narc>::failure(stream.failure());
    return result;
}

Result<Narc> readNarc(const QByteArray &bytes)
{
    QByteArray shared = bytes;
    QBuffer buffer(&shared);
    buffer.open(QIODevice::ReadOnly);
    return readNarc(&buffer);
}

Status readNarcEntries(QIODevice *device, const EntryVisitor &visit)
{
    Result<NarcStream> opened = NarcStream::open(device);
    if (!opened)
        return opened.status();
    return opened.value.forEach([&](int index, EntryView entry) {
        visit(quint32(index), entry);
        return true;
    });
}

} // namespace core
