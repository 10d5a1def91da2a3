#pragma once

#include "platform/cron/crontabentry.h"

#include <QByteArray>
#include <QList>

namespace quillory {

// A user's crontab as lines of bytes, so that every line that is not one of the program's own
// jobs goes back exactly as it came.
class CrontabTable {
public:
    explicit CrontabTable(const QByteArray &text);

    // The program's jobs, ordered by number: a marker line directly followed by an entry it wrote.
    QList<CrontabJob> jobs() const;
    // The lowest number that no marker line holds, even one whose entry was edited beyond
    // reading.
    quint32 nextJobNumber() const;
    // Puts the job, with the entries that make it catch up, at the end of the table, so that the
    // user's variable lines (MAILTO=) apply to it as to every other entry.
    void insert(quint32 number, const QByteArray &entry, const QList<QByteArray> &catchUp = {});
    // Replaces the entry of the first job with that number.
    void replace(quint32 number, const QByteArray &entry);
    // Removes the first job with that number, with the entries that make it catch up; false when
    // there is none.
    bool remove(quint32 number);
    QByteArray text() const;

private:
    bool isJobAt(qsizetype line) const;
    // How many of the lines after the job's entry at `line` are its catch-up entries.
    qsizetype catchUpLines(qsizetype line) const;

    QList<QByteArray> m_lines; // the last one is empty when the text ends with a line feed
};

} // namespace quillory
