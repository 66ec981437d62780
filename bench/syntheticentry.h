#pragma once

// The message files the benchmarks build: two sections mixing Latin and
// Japanese text with a few escapes, different for every entry.

#include "codec/messagefile.h"

#include <QList>
#include <QStringList>

namespace bench {

struct SyntheticText
{
    QList<quint16> keys;
    QStringList hiragana;
    QStringList kanji;
};

// The text of entry `index`, `lines` lines per section.
inline SyntheticText syntheticText(int index, int lines)
{
    SyntheticText text;
    for (int i = 0; i < lines; ++i) {
        text.keys.append(quint16(index * 31 + i * 7));
        text.hiragana.append(
            QStringLiteral("Line %1 of entry %2: \u3053\u3093\u306b\u3061\u306f\\xfffe\u3042\u308a\u304c\u3068\u3046")
                .arg(i)
                .arg(index));
        text.kanji.append(
            QStringLiteral("\u884c %1 \u6f22\u5b57\u306e\u6587\u7ae0\\x000a\u3067\u3059\u3002 entry %2 text")
                .arg(i)
                .arg(index));
    }
    return text;
}

// `text` as a message file.
inline core::NarcEntry syntheticEntry(const SyntheticText &text)
{
    const core::Result<core::NarcEntry> file = core::newMessageFile({text.hiragana, text.kanji},
                                                                    {text.keys, text.keys});
    if (!file.ok())
        qFatal("cannot build the synthetic entries: %s", qPrintable(file.reason));
    return file.value;
}

inline core::NarcEntry syntheticEntry(int index, int lines)
{
    return syntheticEntry(syntheticText(index, lines));
}

} // namespace bench
