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
    using Opened = Result<ArchiveDocument>;
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
    Result<Narc> read = loadNarcFile(*input);
    if (!read)
        return Opened::failure(read.reason);

    ArchiveDocument document;
    document.opened = true;
    document.filePath = path;
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
    const Result<FileIdentity> now = identifyPath(filePath);
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
    const QString target = toOwnPath ? filePath : options.output;
    const Result<FileIdentity> before = identifyPath(target);
    if (!before)
        return before.status();
    if (!options.writeUnchanged && opened && !differs(edited)) {
        report.note(nothingChangedLine(target));
        return Status::success();
    }

    // A write over the archive, by its own path or another name of it.
    const bool overArchive = opened && (toOwnPath || before.value.sameFile(file));
    QFile lock;
    ReplaceOptions replace;
    replace.keep = before.value;
    if (overArchive && !locked && before.value.known) {
        Status taken = openNarcFile(lock, filePath);
        if (taken)
            taken = lockForWriting(lock, filePath);
        if (!taken)
            return taken;
    }
    if (overArchive && !options.overwriteChanged) {
        const Status unchanged = checkUnchanged();
        if (!unchanged)
            return unchanged;
        replace.beforeReplace = [this] { return checkUnchanged(); };
    }

    if (options.dryRun) {
        // The layout is all the write checks before it opens the target.
        Narc laidOut = edited;
        const Status fits = laidOut.recomputeLayout();
        if (!fits)
            return fits;
        if (before.value.isRegular() && before.value.links > 1)
            report.report(otherNamesLine(target, qint64(before.value.links) - 1));
        report.note(dryRunLine(target));
        return Status::success();
    }

    Narc written = edited;
    const Status saved = saveNarcFile(written, target, replace);
    if (!saved)
        return saved;
    if (before.value.isRegular() && before.value.links > 1)
        report.report(otherNamesLine(target, qint64(before.value.links) - 1));
    if (toOwnPath && opened) {
        const Result<FileIdentity> after = identifyPath(filePath);
        file = after.value;
        stored = std::move(written);
    }
    return Status::success();
}

} // namespace core
