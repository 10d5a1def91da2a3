#include "main/startoptions.h"

#include <cstdio>
#include <cstring>

namespace quillory {

namespace {

constexpr const char *usage =
    "Usage: brevnor\n"
    "       brevnor sf=USERxm=ITEMSps=PASSWORDbf=ARCHIVE\n"
    "       brevnor --job FILE [--if-missed]\n"
    "\n"
    "Without arguments, brevnor opens Quillory's window.\n"
    "With argument text it makes one backup without any window and exits: USER is the user\n"
    "who scheduled it, ITEMS ten digits 1 or 0 in the order of the item list, PASSWORD the\n"
    "archive's password (empty for none) and ARCHIVE the archive's full path, each value\n"
    "running straight into the next key.\n"
    "With --job it reads that text from FILE, as scheduled backups do, so that no other user\n"
    "sees the password, and records the outcome in FILE.last. With --if-missed it backs up\n"
    "only when one of the job's scheduled times has passed since its last complete run.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text\n";

} // namespace

std::optional<int> answerStartOptions(int argc, char *argv[])
{
    // Argument text begins with its first key; only an option begins with "-".
    if (argc < 2 || argv[1][0] != '-' || std::strcmp(argv[1], "--job") == 0)
        return std::nullopt;
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(usage, stdout);
        return 0;
    }
    std::fprintf(stderr, "brevnor: unknown option %s\n\n%s", argv[1], usage);
    return 2;
}

} // namespace quillory
