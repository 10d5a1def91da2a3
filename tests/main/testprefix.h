#pragma once

#include <QString>
#include <QTemporaryDir>

namespace quillory::test {

// A minimal Wine prefix holding a Windows Live Mail profile: the mail key with its store marker,
// one mail rule, the shell folders, drive C: and the store folder. Callers change it through
// the paths it gives before a window loads it.
class TestPrefix {
public:
    enum class Profile { Complete, WithoutMailClient, WithoutLocalAppData };

    explicit TestPrefix(Profile profile = Profile::Complete);

    bool isValid() const { return m_valid; }
    QString path() const { return m_dir.path(); }
    QString storeFolder() const;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};

} // namespace quillory::test
