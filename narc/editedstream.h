#pragma once

#include "narc/entrysource.h"
#include "narc/narcstream.h"

#include <map>

namespace core {

// An archive read one entry at a time (NarcStream) and edited entry by entry:
// what it holds is the stream's buffer and the entries replaced, never the
// archive. A second pass (rewind) hands out the entries as edited, for the
// write (Narc::writeTo with lengthOf).
class EditedStream : public EditableEntries
{
public:
    EditedStream() = default;
    explicit EditedStream(NarcStream stream);

    // The archive's head and tables as read; its `files` are empty.
    const Narc &layout() const { return m_stream.layout(); }
    // Whether any entry was replaced by other bytes.
    bool edited() const { return !m_replaced.empty(); }
    // How long entry `index` is as edited.
    qint64 lengthOf(qsizetype index) const;
    // The whole archive as edited, read into memory.
    Result<Narc> toNarc();

    int count() const override { return m_stream.count(); }
    void rewind() override;
    bool next(EntryView *entry) override;
    QString failure() const override { return m_stream.failure(); }
    void replace(NarcEntry &&entry) override;

private:
    NarcStream m_stream;
    std::map<int, NarcEntry> m_replaced;
    EntryView m_original; // the entry handed out last, as read
    int m_next = 0;
};

} // namespace core
