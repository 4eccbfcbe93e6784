// The main menu and the segment list's context menu.
#include "console/widgets/Chart.h"
#include "console/window/GUIOrvello.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

namespace {

QMenu* AddMenu(QMenuBar* bar, const char* name, const char* caption) {
    QMenu* menu = bar->addMenu(QString::fromUtf8(caption));
    menu->setObjectName(QString::fromUtf8(name));
    return menu;
}

QAction* AddEntry(QMenu* menu, const char* name, const char* caption) {
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::fromUtf8(name));
    return action;
}

QAction* AddToggle(QMenu* menu, const char* name, const char* caption, bool checked) {
    QAction* action = AddEntry(menu, name, caption);
    action->setCheckable(true);
    action->setChecked(checked);
    return action;
}

QAction* AddHeading(QMenu* menu, const char* separatorName, const char* name, const char* caption) {
    menu->addSeparator()->setObjectName(QString::fromUtf8(separatorName));
    QAction* heading = AddEntry(menu, name, caption);
    heading->setEnabled(false);
    return heading;
}

} // namespace

void TFormOrvello::BuildMenus() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

    QMenu* file = AddMenu(MainMenu1, "File1", "File");
    // Both entries are kept for the operator's habit; a run keeps no state to save or load.
    Savesoftwarestate1 = AddEntry(file, "Savesoftwarestate1", "Save software state");
    Loadsoftwarestate1 = AddEntry(file, "Loadsoftwarestate1", "Load software state");
    connect(Savesoftwarestate1, &QAction::triggered, this, &TFormOrvello::Savesoftwarestate1Click);

    QMenu* preferences = AddMenu(MainMenu1, "Edit1", "Preferences");
    QMenu* timeUnit = preferences->addMenu(QStringLiteral("Time Unit"));
    timeUnit->setObjectName(QStringLiteral("imeUnit1"));
    Minute1 = AddToggle(timeUnit, "Minute1", "Minute", true);
    Hour1 = AddToggle(timeUnit, "Hour1", "Hour", false);
    Day1 = AddToggle(timeUnit, "Day1", "Day", false);
    auto* timeGroup = new QActionGroup(this);
    timeGroup->setExclusive(true);
    for (QAction* entry : {Minute1, Hour1, Day1})
        timeGroup->addAction(entry);
    connect(Minute1, &QAction::triggered, this, [this] { SetTimeUnit("MINUTE"); });
    connect(Hour1, &QAction::triggered, this, [this] { SetTimeUnit("HOUR"); });
    connect(Day1, &QAction::triggered, this, [this] { SetTimeUnit("DAY"); });
    // The units' diagnostic messages, for whoever looks after a rig that misbehaves.
    Diagnostics1 = AddEntry(preferences, "Diagnostics1", "Diagnostic messages...");
    connect(Diagnostics1, &QAction::triggered, this, &TFormOrvello::Diagnostics1Click);

    QMenu* data = AddMenu(MainMenu1, "Graph1", "Data");
    ShowTable1 = AddToggle(data, "ShowTable1", "Show Graph", true);
    ShowSegmentProgram1 =
        AddToggle(data, "ShowSegmentProgram1", "Show Segment Program Table", false);
    ShowData1 = AddToggle(data, "ShowData1", "Show Data Table", false);
    auto* viewGroup = new QActionGroup(this);
    viewGroup->setExclusive(true);
    for (QAction* entry : {ShowTable1, ShowSegmentProgram1, ShowData1}) {
        viewGroup->addAction(entry);
        connect(entry, &QAction::triggered, this, [this, entry] { ShowTable1Click(entry); });
    }
    Graph2 = AddHeading(data, "N2", "Graph2", "Graph");
    ShowSegmentPrograms1 = AddToggle(data, "ShowSegmentPrograms1", "Show Segment Programs", true);
    Showachievedflows1 = AddToggle(data, "Showachievedflows1", "Show Device Flows", true);
    // The chart's own entry, so that its context menu and this one tick together.
    ShowLegend1 = RtGraph2DMain->LegendAction();
    ShowLegend1->setObjectName(QStringLiteral("ShowLegend1"));
    data->addAction(ShowLegend1);
    Cleargraphdiscarddata1 = AddEntry(data, "Cleargraphdiscarddata1", "Clear Graph && Remove Data");
    DataTable1 = AddHeading(data, "N3", "DataTable1", "Data Table");
    Autoscrolltolastline1 =
        AddToggle(data, "Autoscrolltolastline1", "Auto-scroll to last line", true);
    connect(ShowSegmentPrograms1, &QAction::triggered, this,
            &TFormOrvello::ShowSegmentPrograms1Click);
    connect(Showachievedflows1, &QAction::triggered, this, &TFormOrvello::Showachievedflows1Click);
    connect(Cleargraphdiscarddata1, &QAction::triggered, this,
            &TFormOrvello::Cleargraphdiscarddata1Click);
    connect(Autoscrolltolastline1, &QAction::triggered, this,
            &TFormOrvello::Autoscrolltolastline1Click);

    QMenu* devices = AddMenu(MainMenu1, "Devices1", "Devices");
    Searchdevices1 = AddEntry(devices, "Searchdevices1", "Search Devices");
    Resetsoftware1 = AddEntry(devices, "Resetsoftware1", "Reset Devices");
    connect(Searchdevices1, &QAction::triggered, this, &TFormOrvello::Searchdevices1Click);
    connect(Resetsoftware1, &QAction::triggered, this, &TFormOrvello::Resetsoftware1Click);

    // The entry names are crossed with respect to their captions, as the segment editor's
    // handlers expect.
    PopupMenuSegment = new QMenu(this);
    PopupMenuSegment->setObjectName(QStringLiteral("PopupMenuSegment"));
    SaveSegmentProgramAs1 =
        AddEntry(PopupMenuSegment, "SaveSegmentProgramAs1", "Load Segment Program");
    LoadSegmentProgram2 =
        AddEntry(PopupMenuSegment, "LoadSegmentProgram2", "Save Segment Program As");
    connect(SaveSegmentProgramAs1, &QAction::triggered, this,
            &TFormOrvello::LoadSegmentProgram2Click);
    connect(LoadSegmentProgram2, &QAction::triggered, this,
            &TFormOrvello::SaveSegmentProgramAs1Click);
}
