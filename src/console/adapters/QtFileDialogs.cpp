#include "console/adapters/QtFileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

namespace {

// "Text files (*.txt *.TXT)": Linux file names are case sensitive, so a filter lists each
// spelling it means.
QString FilterText(const std::vector<TFileFilter>& filters) {
    QStringList entries;
    for (const TFileFilter& filter : filters) {
        QStringList patterns;
        for (const std::string& pattern : filter.Patterns)
            patterns << QString::fromStdString(pattern);
        entries << QString::fromStdString(filter.Description) + QStringLiteral(" (") +
                       patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

std::optional<std::string> Chosen(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(path).toStdString();
}

} // namespace

TQtFileDialogs::TQtFileDialogs(QWidget* window) : QObject(window), window_(window) {}

TQtFileDialogs::~TQtFileDialogs() {
    if (&GetFileDialogs() == this)
        SetFileDialogs(nullptr);
}

std::optional<std::string> TQtFileDialogs::OpenFileName(const TFileDialogRequest& request) {
    return Chosen(QFileDialog::getOpenFileName(window_, QString(),
                                               QString::fromStdString(request.InitialFolder),
                                               FilterText(request.Filters)));
}

std::optional<std::string> TQtFileDialogs::SaveFileName(const TFileDialogRequest& request) {
    const QDir folder(QString::fromStdString(request.InitialFolder));
    return Chosen(QFileDialog::getSaveFileName(
        window_, QString(), folder.filePath(QString::fromStdString(request.SuggestedName)),
        FilterText(request.Filters)));
}
