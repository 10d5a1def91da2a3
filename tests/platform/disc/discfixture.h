#pragma once

#include "platform/disc/burndiscwriter.h"

#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace quillory::test {

// Every event of a disc writer, in order, as "Name(arguments)".
class DiscEvents : public QObject {
public:
    explicit DiscEvents(DiscWriter &writer);
    QStringList names() const;
    bool has(const QString &name) const { return names().contains(name); }
    // Runs the event loop until an event that ends an operation arrives (or a minute passed).
    bool waitForEnd(const QStringList &ends = {
                        QStringLiteral("WriteCompleted"), QStringLiteral("WriteCancelled"),
                        QStringLiteral("WriteError"), QStringLiteral("VerifyCompleted"),
                        QStringLiteral("EraseCompleted")});
    QStringList log;
};

// A disc writer whose only drive is an image file in a fresh folder.
struct ImageDrive {
    QTemporaryDir folder;
    QString image;
    std::unique_ptr<BurnDiscWriter> writer;
    std::unique_ptr<DiscEvents> events;

    ImageDrive();
    // Selects the image file's drive again, so that the facts show the file as it is now.
    bool reselect();
    // A source tree in the folder: nested directories and files of several sizes.
    QString makeSources(const QString &name = QStringLiteral("src"));
};

// The files an image holds, extracted by xorriso (Rock Ridge names) or 7-Zip (Joliet names).
QMap<QString, QByteArray> extractedWithXorriso(const QString &image, const QString &into);
QMap<QString, QByteArray> extractedWith7zip(const QString &image, const QString &into);

} // namespace quillory::test
