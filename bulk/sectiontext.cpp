#include "bulk/sectiontext.h"

#include <QFileInfo>
#include <QStringEncoder>

namespace core {

namespace bulk {

QString pad4(int number)
{
    return QString::number(number).rightJustified(4, QLatin1Char('0'));
}

void appendSectionText(QByteArray &out, QStringView text)
{
    // Escaped text never holds a lone surrogate, so the bytes are those of each
    // line converted on its own.
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const qsizetype start = out.size();
    // Room for the worst case; resize grows geometrically.
    out.resize(start + encoder.requiredSpace(text.size()));
    char *data = out.data();
    char *end = encoder.appendToBuffer(data + start, text);
    out.resize(end - data);
}

bool treeExists(const QString &root)
{
    return QFileInfo(root + QStringLiteral("0000")).isDir() && QFileInfo(root + QStringLiteral("0001")).isDir();
}

} // namespace bulk

} // namespace core
