#pragma once

// What a PO file holds for the archive: its translated messages, each with the
// line its msgctxt names, read once for both the import of translations and
// their check before an import.

#include "po/gettextpo.h"
#include "report/place.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace core {

namespace po {

// A translated message (not fuzzy, not obsolete) whose msgctxt names a line: a
// small record that points into the messages gettext's library read, valid as
// long as the PoTranslations that holds it. Its strings are converted when they
// are used (translationText), so the file's text is never held twice.
struct PoTranslation
{
    MessagePlace place;
    const char *rawContext = nullptr; // as the file holds them, in the character
    const char *rawMsgid = nullptr;   // set `decoder` converts
    const char *rawMsgstr = nullptr;
    TextDecoder *decoder = nullptr;
    // Why the message cannot be applied that is known when the file is read
    // (translationText words it). A code, not words: a file holds hundreds of
    // thousands of these.
    enum class Problem : quint8 { None, PluralForms, HoldsNul, Duplicate };
    Problem problem = Problem::None;
};

// A translation's strings, converted.
struct PoTranslationText
{
    QString context; // as the file writes it, to name the message in reports
    QString msgid;
    QString msgstr;
    // Why the message cannot be applied whatever the archive holds: a problem of
    // the record, text not valid in its character set, a line break in the
    // translation; empty otherwise (then msgid and msgstr are set).
    QString problem;
};

PoTranslationText translationText(const PoTranslation &translation);

// A translated message whose msgctxt names no line.
struct UnplacedMessage
{
    bool hasContext = false;
    QString text;   // its msgctxt, or its msgid when it has none
    QString reason; // why its msgctxt names no line
};

struct PoTranslations
{
    QList<PoTranslation> translations; // in archive order; messages for one line in file order
    QList<UnplacedMessage> unplaced;   // in file order
    int untranslated = 0;              // messages with an empty msgstr
    int fuzzy = 0;                     // messages marked fuzzy, translated or not

    QString reason;       // why the file is refused; empty when it was read
    QStringList messages; // gettext's own reports when it was refused
    bool ok() const { return reason.isEmpty(); }

    // What the records point into.
    PoFile file;
    std::vector<std::unique_ptr<TextDecoder>> decoders;
};

// Reads the translations of the PO file at `path` ("-": standard input) by
// gettext's library (see readPoFile), its strings converted from the character
// set its header declares. A file that is missing, unreadable, too large, not
// valid PO or in an unknown character set is refused with the reason. Throws
// std::bad_alloc when memory runs out, in the library too.
PoTranslations readPoTranslations(const QString &path);

} // namespace po

} // namespace core
