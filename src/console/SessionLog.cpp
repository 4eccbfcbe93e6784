#include "console/SessionLog.h"

#include <QDateTime>
#include <QDir>

TSessionLog::TSessionLog(const QString& folder) {
    const QString name = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh_mm")) +
                         QStringLiteral(" session log.txt");
    file_.setFileName(QDir(folder).filePath(name));
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append))
        error_ = file_.fileName() + QStringLiteral(": ") + file_.errorString();
}

void TSessionLog::Append(const QString& line) {
    if (!file_.isOpen())
        return;
    file_.write(line.toUtf8());
    file_.write("\r\n", 2);
    file_.flush();
}
