#include "narc/entrysource.h"

namespace core {

Status EntrySource::forEach(const std::function<bool(int index, EntryView entry)> &visit)
{
    rewind();
    EntryView entry;
    for (int index = 0; next(&entry); ++index) {
        if (!visit(index, entry))
            break;
    }
    return Status::failure(failure());
}

bool HeldEntries::next(EntryView *entry)
{
    if (m_next >= m_narc.files.size())
        return false;
    *entry = m_narc.files.at(m_next++);
    return true;
}

bool HeldEdits::next(EntryView *entry)
{
    if (m_next >= m_narc.files.size())
        return false;
    *entry = std::as_const(m_narc.files).at(m_next++);
    return true;
}

void HeldEdits::replace(NarcEntry &&entry)
{
    if (m_next <= 0)
        return;
    NarcEntry &current = m_narc.files[m_next - 1];
    if (entry != current)
        current = std::move(entry);
}

} // namespace core
