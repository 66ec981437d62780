#pragma once

#include "narc/narc.h"
#include "report/observer.h"

#include <QList>
#include <QStringList>

// Collects the report lines a bulk run, a search or a replace gives.
struct Reports : core::BulkObserver
{
    QStringList lines;
    void report(const QString &line) override { lines.append(line); }
};

// A new archive holding `entries`, as the generators make them.
inline core::Narc archiveOf(const QList<core::NarcEntry> &entries)
{
    core::Narc narc = core::newNarc();
    narc.files = entries;
    narc.fileCount = quint32(entries.size());
    return narc;
}
