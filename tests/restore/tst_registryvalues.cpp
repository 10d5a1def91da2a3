#include "app/storediscovery.h"
#include "platform/wine/wineregistrystore.h"
#include "registry/modreg.h"
#include "restorefixture.h"

#include <QSet>
#include <QTest>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::StringLiterals;

namespace {

// Every key ("path\") and every value ("path\name") of the prefix's user.reg.
QMap<QString, RegistryValue> userRegistry(const QString &prefix)
{
    const WineRegistryStore store(prefix);
    const RegistryRoot user = RegistryRoot::CurrentUser;
    QMap<QString, RegistryValue> tree;
    QStringList pending{QString()};
    while (!pending.isEmpty()) {
        const QString path = pending.takeLast();
        tree.insert(path + u'\\', {});
        for (const RegistryValue &value : store.values(user, path).value_or(QList<RegistryValue>()))
            tree.insert(path + u'\\' + value.name, value);
        for (const QString &name : store.subkeys(user, path))
            pending.append(path.isEmpty() ? name : path + u'\\' + name);
    }
    return tree;
}

} // namespace

// A backup of every registry item, restored over the same profile after its keys were deleted,
// brings back all of user.reg, whatever the type of a value.
class RegistryValuesTest : public QObject {
    Q_OBJECT

    SampleProfile m_profile;
    QTemporaryDir m_dir;
    QMap<QString, RegistryValue> m_before;
    QMap<QString, RegistryValue> m_after;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_profile.isValid());
        m_before = userRegistry(m_profile.path());
        // The sample keeps its multi-strings and QWORDs in the mail client's keys.
        QSet<std::uint32_t> types;
        for (const RegistryValue &value : std::as_const(m_before))
            types.insert(value.type);
        QVERIFY(types.contains(RegType::MultiSz) && types.contains(RegType::Qword));

        const ItemFlags items = itemsOf({1, 3, 4, 7, 9});
        const QString archive = m_dir.filePath(u"registry.wlm"_s);
        const Result backedUp = backUp(m_profile.path(), archive, items);
        QVERIFY2(backedUp, qPrintable(backedUp.message()));
        {
            ScriptedDialogs dialogs;
            WineRegistryStore store(m_profile.path());
            modReg reg(store, dialogs);
            for (const QString &key : registryKeys)
                reg.DeleteKeyTree(key);
            QVERIFY(!reg.KeyExists(MailKeys::mailRules));
        }
        Session session(m_profile.path());
        QCOMPARE(session.open(archive).status, OpenStatus::Opened);
        const RestoreOutcome outcome = session.restore(items);
        QVERIFY2(outcome.allRestored(), qPrintable(outcome.problems.join(u'\n')));
        m_after = userRegistry(m_profile.path());
    }

    void everyValueComesBackTypeForType_data()
    {
        QTest::addColumn<QString>("name");
        QStringList names = m_before.keys() + m_after.keys();
        names.removeDuplicates();
        for (const QString &name : std::as_const(names))
            QTest::newRow(qPrintable(name)) << name;
    }

    void everyValueComesBackTypeForType()
    {
        QFETCH(QString, name);
        QCOMPARE(m_after.contains(name), m_before.contains(name));
        QCOMPARE(m_after.value(name).type, m_before.value(name).type);
        QCOMPARE(m_after.value(name).data, m_before.value(name).data);
    }
};

QUILLORY_TEST(RegistryValuesTest)
#include "tst_registryvalues.moc"
