#pragma once

#include "base/result.h"
#include "io/fileidentity.h"
#include "io/savefile.h"
#include "narc/entrysource.h"
#include "narc/narcreader.h"
#include "narc/narcstream.h"
#include "report/observer.h"
#include "rom/romname.h"

#include <QFile>
#include <QString>

#include <memory>

namespace core {

// Where an archive's bytes live: a file of its own ("msg.narc"), or a file inside
// a DS ROM image ("GAME.nds:data/msg.narc", "GAME.nds:#123"). Every name a user
// gives for an archive, to read it or to write it, is taken through here, by the
// window and narctext alike; the file on disk (the archive's own, or the image)
// is what is opened, locked, checked for changes and replaced.
class ArchiveSource
{
public:
    ArchiveSource() = default;

    // The source `name` names: a file inside an image when it parses as one (see
    // parseRomMemberName: a name that exists whole as a file is that file),
    // otherwise a file of its own.
    static Result<ArchiveSource> named(const QString &name);
    // A file inside the image at `imagePath`: by its path ("data/msg.narc"), or
    // by its id `fileId` when the path is empty.
    static ArchiveSource inImage(const QString &imagePath, int fileId, const QString &memberPath);

    // The name as given: "msg.narc", "GAME.nds:data/msg.narc".
    const QString &name() const { return given; }
    bool isInImage() const { return member.isMember(); }
    // The file inside the image, as named; not a member for a file of its own.
    const RomMemberName &memberName() const { return member; }
    // The file on disk that holds the bytes: the archive, or the image.
    const QString &filePath() const { return isInImage() ? member.imagePath : given; }
    // The file's name for a title: "msg.narc", or "GAME.nds: data/msg.narc" (the
    // path inside the image once read, "#123" when the image names it not).
    QString displayName() const;

    // Reads the archive from `file`, open on filePath() (see openNarcFile) and
    // perhaps locked: the whole file, or the one it names inside the image. A
    // file of its own that is a ROM image is refused with a reason that says how
    // to name an archive inside it.
    Result<Narc> read(QFile &file);
    // The same for an archive of its own, read one entry at a time: its tables
    // are read and checked now, with the refusals of read(), and its entries
    // as they are asked for (`file` must stay open meanwhile).
    Result<NarcStream> stream(QFile &file) const;

    // Writes `narc` here as the new content. A file of its own is replaced as
    // saveNarcFile does. A file inside an image is put back into it (see
    // replaceRomMember), the image read from `image`, which is open on
    // filePath() and locked by the caller from the read to the rename; after a
    // write into a DSi image the warning about its digests goes to `report`.
    // Either way the old file stays whole until the new one is complete, and
    // `options` say what the new one keeps and what is checked last.
    Status write(Narc &narc, QFile *image, const ReplaceOptions &options, BulkObserver &report) const;
    // What write checks before it writes anything: that `narc` can be laid out
    // and, inside an image, placed there.
    Status checkFits(Narc &narc, QFile *image) const;

private:
    // `narc` laid out, as the bytes to put into the image open in `image`.
    static Result<QByteArray> laidOut(Narc &narc, QFile *image);

    QString given;
    RomMemberName member;
    QString memberPath; // the path inside the image, as read; empty when unnamed
};

// Whether the file open in `file` begins as an archive does: the tags NARC at 0
// and BTAF at 0x10. A ROM image may begin "NARC" too (its title), never so.
bool beginsAsArchive(QFile &file);

// Whether the file at `path` is a ROM image rather than an archive: it does not
// begin as an archive, and its name ends in ".nds" or it
// reads as an image that holds files.
bool isRomImageFile(const QString &path);

// The archive `name` names, read one entry at a time (see NarcStream) for work
// that looks at each entry once: opened and its tables read and checked as
// ArchiveSource::read reads them, with the same refusals; its entries are read as
// they are asked for, from its own file or in place from the image, so memory
// stays one reused buffer whatever the archive's size. A read that fails later
// says so in failure() ("cannot read the file (REASON)").
class ArchiveEntries : public EntrySource
{
public:
    static Result<std::unique_ptr<ArchiveEntries>> open(const QString &name);

    // The file on disk (the archive, or the image holding it) as opened, before
    // anything was read: what no output may be.
    const FileIdentity &identity() const { return m_identity; }
    const Narc &layout() const { return m_stream.layout(); }

    int count() const override { return m_stream.count(); }
    void rewind() override { m_stream.rewind(); }
    bool next(EntryView *entry) override { return m_stream.next(entry); }
    QString failure() const override;

private:
    QFile m_file;
    NarcStream m_stream;
    FileIdentity m_identity;
};

// The archive `name` names, read whole, as ArchiveSource::read reads it.
Result<Narc> loadArchive(const QString &name);

// The same, one entry at a time (see readNarcEntries).
Status loadArchiveEntries(const QString &name, const EntryVisitor &visit);

} // namespace core
