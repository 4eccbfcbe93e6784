#include "console/session/SessionLog.h"

#include "engine/FlowLogFile.h"
#include "platform/Clock.h"
#include "program/UnitUtils.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace {

constexpr double RetryInterval = 1.0 / 1440; // a minute, in days

} // namespace

TSessionLog::TSessionLog(const QString& folder) : folder_(folder) {
    const double now = GetClock().Now();
    file_ = OpenFileFor(now);
    day_ = std::floor(now);
}

std::unique_ptr<QFile> TSessionLog::OpenFileFor(double now) {
    const QString name =
        QString::fromStdString(LogFileMinute(now)) + QStringLiteral(" session log.txt");
    auto file = std::make_unique<QFile>(QDir(folder_).filePath(name));
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append)) {
        error_ = file->fileName() + QStringLiteral(": ") + file->errorString();
        return nullptr;
    }
    return file;
}

void TSessionLog::Write(QFile& file, const QString& line) {
    file.write(line.toUtf8());
    file.write("\r\n", 2);
    file.flush();
}

void TSessionLog::StartNewFile(double now) {
    std::unique_ptr<QFile> next = OpenFileFor(now);
    if (!next) {
        // The lines stay in the old file meanwhile: none is lost.
        failedAt_ = now;
        Write(*file_, QString::fromStdString(TimeStampPrefix()) +
                          QStringLiteral("Session log cannot go on in a new file: ") + error_);
        return;
    }
    const QString stamp = QString::fromStdString(TimeStampPrefix());
    Write(*file_, stamp + QStringLiteral("Session log continues in ") +
                      QFileInfo(next->fileName()).fileName());
    Write(*next, stamp + QStringLiteral("Session log continued from ") +
                     QFileInfo(file_->fileName()).fileName());
    file_ = std::move(next);
    day_ = std::floor(now);
    failedAt_ = -1;
}

void TSessionLog::Append(const QString& line) {
    if (!IsOpen())
        return;
    // A clock set back across midnight starts a new file as well: each file holds one day.
    const double now = GetClock().Now();
    const bool retryDue = failedAt_ < 0 || std::abs(now - failedAt_) >= RetryInterval;
    if (std::floor(now) != day_ && retryDue)
        StartNewFile(now);
    Write(*file_, line);
}
