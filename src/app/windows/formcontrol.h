#pragma once

#include <QLatin1String>
#include <QObject>

namespace quillory {

// A control of a form by its object name; the form's layout is fixed, so a missing one is a
// programming error.
template <typename Widget> Widget *formControl(const QObject &form, const char *name)
{
    auto *widget = form.findChild<Widget *>(QLatin1String(name));
    Q_ASSERT(widget);
    return widget;
}

} // namespace quillory
