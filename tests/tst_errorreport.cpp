#include "TestSupport.h"

#include "app/DeferredFailure.h"
#include "app/ErrorReport.h"
#include "app/ErrorTrap.h"
#include "base/Failure.h"

#include <QTest>

namespace {

const QString loadLocation = QStringLiteral("Tessary2016/11/03.Form1.Form_Load");
const QString request =
    QStringLiteral("Please email screenshot of this message to ") + QLatin1String(ErrorReport::supportAddress);

QString locationLine(const QString &location, int line)
{
    return QStringLiteral("in %1 at line %2").arg(location).arg(line);
}

[[noreturn]] void fail(const char *description) { throw Failure(QLatin1String(description)); }

} // namespace

class tst_ErrorReport : public QObject
{
    Q_OBJECT
private slots:
    void init() { TestSupport::clearSettings(); }

    void composedText_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain description")
            << QStringLiteral("File not found") << 154
            << QStringLiteral("File not found\r\nin Tessary2016/11/03.Form1.Form_Load at line 154\r\r") + request;
        QTest::newRow("description with its own line break")
            << QStringLiteral("Disk full\r\nTry again") << 172
            << QStringLiteral("Disk full\r\nTry again\r\nin Tessary2016/11/03.Form1.Form_Load at line 172\r\r") + request;
    }
    void composedText()
    {
        QFETCH(QString, description);
        QFETCH(int, line);
        QFETCH(QString, expected);
        QCOMPARE(ErrorReport::compose(description, loadLocation, line), expected);
    }

    void shownAsFourLinesInAWarningBox_data()
    {
        QTest::addColumn<QString>("description");
        QTest::newRow("one-line description") << QStringLiteral("Printer not ready");
        QTest::newRow("description with line breaks") << QStringLiteral("First line\nSecond line");
    }
    void shownAsFourLinesInAWarningBox()
    {
        QFETCH(QString, description);
        TestSupport::FakeServices services;
        ErrorReport::show(services, nullptr, description, loadLocation, 106);

        QCOMPARE(services.messages.size(), 1u);
        const TestSupport::Message &box = services.messages.front();
        QCOMPARE(box.title, QStringLiteral("Application Error"));
        QCOMPARE(box.icon, MessageIcon::Exclamation);
        const QStringList expected = description.split(QLatin1Char('\n'))
            + QStringList{locationLine(loadLocation, 106), QString(), request};
        QCOMPARE(box.text.split(QLatin1Char('\n')), expected);
    }

    void goesOnAfterEachFailure()
    {
        TestSupport::FakeServices services;
        QStringList ran;
        {
            ErrorTrap trap(services, nullptr, loadLocation);
            trap.at(100, [&] { ran << "100"; });
            trap.at(102, [&] { ran << "102"; fail("First failure"); });
            trap.at(104, [&] { ran << "104"; });
            trap.at(106, [&] { ran << "106"; fail("Second failure"); });
            trap.at(108, [&] { ran << "108"; });
            QCOMPARE(trap.reports(), 2);
        }
        QCOMPARE(ran, (QStringList{"100", "102", "104", "106", "108"}));
        QCOMPARE(services.messages.size(), 2u);
        QVERIFY(services.messages[0].text.startsWith(QStringLiteral("First failure\n") + locationLine(loadLocation, 102) + '\n'));
        QVERIFY(services.messages[1].text.startsWith(QStringLiteral("Second failure\n") + locationLine(loadLocation, 106) + '\n'));
    }

    void failingConditionCountsAsTrue()
    {
        TestSupport::FakeServices services;
        ErrorTrap trap(services, nullptr, loadLocation);
        QVERIFY(trap.test(150, [] { return true; }));
        QVERIFY(!trap.test(150, [] { return false; }));
        QVERIFY(services.messages.empty());
        QVERIFY(trap.test(152, []() -> bool { fail("Path not found"); }));
        QCOMPARE(services.messages.size(), 1u);
        QVERIFY(services.messages[0].text.contains(locationLine(loadLocation, 152)));
    }

    // A change rule cannot throw through Qt's signal delivery, so it records
    // its failure; the statement that set the field reports it at its own line.
    void deferredFailureReportedAtItsStatement()
    {
        TestSupport::FakeServices services;
        DeferredFailure deferred;
        auto changeRule = [&] {
            if (deferred.armed())
                deferred.record(Failure(QStringLiteral("Settings not saved")));
        };
        {
            ErrorTrap trap(services, nullptr, loadLocation, &deferred);
            trap.at(128, [] {});
            trap.at(130, [&] { changeRule(); });
            trap.at(132, [&] { changeRule(); fail("Statement failed too"); });
            QVERIFY(trap.test(150, [&] { changeRule(); return false; }));
            trap.at(152, [] {});
        }
        QVERIFY(!deferred.armed());

        QStringList shown;
        for (const auto &box : services.messages)
            shown << box.text.section(QLatin1Char('\n'), 0, 1);
        QCOMPARE(shown, (QStringList{
                            QStringLiteral("Settings not saved\n") + locationLine(loadLocation, 130),
                            QStringLiteral("Settings not saved\n") + locationLine(loadLocation, 132),
                            QStringLiteral("Statement failed too\n") + locationLine(loadLocation, 132),
                            QStringLiteral("Settings not saved\n") + locationLine(loadLocation, 150),
                        }));
    }

    // The fit toggle run from the start-up restore reports its own failures.
    void nestedProcedureReportsItsOwnFailures()
    {
        TestSupport::FakeServices services;
        DeferredFailure deferred;
        const QString fitLocation = QStringLiteral("Tessary2016/11/03.Form1.PushButton2_Click");
        ErrorTrap outer(services, nullptr, loadLocation, &deferred);
        outer.at(164, [&] {
            ErrorTrap inner(services, nullptr, fitLocation, &deferred);
            inner.at(100, [&] { deferred.record(Failure(QStringLiteral("Access denied"))); });
        });
        QCOMPARE(outer.reports(), 0);
        QCOMPARE(services.messages.size(), 1u);
        QVERIFY(services.messages[0].text.contains(locationLine(fitLocation, 100)));
    }
};

QTEST_GUILESS_MAIN(tst_ErrorReport)
#include "tst_errorreport.moc"
