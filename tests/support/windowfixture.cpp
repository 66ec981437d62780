#include "windowfixture.h"

#include "narcfixture.h"

using namespace core;

bool writeArchive(const QString &path, const QList<NarcEntry> &entries)
{
    QList<QByteArray> bytes;
    for (const NarcEntry &entry : entries)
        bytes.append(QByteArray(entry.constData(), entry.size()));
    return writeFileBytes(path, buildNarcBytes(bytes));
}
