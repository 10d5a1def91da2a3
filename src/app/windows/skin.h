#pragma once

#include <QString>

class QWidget;

namespace quillory {

// The look every window of the program shares: a Qt style sheet read from the skin file. A skin
// that is missing or malformed leaves the windows in the default look, without a message.
class Skin {
public:
    // The skin file of every window: skins/frmmain.skn below the program folder.
    static QString windowSkinPath();

    bool load(const QString &path);
    bool isLoaded() const { return !m_styleSheet.isEmpty(); }
    const QString &styleSheet() const { return m_styleSheet; }
    void apply(QWidget *window) const;

private:
    QString m_styleSheet;
};

} // namespace quillory
