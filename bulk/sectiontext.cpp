#include "bulk/sectiontext.h"

#include <QFileInfo>
#include <QStringEncoder>

namespace core {

namespace bulk {

QString pad4(int number)
{
    return QString::number(number).rightJustified(4, QLatin1Char('0'));
}

void appendSectionText(QByteArray &out, const QStringList &lines)
{
    // Escaped lines never hold a lone surrogate, so each line converts on its own;
    // Stateless keeps one line from leaving state for the next.
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        const qsizetype start = out.size();
        // Room for the worst case and the separator; resize grows geometrically.
        out.resize(start + encoder.requiredSpace(line.size()) + 1);
        char *data = out.data();
        char *end = data + start;
        if (i > 0)
            *end++ = '\n';
        end = encoder.appendToBuffer(end, line);
        out.resize(end - data);
    }
}

bool treeExists(const QString &root)
{
    return QFileInfo(root + QStringLiteral("0000")).isDir() && QFileInfo(root + QStringLiteral("0001")).isDir();
}

} // namespace bulk

} // namespace core
