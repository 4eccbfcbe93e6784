#include "console/widgets/BoundedPane.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>

void AppendToBoundedPane(QPlainTextEdit& pane, const QString& text, int lines) {
    pane.appendPlainText(text);
    QTextDocument& document = *pane.document();
    if (document.blockCount() <= lines + lines / 20)
        return;
    // From the start of the first line to the start of the first line kept: the line break
    // before it goes with the lines dropped.
    QTextCursor oldest(&document);
    oldest.setPosition(document.findBlockByNumber(document.blockCount() - lines).position(),
                       QTextCursor::KeepAnchor);
    oldest.removeSelectedText();
}
