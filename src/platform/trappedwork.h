#pragma once

#include "platform/result.h"

#include <QString>

#include <exception>
#include <new>

namespace quillory {

// Runs `work`, a task on a worker thread, and turns anything it throws into its failure: an
// exception leaving a worker thread has no caller to reach and ends the whole program, with
// every other item's work. Memory running out is the one a real run meets.
template <typename Work> Result trapped(Work &&work) noexcept
{
    try {
        return work();
    } catch (const std::bad_alloc &) {
        return Result::failure(QStringLiteral("There was not enough memory for it."));
    } catch (const std::exception &e) {
        return Result::failure(QStringLiteral("It stopped because of an unexpected error: %1")
                                   .arg(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        return Result::failure(QStringLiteral("It stopped because of an unexpected error."));
    }
}

} // namespace quillory
