#pragma once

#include <QString>

namespace core {

// The log lines that more than one place writes, built once so that the window,
// narctext and the bulk work cannot word them differently. Section and entry
// numbers in "Skipping" lines are zero padded to four digits, as in the tree's
// directory and file names; elsewhere they are plain.

// "Failed to load <path>: <reason>": an archive that could not be read.
QString loadFailedLine(const QString &path, const QString &reason);

// "Failed to write <path>: <reason>": an archive that could not be written.
QString writeFailedLine(const QString &path, const QString &reason);

// "Cannot decode section <section> of entry <entry>: <reason>".
QString cannotDecodeLine(int entry, int section, const QString &reason);

// "Failed to export to file <path>", then " (<reason>)" when a reason is given.
QString exportFailedLine(const QString &path, const QString &reason = QString());

// "Failed to export to file <path>: it is the archive being edited": an export refused.
QString exportOverArchiveLine(const QString &path);

// "Failed to import from file: <path>", then " (<reason>)" when a reason is given.
QString importFailedLine(const QString &path, const QString &reason = QString());

// "Skipping SSSS/EEEE: the entry has no section S": a tree file, or text given
// for a section the entry does not have.
QString noSuchSectionLine(int entry, int section);

} // namespace core
