#include "narc/narcwriter.h"

#include <QBuffer>

namespace core {

QByteArray serializeNarc(Narc &narc)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    narc.writeTo(&buffer, 0);
    return out;
}

} // namespace core
