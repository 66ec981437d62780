#pragma once

#include "base/result.h"
#include "narc/entrysource.h"
#include "narc/narc.h"

#include <memory>

class QIODevice;

namespace core {

// An archive read from a device one entry at a time, in order, for work that
// looks at each entry once (listing, exporting, searching, checking): what it
// holds is the archive's tables and one buffer of 256 KiB, reused for
// every entry (an entry larger than that gets a second buffer, also reused).
// Entries stored one after another, as every writer stores them, are read in
// large sequential chunks and handed out in place, with no copy.
class NarcStream : public EntrySource
{
public:
    NarcStream();
    ~NarcStream() override;
    NarcStream(NarcStream &&other) noexcept;
    NarcStream &operator=(NarcStream &&other) noexcept;

    // Reads the head and tables of the archive stored in `device` from its
    // current position on, with every check and refusal of readNarc
    // (narc/narcreader.h): nothing that the layout cannot describe gets this
    // far. The entries are read as next() asks for them, so the device must stay
    // open and must not be read by anyone else meanwhile. A sequential device (a
    // pipe) is read whole first, up to the bound an archive has. With `length`
    // given, the archive ends that many bytes on (an archive inside a larger
    // file); otherwise at the end of the device.
    static Result<NarcStream> open(QIODevice *device, qint64 length = -1);

    // The archive's head and tables as read; its `files` are empty.
    const Narc &layout() const;

    int count() const override;
    void rewind() override;
    bool next(EntryView *entry) override;
    QString failure() const override;

private:
    struct Reader;
    std::unique_ptr<Reader> d;
};

} // namespace core
