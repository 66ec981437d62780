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

} // namespace core
