#include "console/adapters/QtDiagnosticsViewer.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>

#include <thread>
#include <vector>

class QtDiagnosticsViewerTest : public QObject {
    Q_OBJECT
private slots:
    void MessagesFromWorkersAreListedOnTheMainThread();
    void TheCheckBoxesSwitchTheCategories();
    void TheListIsBounded();
};

void QtDiagnosticsViewerTest::MessagesFromWorkersAreListedOnTheMainThread() {
    TDiagnosticsViewer viewer;
    SetDiagnostics(&viewer);
    std::vector<std::thread> workers;
    for (int w = 0; w < 3; ++w)
        workers.emplace_back([w] {
            for (int i = 0; i < 100; ++i)
                Diagnostic("ThreadMFC",
                           "worker " + std::to_string(w) + " loop " + std::to_string(i));
        });
    for (auto& worker : workers)
        worker.join();
    Diagnostic("SerialPort", "traced bytes"); // switched off at start: not listed
    SetDiagnostics(nullptr);

    QPlainTextEdit* lines = viewer.findChild<QPlainTextEdit*>("MemoDiagnostics");
    QTRY_COMPARE(lines->blockCount(), 300);
    const QString first = lines->document()->firstBlock().text();
    QVERIFY2(first.startsWith("ThreadMFC") && first.contains("worker "), qPrintable(first));
    QVERIFY(first.contains(QRegularExpression("\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d")));
    QVERIFY(!lines->toPlainText().contains("traced bytes"));
}

void QtDiagnosticsViewerTest::TheCheckBoxesSwitchTheCategories() {
    TDiagnosticsViewer viewer;
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    auto* serial = viewer.findChild<QCheckBox*>("CheckBoxSerialPort");
    auto* mfc = viewer.findChild<QCheckBox*>("CheckBoxMFC");
    QVERIFY(serial && mfc);
    QVERIFY(!serial->isChecked());
    QVERIFY(mfc->isChecked());
    const QPoint indicator(8, mfc->height() / 2); // the box, not the empty space after its text

    QTest::mouseClick(mfc, Qt::LeftButton, {}, indicator);
    QVERIFY(!IsDiagnosticCategoryEnabled("MFC"));
    QTest::mouseClick(mfc, Qt::LeftButton, {}, indicator);
    QVERIFY(IsDiagnosticCategoryEnabled("MFC"));

    // A category seen for the first time gets its own box.
    viewer.Send("Custom unit", "hello");
    QTRY_VERIFY(viewer.findChild<QCheckBox*>("CheckBoxCustomunit"));
}

void QtDiagnosticsViewerTest::TheListIsBounded() {
    TDiagnosticsViewer viewer;
    for (int i = 0; i < TDiagnosticsViewer::MaxQueued + 500; ++i)
        viewer.Send("MFC", "line " + std::to_string(i));
    QPlainTextEdit* lines = viewer.findChild<QPlainTextEdit*>("MemoDiagnostics");
    QTRY_VERIFY(lines->blockCount() > 1);
    // The pane drops its oldest lines a margin at a time.
    QVERIFY(lines->blockCount() <=
            TDiagnosticsViewer::MaxLines + TDiagnosticsViewer::MaxLines / 20);
    QVERIFY(lines->toPlainText().contains("(500 messages dropped)"));
    // Nothing dropped is kept behind the list either.
    QCOMPARE(lines->document()->availableUndoSteps(), 0);
    QVERIFY(lines->document()->lastBlock().text().endsWith(
        QString("line %1").arg(TDiagnosticsViewer::MaxQueued + 499)));
}

QTEST_MAIN(QtDiagnosticsViewerTest)
#include "QtDiagnosticsViewerTest.moc"
