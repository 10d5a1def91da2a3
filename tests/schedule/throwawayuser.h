#pragma once

#include <QByteArray>
#include <QString>

namespace quillory::test {

// A system user made for one test run, so that the tests write its crontab and no real
// user's table is ever at stake. It can be made only when the tests run as root.
class ThrowawayUser {
public:
    ThrowawayUser();
    ~ThrowawayUser();
    ThrowawayUser(const ThrowawayUser &) = delete;
    ThrowawayUser &operator=(const ThrowawayUser &) = delete;

    bool isValid() const { return !m_name.isEmpty(); }
    // Why the user could not be made.
    const QString &problem() const { return m_problem; }
    const QString &name() const { return m_name; }

    QByteArray crontab() const;
    bool installCrontab(const QByteArray &table) const;
    void removeCrontab() const;

private:
    QString m_name;
    QString m_problem;
};

} // namespace quillory::test
