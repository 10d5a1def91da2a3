#pragma once

#include "platform/result.h"

#include <QString>

#include <cstddef>

namespace quillory {

// Makes the bytes of an entry only when the archive being written is about to read them, and
// hands them over as they are made: an entry that is itself an archive (an account's nested
// archive) then never lies anywhere whole.
class EntryMaker {
public:
    virtual ~EntryMaker() = default;
    // Called on the writing thread when the archive is about to read the entry.
    virtual Result make() = 0;
    // The next bytes, at most `length`: 0 at the end, -1 when making them failed.
    virtual qint64 read(char *data, size_t length) = 0;
    // Why making the bytes failed; empty when it did not.
    virtual QString failure() const = 0;
    // Called once the archive is done with the entry, read through or not.
    virtual void done() = 0;
    // The most the entry can hold, known before it is made: the entry's header is laid out for it.
    virtual quint64 sizeBound() const = 0;
};

} // namespace quillory
