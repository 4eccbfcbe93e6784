// "Load Segment Program" and "Save Segment Program As": the focused device's program from and to
// text files, one program line per file line, through the operator's file dialogs.
#include "console/window/GUIOrvello.h"
#include "platform/Clock.h"
#include "platform/FileDialogs.h"
#include "platform/OperatorMessages.h"
#include "program/SegmentProgram.h"
#include "program/SegmentProgramText.h"
#include "program/UnitUtils.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>
#include <optional>
#include <string>

namespace {

// A program of a thousand segments takes some tens of kilobytes. A larger file is something
// else, and reading it whole and checking it character by character would only stall the window.
constexpr qint64 LargestProgramFile_bytes = 1024 * 1024;

TFileDialogRequest ProgramFileRequest(const QString& folder) {
    TFileDialogRequest request;
    request.InitialFolder = folder.toStdString();
    request.Filters = {{"Text files", {"*.txt", "*.TXT"}}};
    return request;
}

// "2024-05-27 14-35 COM3 MFCA.txt": when it was saved, and from which device.
std::string SuggestedProgramFileName(const TDeviceInfo& device) {
    const TDateTimeParts now = DecodeDateTime(GetClock().Now());
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d-%02d", now.Year, now.Month, now.Day,
                  now.Hour, now.Minute);
    return std::string(stamp) + " " + device.COMPort + " " + DeviceTypeName(device.DevType) +
           ".txt";
}

// Text holds printable characters, blanks and line breaks. A NUL or another control character
// marks a file of another kind (an image, a spreadsheet, a program), whose every byte the check
// would otherwise report.
bool IsText(const QByteArray& bytes) {
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool blank =
            byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' || byte == '\r';
        if ((byte < 0x20 && !blank) || byte == 0x7F)
            return false;
    }
    return true;
}

// The file's contents, or nothing after one box that says why it cannot be a program.
std::optional<std::string> ReadProgramFile(const QString& path, bool& notAProgram) {
    notAProgram = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowOperatorMessage("Cannot read segment program file " + path.toStdString() + ": " +
                            file.errorString().toStdString());
        return std::nullopt;
    }
    // Read one byte past the limit rather than trust the size: a file may still be growing.
    const QByteArray bytes = file.read(LargestProgramFile_bytes + 1);
    if (bytes.size() > LargestProgramFile_bytes) {
        notAProgram = true;
        ShowOperatorMessage("Not a segment program, the file is larger than 1 MB: " +
                            path.toStdString());
        return std::nullopt;
    }
    if (file.error() != QFileDevice::NoError) {
        ShowOperatorMessage("Cannot read segment program file " + path.toStdString() + ": " +
                            file.errorString().toStdString());
        return std::nullopt;
    }
    if (!IsText(bytes)) {
        notAProgram = true;
        ShowOperatorMessage("Not a segment program, the file is not a text file: " +
                            path.toStdString());
        return std::nullopt;
    }
    return bytes.toStdString();
}

} // namespace

void TFormOrvello::SaveSegmentProgramAs1Click() {
    TFileDialogRequest request = ProgramFileRequest(segmentProgramFolder_);
    TDeviceInfo device;
    if (!GetSelectedDevice(device))
        return;
    request.SuggestedName = SuggestedProgramFileName(device);
    const std::optional<std::string> chosen = GetFileDialogs().SaveFileName(request);
    if (!chosen)
        return;

    // The ending is appended to whatever name was chosen, as program files have always been
    // named; the suggested name is therefore written ending in ".txt.txt".
    const QString path = QString::fromStdString(*chosen + ".txt");
    const std::string program = Trim(device.SegmentProgram);
    std::string contents;
    for (std::string_view line : ProgramLines(program)) {
        contents += line;
        contents += "\r\n";
    }
    // Written aside and renamed into place: a failed save leaves no half-written program.
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.write(contents.data(), static_cast<qint64>(contents.size())) ==
                             static_cast<qint64>(contents.size()) &&
                         file.commit();
    if (!written)
        ShowOperatorMessage("Cannot write segment program file " + path.toStdString() + ": " +
                            file.errorString().toStdString());
}

void TFormOrvello::LoadSegmentProgram2Click() {
    const TFileDialogRequest request = ProgramFileRequest(segmentProgramFolder_);
    TDeviceInfo device;
    if (!GetSelectedDevice(device))
        return;
    const std::optional<std::string> chosen = GetFileDialogs().OpenFileName(request);
    if (!chosen)
        return;

    bool notAProgram = false;
    const std::optional<std::string> contents =
        ReadProgramFile(QString::fromStdString(*chosen), notAProgram);
    if (!contents) {
        if (notAProgram)
            MM("Invalid segment program");
        return;
    }
    std::string joined;
    bool first = true;
    for (std::string_view line : ProgramLines(*contents)) {
        if (!first)
            joined += "\r\n";
        first = false;
        joined += line;
    }
    const std::string text = Trim(joined);

    if (!ValidateSegmentProgram(text)) {
        MM("Invalid segment program");
        return;
    }
    // The dialog and the check's boxes let the engine tick run: the record is taken afresh, so
    // that storing the program gives back nothing older than it.
    TDeviceInfo current;
    if (!records_.Fetch(device.COMPort, current)) {
        MM("Saving device configuration failed");
        return;
    }
    current.SegmentProgram = text;
    if (!StoreSegmentProgramAndShow(current))
        MM("Saving device configuration failed");
}
