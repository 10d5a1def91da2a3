#include "support/testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quillory::test {

MessageAnswer ScriptedDialogs::message(const QString &text, const QString &title, MessageIcon icon,
                                       MessageButtons buttons, const QString &details)
{
    shown.append({QStringLiteral("message"), text, title, icon, buttons, details});
    if (!answers.isEmpty())
        return answers.dequeue();
    return buttons == MessageButtons::Ok || buttons == MessageButtons::OkCancel
               ? MessageAnswer::Ok
               : MessageAnswer::Yes;
}

std::optional<QString> ScriptedDialogs::saveFileName(const QString &title, const QString &folder,
                                                     const QString &proposedName,
                                                     const QString &filter)
{
    shown.append({QStringLiteral("save"),
                  folder + QLatin1Char('|') + proposedName + QLatin1Char('|') + filter, title});
    return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.dequeue();
}

std::optional<QString> ScriptedDialogs::openFileName(const QString &title, const QString &folder,
                                                     const QString &proposedName,
                                                     const QString &filter)
{
    shown.append({QStringLiteral("open"),
                  folder + QLatin1Char('|') + proposedName + QLatin1Char('|') + filter, title});
    return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.dequeue();
}

QStringList ScriptedDialogs::openFileNames(const QString &title, const QString &folder,
                                           const QString &filter)
{
    shown.append({QStringLiteral("open"), folder + QLatin1Char('|') + filter, title});
    const std::optional<QString> answer =
        fileAnswers.isEmpty() ? std::nullopt : fileAnswers.dequeue();
    return answer ? answer->split(QLatin1Char('|')) : QStringList();
}

std::optional<QString> ScriptedDialogs::folderName(const QString &title, const QString &folder)
{
    shown.append({QStringLiteral("folder"), folder, title});
    return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.dequeue();
}

std::optional<QString> ScriptedDialogs::password(const QString &archivePath)
{
    shown.append({QStringLiteral("password"), archivePath, QString()});
    return passwordAnswers.isEmpty() ? std::nullopt : passwordAnswers.dequeue();
}

QStringList ScriptedDialogs::messageTexts() const
{
    QStringList texts;
    for (const Shown &s : shown)
        if (s.kind == QLatin1String("message"))
            texts.append(s.text);
    return texts;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray bytes(size + 3, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    bytes.truncate(size);
    return bytes;
}

QMap<QString, QByteArray> treeOf(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        if (it.fileInfo().isDir())
            tree.insert(relative + QLatin1Char('/'), {});
        else
            tree.insert(relative, readFile(path));
    }
    return tree;
}

QString binDir()
{
    const QString fromEnv = qEnvironmentVariable("QUILLORY_BIN_DIR");
    return fromEnv.isEmpty() ? QCoreApplication::applicationDirPath() : fromEnv;
}

QString sourceDir()
{
    return qEnvironmentVariable("QUILLORY_SOURCE_DIR");
}

namespace {

// The test's own environment with each "NAME=value" set, and each "NAME=" removed.
QProcessEnvironment environmentWith(const QStringList &assignments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &assignment : assignments) {
        const QString name = assignment.section(QLatin1Char('='), 0, 0);
        const QString value = assignment.section(QLatin1Char('='), 1);
        if (value.isEmpty())
            env.remove(name);
        else
            env.insert(name, value);
    }
    return env;
}

} // namespace

FileSizeLimit::FileSizeLimit(quint64 bytes)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
    m_oldCurrent = limit.rlim_cur;
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = rlim_t(bytes);
    m_set = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0) {
        limit.rlim_cur = rlim_t(m_oldCurrent);
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::signal(SIGXFSZ, m_oldHandler);
}

ProgramRun runProgram(const QString &program, const QStringList &arguments,
                      const QStringList &environment, const QByteArray &input)
{
    QProcess process;
    QProcessEnvironment env = environmentWith(environment);
    process.setProcessEnvironment(env);
    const QString built = QDir(binDir()).filePath(program);
    process.start(QFileInfo::exists(built) ? built : program, arguments);
    ProgramRun run;
    if (!process.waitForStarted(-1))
        return run;
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

ProgramRun runOnTerminal(const QString &program, const QStringList &arguments,
                         const QStringList &environment, int columns)
{
    ProgramRun run;
    const QStringList assignments = environmentWith(environment).toStringList();
    // Everything the child needs is made before the fork: after it, only system calls.
    std::vector<QByteArray> strings{QFile::encodeName(QDir(binDir()).filePath(program))};
    for (const QString &argument : arguments)
        strings.push_back(QFile::encodeName(argument));
    const size_t argumentCount = strings.size();
    for (const QString &assignment : assignments)
        strings.push_back(assignment.toLocal8Bit());
    std::vector<char *> argv;
    std::vector<char *> envp;
    for (size_t i = 0; i < strings.size(); ++i)
        (i < argumentCount ? argv : envp).push_back(strings[i].data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    winsize size{};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    int terminal = -1;
    int side = -1;
    if (::openpty(&terminal, &side, nullptr, nullptr, &size) != 0)
        return run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        ::ioctl(side, TIOCSCTTY, 0);
        for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
            ::dup2(side, stream);
        ::close(side);
        ::close(terminal);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(side);
    if (pid < 0) {
        ::close(terminal);
        return run;
    }
    // The terminal reports an error once the program, and whatever it started, let go of it.
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(terminal, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        run.out.append(buffer, n);
    }
    ::close(terminal);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

int MeasuredRun::exitCode() const
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

MeasuredRun runMeasured(const QString &program, const QStringList &arguments,
                        const MeasuredRunOptions &options)
{
    QProcessEnvironment env = environmentWith(options.environment);
    // Everything the child needs is made before the fork: after it, only system calls.
    const QString built = QDir(binDir()).filePath(program);
    std::vector<QByteArray> argStrings{
        QFile::encodeName(QFileInfo::exists(built) ? built : program)};
    for (const QString &argument : arguments)
        argStrings.push_back(QFile::encodeName(argument));
    std::vector<QByteArray> envStrings;
    for (const QString &assignment : env.toStringList())
        envStrings.push_back(assignment.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (QByteArray &e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    QTemporaryFile out;
    QTemporaryFile err;
    MeasuredRun run;
    if (!out.open() || !err.open())
        return run;
    const QByteArray folder = QFile::encodeName(options.folder);

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out.handle(), STDOUT_FILENO);
        ::dup2(err.handle(), STDERR_FILENO);
        const int nothing = ::open("/dev/null", O_RDONLY);
        ::dup2(nothing, STDIN_FILENO);
        if (!folder.isEmpty() && ::chdir(folder.constData()) != 0)
            ::_exit(127);
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (pid < 0)
        return run;
    if (options.started)
        options.started(pid);
    rusage usage{};
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const pid_t done = ::wait4(pid, &run.status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return run;
        if (!run.timedOut && clock.elapsed() > options.timeoutSeconds * 1000) {
            run.timedOut = true;
            ::kill(pid, SIGKILL);
        }
        QThread::msleep(10);
    }
    run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakKilobytes = usage.ru_maxrss;
    run.out = readFile(out.fileName());
    run.err = readFile(err.fileName());
    return run;
}

qint64 gonePid()
{
    QProcess process;
    process.start(QStringLiteral("true"), {});
    process.waitForStarted(-1);
    const qint64 pid = process.processId();
    process.waitForFinished(-1);
    return pid;
}

bool makeSampleProfile(const QString &folder, const QStringList &options)
{
    return runProgram(QStringLiteral("quillory-make-profile"), options + QStringList{folder})
               .exitCode == 0;
}

} // namespace quillory::test

#include <QMetaMethod>
#include <QSet>
#include <QTest>
#ifdef QUILLORY_TEST_WIDGETS
#include <QApplication>
#endif

#include <vector>

namespace quillory::test {

namespace {
std::vector<std::pair<const char *, TestFactory>> &registry()
{
    static std::vector<std::pair<const char *, TestFactory>> tests;
    return tests;
}
} // namespace

int registerTest(const char *name, TestFactory factory)
{
    registry().emplace_back(name, std::move(factory));
    return int(registry().size());
}

} // namespace quillory::test

int main(int argc, char *argv[])
{
#ifdef QUILLORY_TEST_WIDGETS
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    std::vector<std::unique_ptr<QObject>> tests;
    for (auto &[name, factory] : quillory::test::registry())
        tests.push_back(factory());
    // Test functions named on the command line run in the classes that have them.
    const auto functionsOf = [](const QObject &test) {
        QSet<QByteArray> names;
        const QMetaObject *meta = test.metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
            names.insert(meta->method(i).name());
        return names;
    };
    QSet<QByteArray> everyFunction;
    for (const std::unique_ptr<QObject> &test : tests)
        everyFunction.unite(functionsOf(*test));
    QSet<QByteArray> named;
    for (int i = 1; i < argc; ++i)
        if (const QByteArray name = QByteArray(argv[i]).split(':').first();
            everyFunction.contains(name))
            named.insert(name);
    int failures = 0;
    for (const std::unique_ptr<QObject> &test : tests)
        if (named.isEmpty() || functionsOf(*test).intersects(named))
            failures += QTest::qExec(test.get(), argc, argv) != 0 ? 1 : 0;
    return failures == 0 ? 0 : 1;
}
