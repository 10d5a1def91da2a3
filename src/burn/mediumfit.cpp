#include "burn/mediumfit.h"

#include "app/sizetext.h"

#include <array>

namespace quillory {

namespace {

struct Medium {
    const char *name;
    // Its data blocks of 2048 bytes, as a blank one reports them.
    quint64 blocks;
};

constexpr std::array<Medium, 3> media{{
    {"a CD", 360000},
    {"a DVD", 2295104},
    {"a double-layer DVD", 4173824},
}};

// The disc's own file system takes some room beside the file: its volume descriptors, path
// tables and directory records, well within this.
constexpr quint64 fileSystemRoom = 1024 * 1024;

quint64 bytesOf(const Medium &medium)
{
    return medium.blocks * 2048;
}

} // namespace

QString mediumFitText(quint64 bytes)
{
    const quint64 needed = bytes + fileSystemRoom;
    if (needed <= bytesOf(media[0]))
        return {};
    const QString larger =
        QStringLiteral("The archive (%1) is larger than %2 (%3)").arg(sizeText(bytes));
    for (std::size_t i = 1; i < media.size(); ++i)
        if (needed <= bytesOf(media[i]))
            return larger.arg(QLatin1String(media[i - 1].name), sizeText(bytesOf(media[i - 1]))) +
                   QStringLiteral(": it needs %1.").arg(QLatin1String(media[i].name));
    return larger.arg(QLatin1String(media.back().name), sizeText(bytesOf(media.back()))) +
           QStringLiteral(": it does not fit on one disc.");
}

} // namespace quillory
