#include "platform/cron/crontabtable.h"

#include <QSet>

#include <algorithm>

namespace quillory {

CrontabTable::CrontabTable(const QByteArray &text) : m_lines(text.split('\n')) {}

bool CrontabTable::isJobAt(qsizetype line) const
{
    if (line + 1 >= m_lines.size())
        return false;
    const std::optional<quint32> number = parseCrontabMarker(m_lines[line]);
    return number && parseCrontabEntry(*number, m_lines[line + 1]);
}

qsizetype CrontabTable::catchUpLines(qsizetype line) const
{
    const CrontabJob job =
        *parseCrontabEntry(*parseCrontabMarker(m_lines[line]), m_lines[line + 1]);
    if (job.scheduled.jobFile.isEmpty())
        return 0;
    const QList<QByteArray> entries = composeCatchUpEntries(job);
    qsizetype count = 0;
    while (line + 2 + count < m_lines.size() && count < entries.size() &&
           entries.contains(m_lines[line + 2 + count]))
        ++count;
    return count;
}

QList<CrontabJob> CrontabTable::jobs() const
{
    QList<CrontabJob> found;
    for (qsizetype line = 0; line < m_lines.size(); ++line) {
        if (!isJobAt(line))
            continue;
        found.append(*parseCrontabEntry(*parseCrontabMarker(m_lines[line]), m_lines[line + 1]));
        const qsizetype catchUp = catchUpLines(line);
        found.last().scheduled.catchesUp = catchUp > 0;
        line += 1 + catchUp;
    }
    std::stable_sort(found.begin(), found.end(), [](const CrontabJob &a, const CrontabJob &b) {
        return a.scheduled.number < b.scheduled.number;
    });
    return found;
}

quint32 CrontabTable::nextJobNumber() const
{
    QSet<quint32> taken;
    for (const QByteArray &line : m_lines)
        if (const std::optional<quint32> number = parseCrontabMarker(line))
            taken.insert(*number);
    quint32 number = 1;
    while (taken.contains(number))
        ++number;
    return number;
}

void CrontabTable::insert(quint32 number, const QByteArray &entry, const QList<QByteArray> &catchUp)
{
    // crontab refuses a table whose last line has no line end.
    if (!m_lines.constLast().isEmpty())
        m_lines.append(QByteArray());
    for (const QByteArray &line : QList<QByteArray>{crontabMarker(number), entry} + catchUp)
        m_lines.insert(m_lines.size() - 1, line);
}

void CrontabTable::replace(quint32 number, const QByteArray &entry)
{
    for (qsizetype line = 0; line < m_lines.size(); ++line) {
        if (isJobAt(line) && parseCrontabMarker(m_lines[line]) == number) {
            m_lines[line + 1] = entry;
            return;
        }
    }
}

bool CrontabTable::remove(quint32 number)
{
    for (qsizetype line = 0; line < m_lines.size(); ++line) {
        if (isJobAt(line) && parseCrontabMarker(m_lines[line]) == number) {
            m_lines.remove(line, 2 + catchUpLines(line));
            return true;
        }
    }
    return false;
}

QByteArray CrontabTable::text() const
{
    return m_lines.join('\n');
}

} // namespace quillory
