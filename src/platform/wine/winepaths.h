#pragma once

#include <QHash>
#include <QString>

#include <optional>

namespace quillory {

// Maps Windows paths of a Wine prefix to host paths the way Wine itself resolves them: drives
// through the prefix's dosdevices links, names matched without regard to case.
class WinePaths {
public:
    // Variable names compare without regard to case, as in a Windows environment.
    using Variables = QHash<QString, QString>;

    explicit WinePaths(QString prefixPath);

    const QString &prefixPath() const { return m_prefix; }

    // The host path for an absolute Windows path (X:\..., \\server\share\..., \\?\unix\...),
    // after expanding %NAME% from `variables`. Parts that exist take their spelling on disk;
    // the rest keep the given spelling, so the result may name something still to be created.
    // The path goes through the dosdevices links and any other link on the way, as Wine's
    // does. nullopt for a relative path or a drive or share the prefix does not have.
    std::optional<QString> toHostPath(const QString &windowsPath,
                                      const Variables &variables = {}) const;

    // The same path with every link resolved; nullopt unless it exists.
    std::optional<QString> toCanonicalHostPath(const QString &windowsPath,
                                               const Variables &variables = {}) const;

    // Replaces each %NAME% whose name is in `variables`; unknown names stay as written.
    static QString expandVariables(const QString &text, const Variables &variables);

private:
    QString m_prefix;
};

} // namespace quillory
