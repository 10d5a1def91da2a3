#include "schedule/unattendedrunenvironment.h"

#include <QStringList>

namespace quillory {

QList<EnvironmentVariable> unattendedRunEnvironment(const QString &winePrefix,
                                                    const QProcessEnvironment &user)
{
    QString language = user.value(QStringLiteral("LANG"));
    if (language.isEmpty())
        language = QStringLiteral("C.UTF-8");
    QList<EnvironmentVariable> environment = {{QStringLiteral("WINEPREFIX"), winePrefix},
                                              {QStringLiteral("LANG"), language}};
    QStringList names = user.keys();
    names.sort();
    for (const QString &name : names)
        if (name.startsWith(QLatin1String("LC_")) && !user.value(name).isEmpty())
            environment.append({name, user.value(name)});
    return environment;
}

} // namespace quillory
