// The re-entry rules on their own, without a window: blocking operations nest and hold input
// from the first to the last, a close asked for meanwhile runs only after the last has ended and
// outside it, the tick never runs inside itself, and a record being shown is known as such.
#include "console/session/ReentryGuard.h"

#include <QObject>
#include <QTest>

#include <vector>

class ReentryGuardTest : public QObject {
    Q_OBJECT

private slots:
    void ACloseDuringNestedBlockingOperationsRunsAfterTheLastAndOutsideIt() {
        QObject context;
        std::vector<bool> held;
        bool engine = true;
        int closes = 0;
        int depthAtClose = -1;
        TReentryGuard* self = nullptr;
        TReentryGuard guard(context, {[&](bool h) { held.push_back(h); }, [&] { return engine; },
                                      [&](bool run) { engine = run; },
                                      [&] {
                                          ++closes;
                                          depthAtClose = self->InBlockingOperation() ? 1 : 0;
                                      }});
        self = &guard;
        {
            TReentryGuard::TBlockingOperation outer(guard, false);
            {
                TReentryGuard::TBlockingOperation inner(guard, true);
                QVERIFY(!engine);
                QCOMPARE(guard.RequestClose(), TReentryGuard::TClose::Deferred);
                QVERIFY(guard.ClosePending());
            }
            // The inner operation gave the engine back; the outer one still holds input.
            QVERIFY(engine);
            QTest::qWait(20);
            QCOMPARE(closes, 0);
        }
        QCOMPARE(held, (std::vector<bool>{true, false}));
        QCOMPARE(closes, 0); // not inside the operation's own call stack
        QTRY_COMPARE(closes, 1);
        QCOMPARE(depthAtClose, 0);
        QVERIFY(!guard.ClosePending());

        QCOMPARE(guard.RequestClose(), TReentryGuard::TClose::Proceed);
        QVERIFY(guard.Closing());
        QCOMPARE(guard.RequestClose(), TReentryGuard::TClose::Ignored);
        // A closing window does not get its engine back from an operation that stopped it.
        { TReentryGuard::TBlockingOperation stop(guard, true); }
        QVERIFY(!engine);
    }

    void ATickNeverRunsInsideItselfAndShowingNests() {
        QObject context;
        TReentryGuard guard(context, {});
        {
            const TReentryGuard::TTick tick(guard);
            QVERIFY(tick.Entered());
            const TReentryGuard::TTick nested(guard);
            QVERIFY(!nested.Entered());
        }
        QVERIFY(TReentryGuard::TTick(guard).Entered());

        QVERIFY(!guard.Showing());
        {
            const TReentryGuard::TShowing shown(guard);
            {
                const TReentryGuard::TShowing again(guard);
                QVERIFY(guard.Showing());
            }
            QVERIFY(guard.Showing());
        }
        QVERIFY(!guard.Showing());
    }
};

QTEST_MAIN(ReentryGuardTest)
#include "ReentryGuardTest.moc"
