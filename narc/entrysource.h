#pragma once

#include "base/result.h"
#include "narc/narc.h"

#include <QString>

#include <functional>

namespace core {

// The entries of an archive in order, one at a time: the entries of an archive
// held in memory (the window's, which it edits), or those of a file, read as they
// are asked for into one reused buffer (narc/narcstream.h), so that work that
// looks at each entry once needs memory for one entry, not for the archive.
//
// An entry handed out is valid until the next call of next() or rewind().
class EntrySource
{
public:
    virtual ~EntrySource() = default;

    // How many entries there are.
    virtual int count() const = 0;
    // Goes back before the first entry, for another pass.
    virtual void rewind() = 0;
    // The next entry; false after the last one, or when it cannot be read (then
    // failure() says why, and every later call gives false).
    virtual bool next(EntryView *entry) = 0;
    // Why an entry could not be read; empty when none failed.
    virtual QString failure() const = 0;

    // Rewinds and hands every entry to `visit` in order, until it returns false.
    // Returns the reason when an entry could not be read.
    Status forEach(const std::function<bool(int index, EntryView entry)> &visit);
};

// The entries of an archive held in memory.
class HeldEntries : public EntrySource
{
public:
    explicit HeldEntries(const Narc &narc)
        : m_narc(narc)
    {
    }

    int count() const override { return int(m_narc.files.size()); }
    void rewind() override { m_next = 0; }
    bool next(EntryView *entry) override;
    QString failure() const override { return {}; }

private:
    const Narc &m_narc;
    int m_next = 0;
};

// Entries handed out in order, any of which may be replaced by new bytes: the
// archive a command edits entry by entry and then writes.
class EditableEntries : public EntrySource
{
public:
    // Replaces the entry handed out last by `entry`; the view of it handed out
    // is no longer valid. Bytes equal to the entry as it stands change nothing:
    // an entry left as it was keeps its memory and counts as unchanged.
    virtual void replace(NarcEntry &&entry) = 0;
};

// The entries of an archive held in memory, replaced in place.
class HeldEdits : public EditableEntries
{
public:
    explicit HeldEdits(Narc &narc)
        : m_narc(narc)
    {
    }

    int count() const override { return int(m_narc.files.size()); }
    void rewind() override { m_next = 0; }
    bool next(EntryView *entry) override;
    QString failure() const override { return {}; }
    void replace(NarcEntry &&entry) override;

private:
    Narc &m_narc;
    int m_next = 0;
};

} // namespace core
