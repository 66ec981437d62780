#include "po/pocheck.h"

#include "check/escapes.h"
#include "codec/encode.h"
#include "po/potranslations.h"
#include "report/lines.h"

#include <new>

namespace core {

using namespace po;

namespace {

PoCheckSummary checkTranslations(const PoTranslations &gathered, const WidthRule &width, const FindingSink &sink)
{
    PoCheckSummary summary;
    summary.refused = false;
    const auto find = [&](const QString &place, const QString &what) {
        if (summary.stopped)
            return;
        ++summary.findings;
        summary.stopped = !sink(findingLine(place, what));
    };

    for (const UnplacedMessage &message : gathered.unplaced) {
        if (message.hasContext)
            find(poMsgctxtPlaceText(message.text), message.reason);
        else
            find(poMsgidPlaceText(message.text), noMsgctxtReason());
        ++summary.translations;
    }
    for (const PoTranslation &translation : gathered.translations) {
        if (summary.stopped)
            break;
        ++summary.translations;
        const PoTranslationText text = translationText(translation);
        const QString place = messagePlaceText(text.context, translation.place);
        if (!text.problem.isEmpty()) {
            find(place, text.problem);
            continue;
        }
        if (const TextRefusal refusal = storableLine(text.msgstr); refusal.refused()) {
            find(place, translationRefusedReason(refusal));
            continue;
        }
        const EscapeChange change = compareEscapes(text.msgid, text.msgstr, width.breaks);
        if (change.changed())
            find(place, change.text(EscapeOrigin::Source));
        if (!width.active())
            continue;
        const TextRows rows = textRows(text.msgstr, width.breaks);
        for (int r = 0; r < rows.size(); ++r) {
            if (rows.at(r).width > width.limit)
                find(place, tooWideText(rows.at(r).width, width.limit, r + 1, int(rows.size())));
        }
    }
    return summary;
}

} // namespace

PoCheckSummary checkPoFile(const QString &path, const WidthRule &width, const FindingSink &sink, BulkObserver &observer)
{
    const QString name = inputName(path);
    try {
        const PoTranslations gathered = readPoTranslations(path);
        if (!gathered.ok()) {
            observer.report(poCheckFailedLine(name, gathered.reason));
            for (const QString &message : gathered.messages)
                observer.report(message);
            return PoCheckSummary();
        }
        return checkTranslations(gathered, width, sink);
    } catch (const std::bad_alloc &) {
        observer.report(poCheckFailedLine(name, notEnoughMemoryReason()));
        return PoCheckSummary();
    }
}

} // namespace core
