#pragma once

#include "sampleoptions.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

// The registry files of the sample prefix, written as wineserver writes them.
namespace SampleRegistry {

QByteArray userReg(const SampleOptions &options, const QList<SampleAccount> &accounts,
                   const QStringList &ldapFiles);
QByteArray systemReg();

} // namespace SampleRegistry
