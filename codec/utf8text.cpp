#include "codec/utf8text.h"

#include <QStringEncoder>

namespace core {

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

} // namespace core
