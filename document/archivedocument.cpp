#include "document/archivedocument.h"

#include "io/filelock.h"
#include "narc/narcfile.h"
#include "report/lines.h"

#include <QFile>

namespace core {

ArchiveDocument::ArchiveDocument() = default;
ArchiveDocument::~ArchiveDocument() = default;
ArchiveDocument::ArchiveDocument(ArchiveDocument &&other) noexcept = default;
ArchiveDocument &ArchiveDocument::operator=(ArchiveDocument &&other) noexcept = default;

Result<ArchiveDocument> ArchiveDocument::open(const QString &path, Access access)
{
    Result<ArchiveSource> source = ArchiveSource::named(path);
    if (!source)
        return Result<ArchiveDocument>::failure(source.reason);
    return open(std::move(source.value), access);
}

Result<ArchiveDocument> ArchiveDocument::open(ArchiveSource source, Access access)
{
    using Opened = Result<ArchiveDocument>;
    const QString path = source.filePath();
    auto input = std::make_unique<QFile>();
    const Status readable = openNarcFile(*input, path);
    if (!readable)
        return Opened::failure(readable.reason);
    if (access == Access::Write) {
        const Status lock = lockForWriting(*input, path);
        if (!lock)
            return Opened::failure(lock.reason);
    }
    // Taken before the read: a change made while it reads is seen later.
    const Result<FileIdentity> identity = identifyOpenFile(input->handle());
    if (!identity)
        return Opened::failure(identity.reason);
    Result<Narc> read = source.read(*input);
    if (!read)
        return Opened::failure(read.reason);

    ArchiveDocument document;
    document.opened = true;
    document.from = std::move(source);
    document.file = identity.value;
    document.stored = std::move(read.value);
    if (access == Access::Write)
        document.locked = std::move(input);
    return Opened::success(std::move(document));
}

Status ArchiveDocument::checkOutput(const QString &output) const
{
    const Result<bool> overArchive = namesFile(output, file);
    if (!overArchive)
        return overArchive.status();
    return overArchive.value ? Status::failure(archiveBeingEditedReason()) : Status::success();
}

Status ArchiveDocument::checkUnchanged() const
{
    if (!opened)
        return Status::success();
    const Result<FileIdentity> now = identifyPath(from.filePath());
    if (!now)
        return now.status();
    if (now.value.known && !now.value.unchanged(file))
        return Status::failure(QStringLiteral("it changed on disk since it was opened"));
    return Status::success();
}

bool ArchiveDocument::differs(const Narc &edited) const
{
    // Entries still shared with the stored archive compare without a byte loop.
    return edited.files != stored.files || edited.fntContent != stored.fntContent;
}

Status ArchiveDocument::save(const Narc &edited, BulkObserver &report, const SaveOptions &options)
{
    const bool toOwnPath = options.output.isEmpty();
    Result<ArchiveSource> named = toOwnPath ? Result<ArchiveSource>::success(from)
                                            : ArchiveSource::named(options.output);
    if (!named)
        return named.status();
    const ArchiveSource &target = named.value;
    const QString targetFile = target.filePath();
    const Result<FileIdentity> before = identifyPath(targetFile);
    if (!before)
        return before.status();
    if (!options.writeUnchanged && opened && !differs(edited)) {
        report.note(nothingChangedLine(target.name()));
        return Status::success();
    }

    // A write over the file read, by its own path or another name of it. An
    // archive alone over the image it came from would lose the rest of the image.
    const bool overArchive = opened && (toOwnPath || before.value.sameFile(file));
    if (overArchive && from.isInImage() && !target.isInImage())
        return Status::failure(archiveBeingEditedReason());
    // Every writer of the file holds its lock from the read to the rename; an
    // image is read again at the write, so it is held open for it.
    QFile lock;
    QFile *held = overArchive ? locked.get() : nullptr;
    if (!held && ((overArchive && before.value.known) || target.isInImage())) {
        Status taken = openNarcFile(lock, targetFile);
        if (taken)
            taken = lockForWriting(lock, targetFile);
        if (!taken)
            return taken;
        held = &lock;
    }
    ReplaceOptions replace;
    replace.keep = before.value;
    if (overArchive && !options.overwriteChanged) {
        const Status unchanged = checkUnchanged();
        if (!unchanged)
            return unchanged;
        replace.beforeReplace = [this] { return checkUnchanged(); };
    }

    if (options.dryRun) {
        // What the write checks before it opens the target: the layout, and
        // the archive's place in an image.
        Narc laidOut = edited;
        const Status fits = target.checkFits(laidOut, held);
        if (!fits)
            return fits;
        if (before.value.isRegular() && before.value.links > 1)
            report.report(otherNamesLine(targetFile, qint64(before.value.links) - 1));
        report.note(dryRunLine(target.name()));
        return Status::success();
    }

    Narc written = edited;
    const Status saved = target.write(written, held, replace, report);
    if (!saved)
        return saved;
    if (before.value.isRegular() && before.value.links > 1)
        report.report(otherNamesLine(targetFile, qint64(before.value.links) - 1));
    if (toOwnPath && opened) {
        const Result<FileIdentity> after = identifyPath(targetFile);
        file = after.value;
        stored = std::move(written);
    }
    return Status::success();
}

} // namespace core
