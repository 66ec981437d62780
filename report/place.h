#pragma once

#include "narc/narc.h"

#include <QString>
#include <QStringList>

namespace core {

// How lines name a place for people. Entries and sections count from 0, as the
// window's lists do; lines count from 1, as text editors, grep -n and every line
// number in a report do. Sections have names: "Hiragana" (0), "Kanji" (1),
// "section 2" beyond.

// One line of one section of one entry.
struct MessagePlace
{
    int entry = 0;
    int section = 0;
    int line = 0; // from 1

    friend bool operator<(const MessagePlace &a, const MessagePlace &b)
    {
        if (a.entry != b.entry)
            return a.entry < b.entry;
        if (a.section != b.section)
            return a.section < b.section;
        return a.line < b.line;
    }
};

// `number` in decimal, zero padded to at least four digits ("0007", "12345"), as
// the export tree names its directories and files.
QString pad4(int number);

// "Hiragana" (section 0), "Kanji" (1), "section 2", ...
QString sectionName(int section);

// The names of the sections the message file in `entry` has, as its head counts
// them: {"Hiragana"}, {"Hiragana", "Kanji"}, ... None for an empty entry or one
// too short to hold a head.
QStringList sectionNamesOf(const NarcEntry &entry);

// A section in words: "entry 12, Hiragana".
QString placeInWords(int entry, int section);

// A line in words: "entry 12, Hiragana, line 3".
QString placeInWords(const MessagePlace &place);
// What comes before the line number there: "entry 12, Hiragana, line ".
QString linePlacePrefix(int entry, int section);

} // namespace core
