#include "console/widgets/BoundedPane.h"

#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>

class BoundedPaneTest : public QObject {
    Q_OBJECT
private slots:
    void KeepsTheLastLinesWholeAndDropsTheOldestInOnePiece_data();
    void KeepsTheLastLinesWholeAndDropsTheOldestInOnePiece();
};

void BoundedPaneTest::KeepsTheLastLinesWholeAndDropsTheOldestInOnePiece_data() {
    QTest::addColumn<int>("appended");
    QTest::addColumn<int>("held");
    QTest::addColumn<int>("firstHeld");
    // 100 lines and a margin of 5.
    QTest::newRow("under the bound") << 60 << 60 << 0;
    QTest::newRow("within the margin") << 105 << 105 << 0;
    QTest::newRow("over the margin") << 106 << 100 << 6;
    QTest::newRow("over it again") << 112 << 100 << 12;
    QTest::newRow("within the next margin") << 117 << 105 << 12;
}

void BoundedPaneTest::KeepsTheLastLinesWholeAndDropsTheOldestInOnePiece() {
    QFETCH(int, appended);
    QFETCH(int, held);
    QFETCH(int, firstHeld);
    QPlainTextEdit pane;
    pane.setLineWrapMode(QPlainTextEdit::NoWrap);
    pane.show();
    for (int i = 0; i < appended; ++i)
        AppendToBoundedPane(pane, QStringLiteral("line %1").arg(i), 100);
    QTextDocument& document = *pane.document();
    QCOMPARE(document.blockCount(), held);
    QCOMPARE(document.firstBlock().text(), QStringLiteral("line %1").arg(firstHeld));
    QCOMPARE(document.lastBlock().text(), QStringLiteral("line %1").arg(appended - 1));
}

QTEST_MAIN(BoundedPaneTest)
#include "BoundedPaneTest.moc"
