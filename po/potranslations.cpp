#include "po/potranslations.h"

#include "po/gettextpo.h"
#include "po/pocontext.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>

namespace core {

namespace po {

namespace {

bool hasTranslation(po_message_t message)
{
    if (!po_message_msgid_plural(message)) {
        const char *msgstr = po_message_msgstr(message);
        return msgstr && *msgstr;
    }
    for (int i = 0;; ++i) {
        const char *form = po_message_msgstr_plural(message, i);
        if (!form)
            return false;
        if (*form)
            return true;
    }
}

QString problemText(PoTranslation::Problem problem)
{
    switch (problem) {
    case PoTranslation::Problem::None:
        break;
    case PoTranslation::Problem::PluralForms:
        return QStringLiteral("it has plural forms");
    case PoTranslation::Problem::HoldsNul:
        return QStringLiteral("it holds the character U+0000, which no text of the archive can");
    case PoTranslation::Problem::Duplicate:
        return QStringLiteral("an earlier message translates the same line");
    }
    return QString();
}

// Looks at one message of the domain `decoder` converts.
void gatherMessage(po_message_t message, bool heldNul, TextDecoder &decoder, PoTranslations &gathered)
{
    const char *rawContext = po_message_msgctxt(message);
    const char *rawMsgid = po_message_msgid(message);
    if (po_message_is_obsolete(message) || (!rawContext && !*rawMsgid))
        return; // a leftover of earlier templates, or the header
    if (po_message_is_fuzzy(message)) {
        ++gathered.fuzzy;
        return;
    }
    if (!hasTranslation(message)) {
        ++gathered.untranslated;
        return;
    }

    if (!rawContext) {
        const Result<QString> msgid = decoder.decode(rawMsgid);
        gathered.unplaced.append({false, msgid ? msgid.value : QString::fromLatin1(rawMsgid), QString()});
        return;
    }
    const Result<QString> context = decoder.decode(rawContext);
    const Result<MessagePlace> place = context ? parsePoContext(context.value)
                                               : Result<MessagePlace>::failure(context.reason);
    if (!place) {
        gathered.unplaced.append({true, context ? context.value : QString::fromLatin1(rawContext), place.reason});
        return;
    }

    PoTranslation translation;
    translation.place = place.value;
    translation.rawContext = rawContext;
    translation.decoder = &decoder;
    if (po_message_msgid_plural(message)) {
        translation.problem = PoTranslation::Problem::PluralForms;
    } else if (heldNul) {
        translation.problem = PoTranslation::Problem::HoldsNul;
    } else {
        translation.rawMsgid = rawMsgid;
        translation.rawMsgstr = po_message_msgstr(message);
    }
    gathered.translations.append(std::move(translation));
}

} // namespace

PoTranslations readPoTranslations(const QString &path)
{
    PoTranslations gathered;
    PoRead read = readPoFile(path);
    if (read.outOfMemory)
        throw std::bad_alloc(); // reported as any other allocation that failed
    if (!read.ok()) {
        gathered.reason = read.reason;
        gathered.messages = read.messages;
        return gathered;
    }

    const char *decoderDomain = nullptr;
    TextDecoder *decoder = nullptr;
    forEachMessage(read.file.get(), [&](const char *domain, po_message_t message, qsizetype index) {
        if (!gathered.ok())
            return;
        if (domain != decoderDomain) {
            decoderDomain = domain;
            gathered.decoders.push_back(std::make_unique<TextDecoder>(declaredCharset(domainHeader(read.file.get(),
                                                                                                   domain))));
            decoder = gathered.decoders.back().get();
            if (!decoder->isValid()) {
                gathered.reason = QStringLiteral("the character set \"%1\" its header declares is not known")
                                      .arg(QString::fromLatin1(decoder->charset()));
                return;
            }
        }
        gatherMessage(message, read.heldNul.value(index, false), *decoder, gathered);
    });
    if (!gathered.ok()) {
        gathered.translations.clear();
        return gathered;
    }
    gathered.file = std::move(read.file);
    const auto byPlace = [](const PoTranslation &a, const PoTranslation &b) { return a.place < b.place; };
    // A template's order is the archive's: then nothing moves, and no second list is made.
    if (!std::is_sorted(gathered.translations.cbegin(), gathered.translations.cend(), byPlace))
        std::stable_sort(gathered.translations.begin(), gathered.translations.end(), byPlace);
    for (qsizetype i = 1; i < gathered.translations.size(); ++i) {
        PoTranslation &translation = gathered.translations[i];
        if (!(gathered.translations.at(i - 1).place < translation.place))
            translation.problem = PoTranslation::Problem::Duplicate;
    }
    return gathered;
}

PoTranslationText translationText(const PoTranslation &translation)
{
    PoTranslationText text;
    const Result<QString> context = translation.decoder->decode(translation.rawContext);
    text.context = context ? context.value : QString::fromLatin1(translation.rawContext);
    if (translation.problem != PoTranslation::Problem::None) {
        text.problem = problemText(translation.problem);
        return text;
    }
    const Result<QString> msgid = translation.decoder->decode(translation.rawMsgid);
    const Result<QString> msgstr = translation.decoder->decode(translation.rawMsgstr);
    if (!msgid || !msgstr) {
        text.problem = msgid ? msgstr.reason : msgid.reason;
        return text;
    }
    text.msgid = msgid.value;
    text.msgstr = msgstr.value;
    if (text.msgstr.contains(QLatin1Char('\n')) || text.msgstr.contains(QLatin1Char('\r')))
        text.problem = QStringLiteral("the translation holds a line break");
    return text;
}

} // namespace po

} // namespace core
