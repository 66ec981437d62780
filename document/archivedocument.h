#pragma once

#include "base/result.h"
#include "document/archivesource.h"
#include "io/fileidentity.h"
#include "narc/editedstream.h"
#include "narc/narc.h"
#include "report/observer.h"

#include <QString>

#include <functional>
#include <memory>

class QFile;

namespace core {

// How an archive is opened.
enum class Access {
    Read,  // to read it, or to edit it for a long while (the window): nothing is held
    Write, // to write it back soon (a command): locked from the read to the write
    // To edit entry by entry and write back soon (a command): locked as for
    // Write, but only the tables are read; entries() hands the entries out as
    // they are asked for, and save(report, options) writes them, so that the
    // archive is never held whole (inside a ROM image it is, as for Write).
    Edit,
};

// What a write of the archive does besides writing.
struct SaveOptions
{
    // Where to write; empty: back to the archive. An output that is the archive
    // by another name (a link) is a write in place too. An archive inside a ROM
    // image ("GAME.nds:data/msg.narc") is put back into that image; a plain
    // name gets a plain archive, except the image the archive is in ("it is the
    // archive being edited").
    QString output;
    // Write even when no entry changed. Otherwise nothing is written and the
    // report says "Nothing changed; PATH not written".
    bool writeUnchanged = false;
    // Replace the archive even when it changed on disk since it was read, because
    // the user said so. Otherwise such a write is refused.
    bool overwriteChanged = false;
    // Check everything a write checks and report what it reports, but write
    // nothing: the report ends "Dry run; PATH not written" instead.
    bool dryRun = false;
};

// The archive being edited, as it was opened from disk: its name and where its
// bytes live (a file of its own, or a file inside a ROM image: see
// ArchiveSource), the identity of the file on disk as read (device, inode, size, modification time, links, owner,
// group, mode) and its content as read or last written. Every rule that keeps
// the user's files safe around the archive lives here, for the window and
// narctext alike:
//
// - No output may be the archive (checkOutput): an export over it, by any name,
//   is refused with "it is the archive being edited".
// - A write back (save) happens only when something changed, never over a file
//   that changed on disk since it was read unless the user said so, under the
//   advisory lock every writer of an archive takes, and keeps the replaced
//   file's owner, group and mode. Other names the replaced file had are reported.
//
// For an archive inside a ROM image the file on disk is the image: the lock,
// the identity, the changed-on-disk check, the refusal of outputs and the
// replacement are all the image's.
//
// A document is moved, never copied (it may hold the lock).
class ArchiveDocument
{
public:
    ArchiveDocument();
    ~ArchiveDocument();
    ArchiveDocument(ArchiveDocument &&other) noexcept;
    ArchiveDocument &operator=(ArchiveDocument &&other) noexcept;

    // Reads the archive at `path`. With Access::Write the file is locked first
    // (waiting up to lockWaitMs for another writer, see lockForWriting), and the
    // lock is held until the document goes away, so that two commands writing
    // one archive run one after the other and the second reads the first one's
    // result. The reason of a failure is one for loadFailedLine.
    static Result<ArchiveDocument> open(const QString &path, Access access = Access::Read);
    // The same for a source already named.
    static Result<ArchiveDocument> open(ArchiveSource source, Access access = Access::Read);

    // False for a document made empty, before any archive was opened.
    bool isOpen() const { return opened; }
    // The name as it was given ("msg.narc", "GAME.nds:data/msg.narc").
    const QString &path() const { return from.name(); }
    // Where the archive's bytes live.
    const ArchiveSource &source() const { return from; }
    // The file on disk (the archive, or the image holding it) as read or last
    // written; unknown when none is open.
    const FileIdentity &identity() const { return file; }
    // The archive as read or last written; empty for Access::Edit.
    const Narc &narc() const { return stored; }
    // For Access::Edit: the archive's entries in order, each of which may be
    // replaced before save(report, options) writes them.
    EditableEntries &entries();

    // Refuses `output` when it is the archive by any name ("it is the archive
    // being edited") or its name is not valid UTF-8. Every output of an export
    // goes through this (the exports check it themselves too).
    Status checkOutput(const QString &output) const;

    // Fails with "it changed on disk since it was opened" when the file at
    // path() is no longer the one read or last written: another file under the
    // name, or another size or modification time. A file that is gone is fine:
    // writing it anew loses nothing.
    Status checkUnchanged() const;

    // Whether `edited` differs from the archive as read or last written.
    bool differs(const Narc &edited) const;

    // Writes `edited` as `options` say. A write that replaces the archive takes
    // the lock (unless held already) and checks checkUnchanged() before and once
    // more just before the new file takes the name. Lines about the write go to
    // `report`: "Nothing changed; ..." when nothing was written, and "... has N
    // other names; ..." when the replaced file had hard links. After a write to
    // the archive's own path the document describes the new file.
    Status save(const Narc &edited, BulkObserver &report, const SaveOptions &options = {});
    // The same for an Access::Edit document: writes the entries as replaced
    // through entries(), read again one at a time from the file, which stays
    // locked. Nothing changed when no entry was replaced.
    Status save(BulkObserver &report, const SaveOptions &options = {});

private:
    // What a save writes, however the archive is held.
    struct NewContent
    {
        bool differs = false;
        // What the write checks before it opens the target (for a dry run).
        std::function<Status(const ArchiveSource &target, QFile *image)> fits;
        std::function<Status(const ArchiveSource &target, QFile *image, const ReplaceOptions &replace,
                             BulkObserver &report)>
            write;
    };
    // The one way of every save; `ownWritten` is set when the archive's own
    // file was replaced.
    Status saveContent(const NewContent &content, BulkObserver &report, const SaveOptions &options, bool *ownWritten);

    bool opened = false;
    ArchiveSource from;
    FileIdentity file;
    Narc stored;
    std::unique_ptr<QFile> locked; // open on the file and locked, for Access::Write and Edit
    // For Access::Edit: the archive read from `locked` one entry at a time, or,
    // inside an image, a copy of `stored` edited in place.
    std::unique_ptr<EditedStream> streamed;
    std::unique_ptr<Narc> working;
    std::unique_ptr<HeldEdits> workingEdits;
};

} // namespace core
