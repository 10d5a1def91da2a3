#pragma once

#include <QList>
#include <QString>

namespace quillory {

// One message of libburn's queue, into which the libisofs messages are merged.
struct BurnMessage {
    int code = 0;
    QString severity;
    QString text;
};

// The libraries, started when the first instance is made.
class BurnLibrary {
public:
    BurnLibrary();
    BurnLibrary(const BurnLibrary &) = delete;
    BurnLibrary &operator=(const BurnLibrary &) = delete;

    bool ok() const { return m_ok; }
    // Takes the queued messages of at least the given severity ("WARNING", "FAILURE", ...).
    static QList<BurnMessage> takeMessages(const char *minimumSeverity = "ALL");

private:
    bool m_ok = false;
};

} // namespace quillory
