#pragma once

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <initializer_list>

namespace quillory::test {

// Opens `dialog` with exec(), as the burning window does, and acts on it from inside its modal
// loop as a user would. A dialog the action leaves open is closed, so that a failing test ends;
// the answer says whether it was left open.
inline bool execAndLeftOpen(QDialog &dialog, const std::function<void()> &action)
{
    bool leftOpen = false;
    QTimer::singleShot(0, &dialog, [&] {
        action();
        leftOpen = dialog.isVisible();
        dialog.hide();
    });
    dialog.exec();
    return leftOpen;
}

// A list of texts from literals.
inline QStringList strings(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list.append(QString::fromUtf8(item));
    return list;
}

inline QString labelText(const QDialog &dialog, const QString &name)
{
    const auto *label = dialog.findChild<QLabel *>(name);
    return label ? label->text() : QStringLiteral("(no %1)").arg(name);
}

// "Name" for each enabled widget or ticked box of `names`, "-Name" for the others.
inline QStringList controlStates(const QDialog &dialog, const QStringList &names)
{
    QStringList states;
    for (const QString &name : names) {
        const auto *widget = dialog.findChild<QWidget *>(name);
        const auto *box = qobject_cast<const QAbstractButton *>(widget);
        const bool on =
            box && box->isCheckable() ? box->isChecked() : widget && widget->isEnabled();
        states.append(on ? name : QLatin1Char('-') + name);
    }
    return states;
}

} // namespace quillory::test
