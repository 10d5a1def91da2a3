#include "platform/zip/pendingentries.h"

#include <QByteArrayView>
#include <QSet>

namespace quillory::zipdetail {

quint32 PendingEntries::addRoot(const QString &folder)
{
    m_roots.append(folder);
    return quint32(m_roots.size() - 1);
}

void PendingEntries::add(quint32 root, const QString &name, bool folder, quint64 size,
                         time_t modified, mode_t mode)
{
    const qsizetype at = m_names.size();
    m_names.append(name.toUtf8());
    m_entries.push_back({at, quint32(m_names.size() - at), root, folder, mode, size, modified});
}

void PendingEntries::addMade(const QString &name, std::shared_ptr<EntryMaker> maker)
{
    m_makers.insert(size(), std::move(maker));
    add(addRoot(QString()), name, false);
}

QByteArray PendingEntries::nameBytes(qsizetype index) const
{
    const Entry &entry = (*this)[index];
    return m_names.sliced(entry.nameAt, entry.nameLength);
}

QString PendingEntries::name(qsizetype index) const
{
    const Entry &entry = (*this)[index];
    return QString::fromUtf8(m_names.constData() + entry.nameAt, entry.nameLength);
}

const QString &PendingEntries::root(qsizetype index) const
{
    return m_roots[(*this)[index].root];
}

QString PendingEntries::sourcePath(qsizetype index) const
{
    if (m_makers.contains(index))
        return name(index);
    const Entry &entry = (*this)[index];
    return root(index) + QLatin1Char('/') +
           QString::fromUtf8(m_names.constData() + entry.nameAt,
                             entry.nameLength - (entry.folder ? 1 : 0));
}

std::shared_ptr<EntryMaker> PendingEntries::maker(qsizetype index) const
{
    return m_makers.value(index);
}

std::optional<qsizetype> PendingEntries::sharedEntry(const PendingEntries &other) const
{
    if (isEmpty() || other.isEmpty())
        return std::nullopt;
    // Views into the blocks of names, which stay as they are until the check ends.
    const auto view = [](const PendingEntries &entries, qsizetype index) {
        const Entry &entry = entries[index];
        return QByteArrayView(entries.m_names.constData() + entry.nameAt, entry.nameLength);
    };
    QSet<QByteArrayView> names;
    names.reserve(size());
    for (qsizetype index = 0; index < size(); ++index)
        names.insert(view(*this, index));
    for (qsizetype index = 0; index < other.size(); ++index)
        if (names.contains(view(other, index)))
            return index;
    return std::nullopt;
}

void PendingEntries::append(PendingEntries &&other)
{
    if (isEmpty()) {
        *this = std::move(other);
        return;
    }
    const quint32 roots = quint32(m_roots.size());
    const qsizetype names = m_names.size();
    const qsizetype entries = size();
    m_roots.append(other.m_roots);
    m_names.append(other.m_names);
    for (Entry entry : other.m_entries) {
        entry.root += roots;
        entry.nameAt += names;
        m_entries.push_back(entry);
    }
    for (auto maker = other.m_makers.cbegin(); maker != other.m_makers.cend(); ++maker)
        m_makers.insert(entries + maker.key(), maker.value());
    other.clear();
}

void PendingEntries::squeeze()
{
    m_names.squeeze();
    m_entries.shrink_to_fit();
}

void PendingEntries::clear()
{
    m_roots.clear();
    m_names.clear();
    m_entries.clear();
    m_makers.clear();
}

} // namespace quillory::zipdetail
