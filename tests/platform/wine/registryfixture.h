#pragma once

#include "support/testsupport.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

namespace quillory::test {

constexpr char wineHeader[] = "WINE REGISTRY Version 2\n"
                              ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
                              "\n"
                              "#arch=win64\n";

// A user.reg written by real Wine 8 (wine reg add, saved by wineserver).
inline QByteArray wineWrittenUserReg()
{
    return readFile(QFINDTESTDATA("data/wlm-user.reg"));
}

// String data as the ANSI registry calls give it: UTF-8 with the terminating zero.
inline QByteArray sz(const char *utf8)
{
    return QByteArray(utf8) + '\0';
}

inline QString userReg(const QTemporaryDir &prefix)
{
    return prefix.filePath(QStringLiteral("user.reg"));
}

} // namespace quillory::test
