#include "main/jobstart.h"

#include "backup/autobackup.h"
#include "main/unattended.h"
#include "platform/cron/jobfile.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstring>

namespace quillory {

bool isJobStart(int argc, char *argv[])
{
    return argc >= 2 && std::strcmp(argv[1], "--job") == 0;
}

int runJob(int argc, char *argv[])
{
    if (argc != 3) {
        std::fputs("Usage: brevnor --job FILE\n", stderr);
        return AutoBackupExit::NotWritten;
    }
    const Expected<QString> arguments = readJobFile(QString::fromLocal8Bit(argv[2]));
    if (!arguments) {
        std::fprintf(stderr, "%s\n", arguments.message().toLocal8Bit().constData());
        return AutoBackupExit::NotWritten;
    }
    // The text stays in this process's memory: the process list shows only the file's name.
    QByteArray text = arguments->toLocal8Bit();
    char *jobArgv[] = {argv[0], text.data(), nullptr};
    return runUnattended(2, jobArgv);
}

} // namespace quillory
