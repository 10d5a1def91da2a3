#include "cli/terminaldevice.h"

#include "platform/text/controlcharacters.h"

#include <QByteArray>
#include <QString>

#include <cerrno>

namespace quillory {

TerminalDevice::TerminalDevice(std::FILE *stream) : m_stream(stream)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

TerminalDevice::~TerminalDevice()
{
    finish();
}

int TerminalDevice::finish()
{
    if (m_pendingReturn && std::fputs("\\x0d", m_stream) < 0 && m_error == 0)
        m_error = errno;
    m_pendingReturn = false;
    if (std::fflush(m_stream) != 0 && m_error == 0)
        m_error = errno;
    return m_error;
}

qint64 TerminalDevice::writeData(const char *data, qint64 size)
{
    // The text stream hands over whole characters, encoded in UTF-8.
    QString text = QString::fromUtf8(data, size);
    if (m_pendingReturn)
        text.prepend(QLatin1Char('\r'));
    m_pendingReturn = text.endsWith(QLatin1Char('\r'));
    if (m_pendingReturn)
        text.chop(1);
    const QByteArray shown = escapedControls(text).toUtf8();
    if (std::fwrite(shown.constData(), 1, size_t(shown.size()), m_stream) != size_t(shown.size()) ||
        std::fflush(m_stream) != 0) {
        if (m_error == 0)
            m_error = errno;
        return -1;
    }
    return size;
}

} // namespace quillory
