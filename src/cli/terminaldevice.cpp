#include "cli/terminaldevice.h"

#include "platform/text/controlcharacters.h"

#include <QByteArray>
#include <QString>

namespace quillory {

TerminalDevice::TerminalDevice(std::FILE *stream) : m_stream(stream)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

TerminalDevice::~TerminalDevice()
{
    if (m_pendingReturn)
        std::fputs("\\x0d", m_stream);
    std::fflush(m_stream);
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
    if (std::fwrite(shown.constData(), 1, size_t(shown.size()), m_stream) != size_t(shown.size()))
        return -1;
    std::fflush(m_stream);
    return size;
}

} // namespace quillory
