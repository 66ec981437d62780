#include "narc/editedstream.h"

namespace core {

EditedStream::EditedStream(NarcStream stream)
    : m_stream(std::move(stream))
{
}

qint64 EditedStream::lengthOf(qsizetype index) const
{
    const auto replaced = m_replaced.find(int(index));
    if (replaced != m_replaced.end())
        return replaced->second.size();
    return qint64(layout().fileEnds.at(index)) - qint64(layout().fileStarts.at(index));
}

Result<Narc> EditedStream::toNarc()
{
    Narc narc = layout();
    narc.files.reserve(count());
    const Status read = forEach([&](int, EntryView entry) {
        narc.files.append(entry.toEntry());
        return true;
    });
    if (!read)
        return Result<Narc>::failure(read.reason);
    return Result<Narc>::success(std::move(narc));
}

void EditedStream::rewind()
{
    m_stream.rewind();
    m_original = EntryView();
    m_next = 0;
}

bool EditedStream::next(EntryView *entry)
{
    if (!m_stream.next(&m_original))
        return false;
    const auto replaced = m_replaced.find(m_next++);
    *entry = replaced != m_replaced.end() ? EntryView(replaced->second) : m_original;
    return true;
}

void EditedStream::replace(NarcEntry &&entry)
{
    if (m_next <= 0)
        return;
    if (entry == m_original)
        m_replaced.erase(m_next - 1);
    else
        m_replaced[m_next - 1] = std::move(entry);
}

} // namespace core
