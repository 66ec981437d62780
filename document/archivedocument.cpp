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
    if (access != Access::Read) {
        const Status lock = lockForWriting(*input, path);
        if (!lock)
            return Opened::failure(lock.reason);
    }
    // Taken before the read: a change made while it reads is seen later.
    const Result<FileIdentity> identity = identifyOpenFile(input->handle());
    if (!identity)
        return Opened::failure(identity.reason);

    ArchiveDocument document;
    if (access == Access::Edit && !source.isInImage()) {
        Result<NarcStream> stream = source.stream(*input);
        if (!stream)
            return Opened::failure(stream.reason);
        document.streamed = std::make_unique<EditedStream>(std::move(stream.value));
    } else {
        Result<Narc> read = source.read(*input);
        if (!read)
            return Opened::failure(read.reason);
        document.stored = std::move(read.value);
        if (access == Access::Edit) {
            document.working = std::make_unique<Narc>(document.stored);
            document.workingEdits = std::make_unique<HeldEdits>(*document.working);
        }
    }
    document.opened = true;
    document.from = std::move(source);
    document.file = identity.value;
    if (access != Access::Read)
        document.locked = std::move(input);
    return Opened::success(std::move(document));
}

EditableEntries &ArchiveDocument::entries()
{
    if (streamed)
        return *streamed;
    if (!workingEdits) {
        working = std::make_unique<Narc>(stored);
        workingEdits = std::make_unique<HeldEdits>(*working);
    }
    return *workingEdits;
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
    NewContent content;
    content.differs = !opened || differs(edited);
    content.fits = [&](const ArchiveSource &target, QFile *image) {
        Narc laidOut = edited;
        return target.checkFits(laidOut, image);
    };
    Narc written = edited;
    content.write = [&](const ArchiveSource &target, QFile *image, const ReplaceOptions &replace, BulkObserver &lines) {
        return target.write(written, image, replace, lines);
    };
    bool ownWritten = false;
    const Status saved = saveContent(content, report, options, &ownWritten);
    if (ownWritten)
        stored = std::move(written);
    return saved;
}

Status ArchiveDocument::save(BulkObserver &report, const SaveOptions &options)
{
    if (!streamed)
        return save(working ? *working : stored, report, options);
    EditedStream &edits = *streamed;
    const auto lengthOf = [&edits](qsizetype i) { return edits.lengthOf(i); };
    NewContent content;
    content.differs = edits.edited();
    content.fits = [&](const ArchiveSource &target, QFile *image) {
        if (!target.isInImage()) {
            Narc head = edits.layout();
            return head.recomputeLayout(edits.count(), lengthOf);
        }
        Result<Narc> whole = edits.toNarc();
        return whole ? target.checkFits(whole.value, image) : whole.status();
    };
    content.write = [&](const ArchiveSource &target, QFile *image, const ReplaceOptions &replace, BulkObserver &lines) {
        if (!target.isInImage()) {
            Narc head = edits.layout();
            return saveNarcFile(head, edits, lengthOf, target.filePath(), replace);
        }
        // An image is written around the archive's bytes: held whole.
        Result<Narc> whole = edits.toNarc();
        return whole ? target.write(whole.value, image, replace, lines) : whole.status();
    };
    bool ownWritten = false;
    return saveContent(content, report, options, &ownWritten);
}

Status ArchiveDocument::saveContent(const NewContent &content, BulkObserver &report, const SaveOptions &options,
                                    bool *ownWritten)
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
    if (!options.writeUnchanged && !content.differs) {
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
        const Status fits = content.fits(target, held);
        if (!fits)
            return fits;
        if (before.value.isRegular() && before.value.links > 1)
            report.report(otherNamesLine(targetFile, qint64(before.value.links) - 1));
        report.note(dryRunLine(target.name()));
        return Status::success();
    }

    const Status saved = content.write(target, held, replace, report);
    if (!saved)
        return saved;
    if (before.value.isRegular() && before.value.links > 1)
        report.report(otherNamesLine(targetFile, qint64(before.value.links) - 1));
    if (toOwnPath && opened) {
        const Result<FileIdentity> after = identifyPath(targetFile);
        file = after.value;
        *ownWritten = true;
    }
    return Status::success();
}

} // namespace core
