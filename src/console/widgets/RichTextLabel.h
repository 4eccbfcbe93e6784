#pragma once
// The label that shows the tips and the captions in their small markup language, turned into
// Qt's rich-text subset.
//
// Markup: tags between angle brackets, names in any letter case, a closing tag may differ in case
// from its opening one:
//   <B>..</B> bold, <I>..</I> italic, <SUB>..</SUB> subscript, <BC:#RRGGBB>..</BC> background
//   colour, <BR> line break, <LINE:width=N> a rule N pixels wide, and
//   <div:thick=N,thick_top=N,thick_left=N,thick_right=N,thick_bottom=N,lncolor=#RRGGBB,
//        margin=N,pad=N,pad_top=N,...>..</div> a bordered box.
// Everything between tags is taken as HTML text: a caller that puts text of the operator's or of
// a file into a tip must escape it with QString::toHtmlEscaped() first, or it could be read as
// markup. A '<' that does not open one of the tags above is shown as it stands.
#include <QLabel>
#include <QString>

QString TipMarkupToHtml(const QString& markup);

class TRichTextLabel : public QLabel {
    Q_OBJECT
public:
    explicit TRichTextLabel(QWidget* parent = nullptr);

    void SetMarkup(const QString& markup);
    const QString& Markup() const { return markup_; }

private:
    QString markup_;
};
