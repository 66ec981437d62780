#include "rom/romname.h"

#include "rom/romfilesystem.h"

#include <QFileInfo>

namespace core {

namespace {

constexpr int maxFileId = 0xEFFF;

} // namespace

QString RomMemberName::text() const
{
    return imagePath + QLatin1Char(':') + (fileId >= 0 ? QLatin1Char('#') + QString::number(fileId) : memberPath);
}

Result<RomMemberName> parseRomMemberName(const QString &name)
{
    using Parsed = Result<RomMemberName>;
    if (QFileInfo::exists(name))
        return Parsed::success({});
    for (qsizetype colon = name.indexOf(QLatin1Char(':')); colon > 0;
         colon = name.indexOf(QLatin1Char(':'), colon + 1)) {
        const QFileInfo image(name.left(colon));
        if (!image.exists() || image.isDir())
            continue;
        RomMemberName member;
        member.imagePath = name.left(colon);
        const QString rest = name.mid(colon + 1);
        if (rest.startsWith(QLatin1Char('#'))) {
            const QString digits = rest.mid(1);
            bool ok = !digits.isEmpty();
            for (const QChar c : digits)
                ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
            const int id = ok ? digits.toInt(&ok) : -1;
            if (!ok || id > maxFileId)
                return Parsed::failure(QStringLiteral("\"%1\" is not a file id (0 to %2)").arg(rest).arg(maxFileId));
            member.fileId = id;
        } else {
            qsizetype skip = 0;
            while (skip < rest.size() && rest.at(skip) == QLatin1Char('/'))
                ++skip;
            member.memberPath = rest.mid(skip);
            if (member.memberPath.isEmpty())
                return Parsed::failure(QStringLiteral("no file inside the image is named after the colon"));
        }
        return Parsed::success(member);
    }
    return Parsed::success({});
}

Result<int> findRomMember(const RomFileSystem &fs, const RomMemberName &name)
{
    if (name.fileId >= 0) {
        if (name.fileId >= fs.files.size()) {
            return Result<int>::failure(
                QStringLiteral("the image has no file #%1 (it holds %2)").arg(name.fileId).arg(fs.files.size()));
        }
        return Result<int>::success(name.fileId);
    }
    const int id = fs.idOf(name.memberPath);
    if (id < 0)
        return Result<int>::failure(QStringLiteral("the image holds no file %1").arg(name.memberPath));
    return Result<int>::success(id);
}

} // namespace core
