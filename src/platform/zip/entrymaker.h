#pragma once

#include "platform/result.h"

#include <QString>

namespace quillory {

// Makes the file of an entry only when the archive being written is about to read it, and is
// told when the archive is done with it: files that live only for the write (staged nested
// archives) then need not all lie on disk at once.
class EntryMaker {
public:
    virtual ~EntryMaker() = default;
    // Called on the writing thread; on success the file lies at the path the entry was added with.
    virtual Result make() = 0;
    // Why the last `make` failed; empty when it did not.
    virtual QString failure() const = 0;
    // Called once the archive has read the file through: it may go.
    virtual void done() = 0;
    // The most the file can hold, known before it is made: the entry's header is laid out for it.
    virtual quint64 sizeBound() const = 0;
};

} // namespace quillory
