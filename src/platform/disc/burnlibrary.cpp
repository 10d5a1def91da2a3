#include "platform/disc/burnlibrary.h"

#include "platform/disc/burnheaders.h"

namespace quillory {

namespace {

// The libraries do not survive being finished and started again within a process, so they are
// started once, on first use, and finished when the process ends.
struct Libraries {
    bool ok = false;
    Libraries()
    {
        char message[1024] = {};
        ok = isoburn_initialize(message, 0) == 1;
        if (!ok)
            return;
        burn_set_messenger(iso_get_messenger());
        // Nothing is printed: the program reports what matters in its own words.
        burn_msgs_set_severities(const_cast<char *>("ALL"), const_cast<char *>("NEVER"),
                                 const_cast<char *>("quillory: "));
        // Names on the disc are UTF-8 whatever the locale of the run.
        iso_set_local_charset(const_cast<char *>("UTF-8"), 0);
    }
    ~Libraries()
    {
        if (ok)
            isoburn_finish();
    }
};

} // namespace

BurnLibrary::BurnLibrary()
{
    static const Libraries libraries;
    m_ok = libraries.ok;
}

QList<BurnMessage> BurnLibrary::takeMessages(const char *minimumSeverity)
{
    QList<BurnMessage> messages;
    for (;;) {
        int code = 0;
        int osErrno = 0;
        char text[BURN_MSGS_MESSAGE_LEN] = {};
        char severity[80] = {};
        if (burn_msgs_obtain(const_cast<char *>(minimumSeverity), &code, text, &osErrno,
                             severity) <= 0)
            break;
        messages.append({code, QString::fromLatin1(severity), QString::fromUtf8(text)});
    }
    return messages;
}

} // namespace quillory
