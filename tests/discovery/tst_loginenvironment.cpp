#include "discovery/loginenvironment.h"
#include "support/processfiles.h"
#include "support/testhome.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class TestLoginEnvironment : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readOnceAndAgainAfterAFailure();
};

// A login shell that fails or hangs is asked again on the next call; once read, the environment stays what it was,
// whatever the start-up files say later.
void TestLoginEnvironment::readOnceAndAgainAfterAFailure()
{
    const QString profile = QDir::homePath() + u"/.profile"_s;
    LoginShellEnvironment environment(u"/bin/dash"_s, 1s);

    QVERIFY(ProcessFiles::writeFile(profile, "exit 1\n"));
    QCOMPARE(environment.environment(), std::nullopt);
    QVERIFY(ProcessFiles::writeFile(profile, "sleep 600\n"));
    QCOMPARE(environment.environment(), std::nullopt);

    QVERIFY(ProcessFiles::writeFile(profile, "echo hello\nexport MYTOOL_DIR=/opt/one\n"));
    const std::optional<QList<QByteArray>> read = environment.environment();
    QVERIFY(read);
    QVERIFY(read->contains("MYTOOL_DIR=/opt/one"));

    QVERIFY(ProcessFiles::writeFile(profile, "exit 1\n"));
    QCOMPARE(environment.environment(), read);
}

PORTHIVE_TEST_MAIN(TestLoginEnvironment)
#include "tst_loginenvironment.moc"
