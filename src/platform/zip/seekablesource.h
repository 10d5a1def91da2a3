#pragma once

#include <QByteArray>

#include <zip.h>

#include <cstdio>
#include <memory>

namespace quillory::zipdetail {

// A seekable libzip source for reading, over a `State` that has a `position`, an `error`, a
// `size()` and a `read(char *data, zip_uint64_t length)` from its position that moves it on. The
// source owns its state and frees it with itself.
template <typename State>
zip_int64_t seekableSourceCall(void *state, void *data, zip_uint64_t length,
                               zip_source_cmd_t command)
{
    auto *source = static_cast<State *>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        source->position = 0;
        return 0;
    case ZIP_SOURCE_READ:
        return source->read(static_cast<char *>(data), length);
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto *st = static_cast<zip_stat_t *>(data);
        zip_stat_init(st);
        st->valid |= ZIP_STAT_SIZE;
        st->size = source->size();
        return sizeof(*st);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&source->error, data, length);
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t to = zip_source_seek_compute_offset(source->position, source->size(),
                                                              data, length, &source->error);
        if (to < 0)
            return -1;
        source->position = zip_uint64_t(to);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return zip_int64_t(source->position);
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_SEEKABLE;
    case ZIP_SOURCE_FREE:
        zip_error_fini(&source->error);
        delete source;
        return 0;
    default:
        zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// The source over `state`, which it takes over; null, with `error` set, when none could be made.
template <typename State>
zip_source_t *createSeekableSource(std::unique_ptr<State> state, zip_error_t *error)
{
    zip_error_init(&state->error);
    zip_source_t *source =
        zip_source_function_create(seekableSourceCall<State>, state.get(), error);
    if (source)
        (void)state.release();
    else
        zip_error_fini(&state->error);
    return source;
}

// Reads `length` bytes of the open, seekable `source` from `at` into `bytes`; false when they are
// not all there.
inline bool readSourceAt(zip_source_t *source, zip_uint64_t at, QByteArray &bytes, qsizetype length)
{
    bytes.resize(length);
    if (zip_source_seek(source, zip_int64_t(at), SEEK_SET) != 0)
        return false;
    for (qsizetype done = 0; done < length;) {
        const zip_int64_t got =
            zip_source_read(source, bytes.data() + done, zip_uint64_t(length - done));
        if (got <= 0)
            return false;
        done += qsizetype(got);
    }
    return true;
}

} // namespace quillory::zipdetail
