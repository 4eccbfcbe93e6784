#include "console/widgets/RichTextLabel.h"

#include <QHash>
#include <QRegularExpression>

namespace {

bool IsColour(const QString& text) {
    static const QRegularExpression colour("^#[0-9A-Fa-f]{6}$");
    return colour.match(text).hasMatch();
}

// "thick=1,lncolor=#000000, margin=2" -> {thick: 1, lncolor: #000000, margin: 2}
QHash<QString, QString> Parameters(const QString& text) {
    QHash<QString, QString> result;
    for (const QString& pair : text.split(',', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf('=');
        if (eq > 0)
            result.insert(pair.left(eq).trimmed().toLower(), pair.mid(eq + 1).trimmed());
    }
    return result;
}

int Pixels(const QHash<QString, QString>& parameters, const QString& name, int fallback) {
    bool ok = false;
    const int value = parameters.value(name).toInt(&ok);
    return ok && value >= 0 && value <= 1000 ? value : fallback;
}

// Qt's rich text draws borders around table cells but not around blocks, so a box is a table of
// one cell with a border per side.
QString OpenBox(const QString& parameterText) {
    const auto p = Parameters(parameterText);
    const int thick = Pixels(p, "thick", 0);
    const int pad = Pixels(p, "pad", 0);
    const QString colour = IsColour(p.value("lncolor")) ? p.value("lncolor") : QString("#000000");
    QString cell;
    for (const char* side : {"top", "right", "bottom", "left"}) {
        const QString name(side);
        const int width = Pixels(p, "thick_" + name, thick);
        // A side without a thickness is switched off explicitly: a collapsed table would
        // otherwise draw its own border there.
        cell += width > 0 ? QString("border-%1:%2px solid %3;").arg(name).arg(width).arg(colour)
                          : QString("border-%1:0px none;").arg(name);
        cell += QString("padding-%1:%2px;").arg(name).arg(Pixels(p, "pad_" + name, pad));
    }
    return QString("<table cellspacing=\"0\" cellpadding=\"0\" "
                   "style=\"border-collapse:collapse;margin:%1px;\"><tr><td style=\"%2\">")
        .arg(Pixels(p, "margin", 0))
        .arg(cell);
}

} // namespace

QString TipMarkupToHtml(const QString& markup) {
    QString html;
    html.reserve(markup.size() * 2);
    int openBoxes = 0;
    qsizetype pos = 0;
    while (pos < markup.size()) {
        const qsizetype open = markup.indexOf('<', pos);
        if (open < 0) {
            html += markup.mid(pos);
            break;
        }
        html += markup.mid(pos, open - pos);
        const qsizetype close = markup.indexOf('>', open + 1);
        if (close < 0) {
            html += "&lt;";
            pos = open + 1;
            continue;
        }
        const QString tag = markup.mid(open + 1, close - open - 1);
        const qsizetype colon = tag.indexOf(':');
        const QString name = (colon < 0 ? tag : tag.left(colon)).trimmed().toLower();
        const QString argument = colon < 0 ? QString() : tag.mid(colon + 1).trimmed();

        QString replacement;
        bool known = true;
        if (name == "b" || name == "/b" || name == "i" || name == "/i" || name == "sub" ||
            name == "/sub") {
            replacement = "<" + name + ">";
        } else if (name == "br") {
            replacement = "<br/>";
        } else if (name == "bc") {
            replacement = IsColour(argument)
                              ? QString("<span style=\"background-color:%1;\">").arg(argument)
                              : QString("<span>");
        } else if (name == "/bc") {
            replacement = "</span>";
        } else if (name == "line") {
            // Qt centres an <hr> and draws it across the whole block; a table of one cell with
            // a top border gives a left-aligned rule. The width goes on the cell: inside a box,
            // a width on the table would be stretched to the box.
            const int width = Pixels(Parameters(argument), "width", 100);
            replacement = QString("<table cellspacing=\"0\" cellpadding=\"0\" "
                                  "style=\"border-collapse:collapse;\"><tr><td width=\"%1\" "
                                  "style=\"border-top:1px solid #808080;border-right:0px none;"
                                  "border-bottom:0px none;border-left:0px none;font-size:1px;\">"
                                  "&nbsp;</td></tr></table>")
                              .arg(width);
        } else if (name == "div") {
            replacement = OpenBox(argument);
            ++openBoxes;
        } else if (name == "/div") {
            // A close without an open would end a table that is not there.
            if (openBoxes > 0) {
                replacement = "</td></tr></table>";
                --openBoxes;
            }
        } else {
            known = false;
        }
        if (known) {
            html += replacement;
            pos = close + 1;
        } else {
            html += "&lt;";
            pos = open + 1;
        }
    }
    for (; openBoxes > 0; --openBoxes)
        html += "</td></tr></table>";
    return html;
}

TRichTextLabel::TRichTextLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::RichText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setOpenExternalLinks(false);
}

void TRichTextLabel::SetMarkup(const QString& markup) {
    markup_ = markup;
    setText(TipMarkupToHtml(markup));
}
