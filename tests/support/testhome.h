#pragma once

#include <QString>

namespace TestHome {

// Fails the whole test run unless HOME and the XDG folders point at a temporary folder, so a test that
// is started outside ctest never touches the real user's files.
void requireIsolation();

// A file of tests/data.
QString dataFile(const QString& name);

} // namespace TestHome

#include <QCoreApplication>
#include <QTest>

// QTEST_GUILESS_MAIN, after checking that the test runs in a temporary home.
#define PORTHIVE_TEST_MAIN(TestObject)                                                                                 \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        TestHome::requireIsolation();                                                                                  \
        QCoreApplication app(argc, argv);                                                                              \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
