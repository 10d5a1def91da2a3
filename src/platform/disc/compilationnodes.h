#pragma once

#include "platform/disc/burnheaders.h"

#include <QString>
#include <QStringList>

// How the compilation's files address its image tree: keys with a backslash between the parts,
// the root a lone backslash, and the nodes they lead to.
namespace quillory::compilationdetail {

inline const QLatin1Char keySeparator('\\');
inline const QString rootKey = QStringLiteral("\\");

inline QString childKey(const QString &parent, const QString &name)
{
    return (parent == rootKey ? QString() : parent) + keySeparator + name;
}

inline QString parentKey(const QString &key)
{
    const qsizetype cut = key.lastIndexOf(keySeparator);
    return cut <= 0 ? rootKey : key.left(cut);
}

inline QString keyOfPath(const QStringList &path)
{
    return path.isEmpty() ? rootKey : keySeparator + path.join(keySeparator);
}

inline QStringList pathOfKey(const QString &key)
{
    return key.split(keySeparator, Qt::SkipEmptyParts);
}

inline bool isImported(IsoNode *node)
{
    uint32_t lba = 0;
    return ISO_NODE_IS_FILE(node) &&
           iso_file_get_old_image_lba(reinterpret_cast<IsoFile *>(node), &lba, 0) == 1;
}

inline IsoNode *childNamed(IsoNode *directory, const QString &name)
{
    IsoNode *child = nullptr;
    if (iso_dir_get_node(reinterpret_cast<IsoDir *>(directory), name.toUtf8().constData(),
                         &child) != 1)
        return nullptr;
    return child;
}

template <typename Visit> void walk(IsoNode *directory, const QString &key, const Visit &visit)
{
    IsoDirIter *iterator = nullptr;
    if (iso_dir_get_children(reinterpret_cast<IsoDir *>(directory), &iterator) < 0)
        return;
    IsoNode *node = nullptr;
    while (iso_dir_iter_next(iterator, &node) == 1) {
        const QString key2 = childKey(key, QString::fromUtf8(iso_node_get_name(node)));
        visit(node, key2);
        if (ISO_NODE_IS_DIR(node))
            walk(node, key2, visit);
    }
    iso_dir_iter_free(iterator);
}

// A name a file or folder of the host may carry onto the disc: a backslash in it is part of the
// name.
inline bool placeableName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".") &&
           name != QLatin1String("..");
}

} // namespace quillory::compilationdetail
