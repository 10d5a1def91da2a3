#pragma once

#include <QIODevice>

#include <cstdio>

namespace quillory {

// Standard output or error as brevnor-cli writes to it: whatever the text, from an archive, a
// profile or a disc, its control characters are shown escaped ("\x1b") instead of acting on the
// terminal.
class TerminalDevice final : public QIODevice {
public:
    explicit TerminalDevice(std::FILE *stream);
    ~TerminalDevice() override;

    bool isSequential() const override { return true; }
    // Flushes what is held; the error of the first write that failed, 0 when none did.
    int finish();

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    std::FILE *m_stream;
    // A CR at the end of one write may be the start of a CR LF line end in the next.
    bool m_pendingReturn = false;
    int m_error = 0;
};

} // namespace quillory
