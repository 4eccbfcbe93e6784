// The segment editor of the Design segments tab: adding, replacing and deleting the segments of
// the focused device's program, the type button and the wording of the start time.
//
// The list's rows hold the texts of the program lines as they stand (time in minutes, setpoint,
// type, note with spaces); every change is stored at once as the device's program, and showing
// the device again refills the list from what was stored.
#include "console/widgets/DoubleEdit.h"
#include "console/window/GUIOrvello.h"
#include "platform/OperatorMessages.h"
#include "program/NumberFormat.h"
#include "program/SegmentProgramEditing.h"
#include "program/UnitUtils.h"

#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace {

// What the list shows before any device is: a program to start editing from.
constexpr std::array<std::array<const char*, 3>, 5> SampleRows = {{
    {"0", "0", "Step"},
    {"10", "0.7525", "Step"},
    {"30", "65", "Ramp"},
    {"60", "100", "Step"},
    {"65", "0", "Step"},
}};

std::optional<double> CaptionMinutes(const QTreeWidgetItem& row) {
    try {
        return StrToFloatDot(row.text(0).toStdString());
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

// A time as a caption: the shortest decimal with '.', as the program text holds it. Minus zero
// (a "-0" typed into the field) is the start, 0.
std::string TimeCaption(double minutes) {
    return FormatGeneralDot(minutes == 0 ? 0.0 : minutes);
}

// The row written for the same time. Captions are compared as they are written, not as the
// numbers they read back as: a time typed in hours or days is a product (4.1 h gives
// 245.99999999999997 min) that differs from the number its caption "246" reads back as, and
// would otherwise get a second row with the same caption.
QTreeWidgetItem* RowAtTime(const QTreeWidget& list, const std::string& caption) {
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = list.topLevelItem(i);
        const std::optional<double> minutes = CaptionMinutes(*row);
        if (minutes && TimeCaption(*minutes) == caption)
            return row;
    }
    return nullptr;
}

// Ascending by time; equal times keep their order. A caption that is no number cannot be placed
// by time: such rows go after the others, in their order.
void SortByTime(QTreeWidget& list) {
    std::vector<std::pair<std::optional<double>, QTreeWidgetItem*>> rows;
    while (list.topLevelItemCount() > 0) {
        QTreeWidgetItem* row = list.takeTopLevelItem(0);
        rows.emplace_back(CaptionMinutes(*row), row);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        if (!a.first || !b.first)
            return a.first.has_value() && !b.first.has_value();
        return *a.first < *b.first;
    });
    for (const auto& [minutes, row] : rows)
        list.addTopLevelItem(row);
}

// The rows as the program text is made from them. A row holds as many sub-items as columns were
// written: three without a note, four with one (even an empty one).
TSegmentEditorRows RowsOf(const QTreeWidget& list) {
    TSegmentEditorRows rows;
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list.topLevelItem(i);
        TSegmentEditorRow& row = rows.emplace_back();
        row.Caption = item->text(0).toStdString();
        for (int column = 1; column < std::min(item->columnCount(), 4); ++column)
            row.SubItems.push_back(item->text(column).toStdString());
    }
    return rows;
}

// The right mouse button released over the segment list opens its context menu.
class TRightButtonReleaseFilter final : public QObject {
public:
    TRightButtonReleaseFilter(QObject* parent, std::function<void(const QPoint&)> released)
        : QObject(parent), released_(std::move(released)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton)
                released_(mouse->globalPosition().toPoint());
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(const QPoint&)> released_;
};

} // namespace

void TFormOrvello::WireSegmentEditor() {
    segmentProgramFolder_ = QDir::current().absoluteFilePath(QStringLiteral("Segment Programs"));

    for (const auto& sample : SampleRows) {
        auto* row = new QTreeWidgetItem(ListViewSegmentProgram);
        for (int column = 0; column < 3; ++column)
            row->setText(column, QString::fromUtf8(sample[static_cast<std::size_t>(column)]));
    }

    connect(ButtonSegmentApply, &QPushButton::clicked, this,
            &TFormOrvello::ButtonSegmentApplyClick);
    connect(ButtonSegmentDelete, &QPushButton::clicked, this,
            &TFormOrvello::ButtonSegmentDeleteClick);
    connect(ButtonSegmentType, &QPushButton::clicked, this, &TFormOrvello::ButtonSegmentTypeClick);
    connect(ListViewSegmentProgram, &QTreeWidget::itemSelectionChanged, this,
            &TFormOrvello::ListViewSegmentProgramChange);
    connect(RtDoubleEditSegmentTime, &TDoubleEdit::ValueChanged, this,
            &TFormOrvello::RtDoubleEditSegmentTimeValueChanged);
    ListViewSegmentProgram->viewport()->installEventFilter(new TRightButtonReleaseFilter(
        this, [this](const QPoint& at) { ListViewSegmentProgramMouseUp(at); }));
}

bool TFormOrvello::StoreSegmentProgramAndShow(TDeviceInfo& device) {
    if (!records_.Store(device))
        return false;
    DeviceDetailsUI(tdGUI, device);
    return true;
}

void TFormOrvello::ButtonSegmentApplyClick() {
    const std::string caption = TimeCaption(RtDoubleEditSegmentTime->Value() * TimeUnitFactor());
    QTreeWidgetItem* row = RowAtTime(*ListViewSegmentProgram, caption);
    if (!row) {
        row = new QTreeWidgetItem(ListViewSegmentProgram);
        row->setText(0, QString::fromStdString(caption));
    }
    row->setText(1, QString::fromStdString(FormatGeneralDot(RtDoubleEditSegmentFlow->Value())));
    row->setText(2, ButtonSegmentType->text());
    row->setText(3, EditNote->text());
    SortByTime(*ListViewSegmentProgram);

    TDeviceInfo device;
    if (!GetSelectedDevice(device)) {
        ShowOperatorMessage("Could not get assigned device.");
        return;
    }
    device.SegmentProgram = ProgramFromListView(RowsOf(*ListViewSegmentProgram));
    // The group's one item is the only termination there is; none selected reads as it too.
    device.SegmentProgramTermination = tspttKeep;
    if (!StoreSegmentProgramAndShow(device))
        ShowOperatorMessage("Saving device segment program failed");
}

void TFormOrvello::ButtonSegmentDeleteClick() {
    const QList<QTreeWidgetItem*> selected = ListViewSegmentProgram->selectedItems();
    if (selected.isEmpty())
        return;
    delete selected.front();

    TDeviceInfo device;
    if (!GetSelectedDevice(device)) {
        ShowOperatorMessage("Error");
        return;
    }
    device.SegmentProgram = ProgramFromListView(RowsOf(*ListViewSegmentProgram));
    if (!StoreSegmentProgramAndShow(device))
        ShowOperatorMessage("Saving device segment program failed");
}

void TFormOrvello::ButtonSegmentTypeClick() {
    ButtonSegmentType->setText(ButtonSegmentType->text() == QLatin1String("Step")
                                   ? QStringLiteral("Ramp")
                                   : QStringLiteral("Step"));
}

void TFormOrvello::ListViewSegmentProgramChange() {
    const QList<QTreeWidgetItem*> selected = ListViewSegmentProgram->selectedItems();
    if (selected.isEmpty())
        return;
    const QTreeWidgetItem& row = *selected.front();
    try {
        const double minutes = StrToFloatDot(row.text(0).toStdString());
        const double setpoint = StrToFloatDot(row.text(1).toStdString());
        RtDoubleEditSegmentTime->SetValue(minutes / TimeUnitFactor());
        RtDoubleEditSegmentFlow->SetValue(setpoint);
    } catch (const EConvertError& error) {
        ShowOperatorMessage(error.what());
        return;
    }
    ButtonSegmentType->setText(row.text(2));
    EditNote->setText(row.columnCount() == 4 ? row.text(3) : QString());
}

void TFormOrvello::ListViewSegmentProgramMouseUp(const QPoint& globalPosition) {
    // The menu's top right corner goes under the pointer.
    const QSize size = PopupMenuSegment->sizeHint();
    PopupMenuSegment->popup(QPoint(globalPosition.x() - size.width(), globalPosition.y()));
}

void TFormOrvello::RtDoubleEditSegmentTimeValueChanged() {
    LabelSegmentStartTimeTimeConversions->setText(QString::fromStdString(
        DurationText(0, RtDoubleEditSegmentTime->Value() * TimeUnitFactor())));
}
