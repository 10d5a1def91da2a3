#pragma once

#include "platform/sanitizers.h"
#include "platform/userdialogs.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QQueue>
#include <QString>

#include <functional>

namespace quillory::test {

// Built with a sanitizer: its costs and its own allocator make bounds on time and memory, and
// programs cut short by a file-size cap, behave otherwise than as shipped.
constexpr bool underSanitizer = builtWithSanitizer;

// Caps the size of every file this process writes while it lives, as a full disk would, with
// SIGXFSZ ignored so that a write past the cap fails with EFBIG; the old cap and handler come back
// when it ends.
class FileSizeLimit {
public:
    explicit FileSizeLimit(quint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool set() const { return m_set; }

private:
    quint64 m_oldCurrent = 0;
    void (*m_oldHandler)(int) = nullptr;
    bool m_set = false;
};

// Stands in for the user: records every dialog shown and gives scripted answers.
class ScriptedDialogs final : public UserDialogs {
public:
    struct Shown {
        QString kind; // "message", "save", "open", "password"
        QString text;
        QString title;
        MessageIcon icon = MessageIcon::None;
        MessageButtons buttons = MessageButtons::Ok;
        QString details{};
    };

    QList<Shown> shown;
    QQueue<MessageAnswer> answers;                  // for message(); default Ok/Yes
    QQueue<std::optional<QString>> fileAnswers;     // for save/open; default cancel
    QQueue<std::optional<QString>> passwordAnswers; // default cancel

    MessageAnswer message(const QString &text, const QString &title, MessageIcon icon,
                          MessageButtons buttons, const QString &details) override;
    std::optional<QString> saveFileName(const QString &title, const QString &folder,
                                        const QString &proposedName,
                                        const QString &filter) override;
    std::optional<QString> openFileName(const QString &title, const QString &folder,
                                        const QString &proposedName,
                                        const QString &filter) override;
    // From `fileAnswers` too: several files separated by "|".
    QStringList openFileNames(const QString &title, const QString &folder,
                              const QString &filter) override;
    std::optional<QString> folderName(const QString &title, const QString &folder) override;
    std::optional<QString> password(const QString &archivePath) override;

    QStringList messageTexts() const;
};

QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);
// `size` random bytes, the same for the same seed; data that no compressor can shrink.
QByteArray noise(qsizetype size, quint32 seed = 7);
// Everything below `root`: relative path to content, folders ending in "/" with no content.
QMap<QString, QByteArray> treeOf(const QString &root);
// The process id of a process that has ended: nothing of its own can still be in use.
qint64 gonePid();
// Folder of the built executables (brevnor, brevnor-cli, tools).
QString binDir();
QString sourceDir();

// Makes a sample mail profile (a Wine prefix) in `folder` with the profile maker; the options
// are its command-line options. Returns whether it succeeded.
bool makeSampleProfile(const QString &folder, const QStringList &options = {});

struct ProgramRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
// Runs a built program of the project (else a program on the PATH) with the given arguments
// and extra environment ("NAME=value"; "NAME=" alone removes NAME).
ProgramRun runProgram(const QString &program, const QStringList &arguments,
                      const QStringList &environment = {}, const QByteArray &input = {});

// Runs a built program with its standard input, output and error on a pseudo-terminal `columns`
// wide, as in a terminal window; `out` holds everything it showed there, in order.
ProgramRun runOnTerminal(const QString &program, const QStringList &arguments,
                         const QStringList &environment = {}, int columns = 80);

// A run of a built program with its cost as the kernel counted it.
struct MeasuredRun {
    int status = -1; // as waitpid gives it
    QByteArray out;
    QByteArray err;
    double cpuSeconds = 0; // user and system time
    qint64 peakKilobytes = 0;
    bool timedOut = false;

    int exitCode() const;
};
struct MeasuredRunOptions {
    // Extra environment, as for runProgram.
    QStringList environment;
    // The run is killed after this long.
    int timeoutSeconds = 60;
    // The folder it runs in; empty: the test's own.
    QString folder{};
    // Called with the process id once it runs, before it is waited for.
    std::function<void(qint64 pid)> started{};
};
MeasuredRun runMeasured(const QString &program, const QStringList &arguments,
                        const MeasuredRunOptions &options = {});

} // namespace quillory::test

#include <QObject>

#include <functional>
#include <memory>

namespace quillory::test {

// Test classes register themselves; the support's main runs every registered class.
using TestFactory = std::function<std::unique_ptr<QObject>()>;
int registerTest(const char *name, TestFactory factory);

} // namespace quillory::test

#define QUILLORY_TEST(Class)                                                                       \
    static const int quilloryTestRegistration_##Class = ::quillory::test::registerTest(            \
        #Class, [] { return std::unique_ptr<QObject>(new Class); });
