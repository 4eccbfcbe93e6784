// The controls of the window: panels, splitters, the device list, the four tabs and the log pane.
#include "console/widgets/Chart.h"
#include "console/widgets/ColorPickCombo.h"
#include "console/widgets/DeviceListView.h"
#include "console/widgets/DoubleEdit.h"
#include "console/widgets/RichTextLabel.h"
#include "console/widgets/WarningsButton.h"
#include "console/window/GUIOrvello.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromUtf8(name));
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text) {
    auto* label = Named(new QLabel(QString::fromUtf8(text), parent), name);
    // Texts of the system itself; operator texts never reach these as markup.
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text) {
    return Named(new QPushButton(QString::fromUtf8(text), parent), name);
}

QFont MonospacedFont() {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPointSize(9);
    return font;
}

QPlainTextEdit* MakeMemo(QWidget* parent, const char* name) {
    auto* memo = Named(new QPlainTextEdit(parent), name);
    memo->setFont(MonospacedFont());
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A pane that grows for a week must not keep an undo history of every line appended.
    memo->setUndoRedoEnabled(false);
    return memo;
}

TDoubleEdit* MakeNumber(QWidget* parent, const char* name, double value) {
    auto* edit = Named(new TDoubleEdit(parent), name);
    edit->SetValue(value);
    return edit;
}

QComboBox* MakeFluidList(QWidget* parent, const char* name) {
    auto* list = Named(new QComboBox(parent), name);
    list->setFont(MonospacedFont());
    list->setMaxVisibleItems(30);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(30);
    return list;
}

} // namespace

void TFormOrvello::BuildLayout() {
    QFont uiFont(QStringLiteral("DejaVu Sans"));
    uiFont.setPointSize(9);
    setFont(uiFont);
    setMinimumWidth(700);
    resize(1051, 713);

    // Top: the three data views in one place.
    PanelData = Named(new QWidget, "PanelData");
    auto* dataLayout = new QVBoxLayout(PanelData);
    dataLayout->setContentsMargins(0, 0, 0, 0);
    RtGraph2DMain = Named(new TChart(PanelData), "RtGraph2DMain");
    RtGraph2DMain->SetXCaption(QStringLiteral("Time, m"));
    RtGraph2DMain->SetYCaption(QStringLiteral("Flow, %"));
    MemoSegments = MakeMemo(PanelData, "MemoSegments");
    MemoSegments->setReadOnly(true);
    MemoData = MakeMemo(PanelData, "MemoData");
    MemoData->setReadOnly(true);
    dataLayout->addWidget(RtGraph2DMain);
    dataLayout->addWidget(MemoSegments);
    dataLayout->addWidget(MemoData);
    MemoSegments->hide();
    MemoData->hide();
    PanelData->setMinimumHeight(30);

    // Middle: the device list and the tabs.
    PanelSelectDevice = Named(new QWidget, "PanelSelectDevice");
    auto* selectLayout = new QVBoxLayout(PanelSelectDevice);
    selectLayout->setContentsMargins(4, 4, 0, 0);
    DzHTMLTextDeviceCaption =
        Named(new TRichTextLabel(PanelSelectDevice), "DzHTMLTextDeviceCaption");
    DzHTMLTextDeviceCaption->SetMarkup(QStringLiteral("<B>Available devices</B>"));
    ListViewDevices = Named(new TDeviceListView(PanelSelectDevice), "ListViewDevices");
    ListViewDevices->setHeaderLabels({QStringLiteral("COM port"), QStringLiteral("State"),
                                      QStringLiteral("Instrument"), QStringLiteral("Device"),
                                      QStringLiteral("Name or role")});
    selectLayout->addWidget(DzHTMLTextDeviceCaption);
    selectLayout->addWidget(ListViewDevices, 1);
    connect(ListViewDevices, &TDeviceListView::RowClicked, this,
            &TFormOrvello::ListViewDevicesClick);
    connect(ListViewDevices, &TDeviceListView::KeyReleased, this,
            &TFormOrvello::ListViewDevicesClick);

    PanelActions = Named(new QWidget, "PanelActions");
    auto* actionsLayout = new QVBoxLayout(PanelActions);
    actionsLayout->setContentsMargins(0, 4, 4, 0);
    DzHTMLText1 = Named(new TRichTextLabel(PanelActions), "DzHTMLText1");
    DzHTMLText1->SetMarkup(QStringLiteral("<B>For selected device(s)</B>"));
    PageControl1 = Named(new QTabWidget(PanelActions), "PageControl1");
    TabSheetConfigure = BuildConfigureTab();
    TabSheetSegment = BuildSegmentTab();
    TabSheetDirectControl = BuildDirectControlTab();
    TabSheetMixtures = BuildMixturesTab();
    PageControl1->addTab(TabSheetConfigure, QStringLiteral("Configure"));
    PageControl1->addTab(TabSheetSegment, QStringLiteral("Design segments"));
    PageControl1->addTab(TabSheetDirectControl, QStringLiteral("Direct control"));
    PageControl1->addTab(TabSheetMixtures, QStringLiteral("Mixtures"));
    actionsLayout->addWidget(DzHTMLText1);
    actionsLayout->addWidget(PageControl1, 1);

    SplitterVertical = Named(new QSplitter(Qt::Horizontal), "SplitterVertical");
    SplitterVertical->setHandleWidth(10);
    SplitterVertical->setChildrenCollapsible(false);
    SplitterVertical->addWidget(PanelSelectDevice);
    SplitterVertical->addWidget(PanelActions);
    SplitterVertical->setStretchFactor(0, 0);
    SplitterVertical->setStretchFactor(1, 1);
    SplitterVertical->setSizes({400, 641});

    // Bottom: the log pane, the tips and the lamps.
    PanelBottomMemo = Named(new QWidget, "PanelBottomMemo");
    auto* bottomLayout = new QGridLayout(PanelBottomMemo);
    bottomLayout->setContentsMargins(10, 10, 10, 4);
    bottomLayout->setSpacing(0);
    MemoMain = MakeMemo(PanelBottomMemo, "MemoMain");
    MemoMain->setReadOnly(true);
    MemoMain->setFixedWidth(500);
    PanelHelp = Named(new QWidget(PanelBottomMemo), "PanelHelp");
    auto* helpLayout = new QVBoxLayout(PanelHelp);
    helpLayout->setContentsMargins(10, 0, 0, 0);
    DzHTMLTextTips = Named(new TRichTextLabel(PanelHelp), "DzHTMLTextTips");
    DzHTMLTextTips->setWordWrap(true);
    DzHTMLTextTips->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    DzHTMLTextTips->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    helpLayout->addWidget(DzHTMLTextTips, 1);
    PanelStatusBar = Named(new QWidget(PanelBottomMemo), "PanelStatusBar");
    PanelStatusBar->setFixedHeight(20);
    // The lamps sit at fixed places from the left; the warnings keep to the right end.
    auto* statusLayout = new QHBoxLayout(PanelStatusBar);
    statusLayout->setContentsMargins(0, 0, 2, 0);
    statusLayout->addStretch();
    // Shown only while "Search Devices" runs: it holds the window for a minute and more.
    LabelSearchProgress = MakeLabel(PanelStatusBar, "LabelSearchProgress", "");
    ProgressBarSearch = Named(new QProgressBar(PanelStatusBar), "ProgressBarSearch");
    ProgressBarSearch->setTextVisible(false);
    ProgressBarSearch->setFixedSize(160, 14);
    // The search holds input out, and the status bar with it: its progress must not look greyed.
    for (QWidget* shown :
         {static_cast<QWidget*>(LabelSearchProgress), static_cast<QWidget*>(ProgressBarSearch)}) {
        QPalette palette = shown->palette();
        for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Highlight})
            palette.setColor(QPalette::Disabled, role, palette.color(QPalette::Active, role));
        shown->setPalette(palette);
    }
    LabelSearchProgress->hide();
    ProgressBarSearch->hide();
    statusLayout->addWidget(LabelSearchProgress);
    statusLayout->addSpacing(6);
    statusLayout->addWidget(ProgressBarSearch);
    statusLayout->addSpacing(10);
    ButtonWarnings = new TWarningsButton(PanelStatusBar);
    ButtonWarnings->setFixedHeight(18);
    statusLayout->addWidget(ButtonWarnings);
    bottomLayout->addWidget(MemoMain, 0, 0);
    bottomLayout->addWidget(PanelHelp, 0, 1);
    bottomLayout->addWidget(PanelStatusBar, 1, 0, 1, 2);
    bottomLayout->setColumnStretch(1, 1);
    PanelBottomMemo->setMinimumHeight(60);

    SplitterBottom = Named(new QSplitter(Qt::Vertical), "SplitterBottom");
    SplitterBottom->setHandleWidth(10);
    SplitterBottom->setChildrenCollapsible(false);
    SplitterBottom->addWidget(SplitterVertical);
    SplitterBottom->addWidget(PanelBottomMemo);
    SplitterBottom->setStretchFactor(0, 1);
    SplitterBottom->setStretchFactor(1, 0);
    SplitterBottom->setSizes({353, 150});

    SplitterTop = Named(new QSplitter(Qt::Vertical), "SplitterTop");
    SplitterTop->setHandleWidth(10);
    SplitterTop->setChildrenCollapsible(false);
    SplitterTop->addWidget(PanelData);
    SplitterTop->addWidget(SplitterBottom);
    SplitterTop->setStretchFactor(0, 0);
    SplitterTop->setStretchFactor(1, 1);
    SplitterTop->setSizes({200, 513});
    setCentralWidget(SplitterTop);
}

QWidget* TFormOrvello::BuildConfigureTab() {
    auto* tab = Named(new QWidget, "TabSheetConfigure");
    auto* grid = new QGridLayout(tab);

    LabelDeviceType = MakeLabel(tab, "LabelDeviceType", "Device Type");
    EditDeviceType = Named(new QLineEdit(QStringLiteral("Device type"), tab), "EditDeviceType");
    EditDeviceType->setEnabled(false);
    LabelDeviceName = MakeLabel(tab, "LabelDeviceName", "Device Name");
    EditDeviceName =
        Named(new QLineEdit(QStringLiteral("e.g. Cathode side"), tab), "EditDeviceName");
    LabelColor = MakeLabel(tab, "LabelColor", "Device color in software");
    RtColorPickComboDeviceColor = Named(new TColorPickCombo(tab), "RtColorPickComboDeviceColor");
    RtColorPickComboDeviceColor->setFixedSize(120, 24);
    LabelDeviceColor = MakeLabel(tab, "LabelDeviceColor", "Color code");
    LabelDeviceColor->setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 9));
    connect(RtColorPickComboDeviceColor, &TColorPickCombo::Changed, this,
            &TFormOrvello::RtColorPickComboDeviceColorChanged);
    LabelFluid = MakeLabel(tab, "LabelFluid", "Fluid");
    ComboBoxDeviceFluid = MakeFluidList(tab, "ComboBoxDeviceFluid");
    ComboBoxDeviceFluidPump = MakeFluidList(tab, "ComboBoxDeviceFluidPump");
    ComboBoxDeviceFluidPump->hide();

    GroupBoxFlowUnit = Named(new QGroupBox(QStringLiteral("Flow unit"), tab), "GroupBoxFlowUnit");
    auto* unitGrid = new QGridLayout(GroupBoxFlowUnit);
    Label2 = MakeLabel(GroupBoxFlowUnit, "Label2", "Unit name");
    EditFlowUnitName =
        Named(new QLineEdit(QStringLiteral("g/min"), GroupBoxFlowUnit), "EditFlowUnitName");
    Label3 = MakeLabel(GroupBoxFlowUnit, "Label3", "Temperature, ºC");
    EditFlowUnitTemperatureC = MakeNumber(GroupBoxFlowUnit, "EditFlowUnitTemperatureC", 20);
    EditFlowUnitTemperatureC->SetMinimum(-273.15);
    EditFlowUnitTemperatureC->SetMaximum(900000);
    EditFlowUnitTemperatureC->SetValue(20);
    LabelUnitTemp = MakeLabel(GroupBoxFlowUnit, "LabelUnitTemp", "Irrelevant when unit is g");
    Label4 = MakeLabel(GroupBoxFlowUnit, "Label4", "Pressure, bar");
    EditFlowUnitPressureBar = MakeNumber(GroupBoxFlowUnit, "EditFlowUnitPressureBar", 1.01325);
    LabelPSI = MakeLabel(GroupBoxFlowUnit, "LabelPSI", "Irrelevant when unit is g");
    Label5 = MakeLabel(GroupBoxFlowUnit, "Label5", "Some ref. conditions");
    ComboBoxFlowUnitPredefined = MakeFluidList(GroupBoxFlowUnit, "ComboBoxFlowUnitPredefined");
    unitGrid->addWidget(Label2, 0, 0);
    unitGrid->addWidget(EditFlowUnitName, 0, 1);
    unitGrid->addWidget(Label3, 1, 0);
    unitGrid->addWidget(EditFlowUnitTemperatureC, 1, 1);
    unitGrid->addWidget(LabelUnitTemp, 1, 2);
    unitGrid->addWidget(Label4, 2, 0);
    unitGrid->addWidget(EditFlowUnitPressureBar, 2, 1);
    unitGrid->addWidget(LabelPSI, 2, 2);
    unitGrid->addWidget(Label5, 3, 0);
    unitGrid->addWidget(ComboBoxFlowUnitPredefined, 3, 1, 1, 2);
    unitGrid->setColumnStretch(2, 1);
    EditFlowUnitTemperatureC->hide();
    EditFlowUnitPressureBar->hide();
    LabelUnitTemp->hide();
    LabelPSI->hide();

    // A controller whose flow stays away from its setpoint (an empty cylinder, a blocked line) is
    // reported; how far and for how long are the device's own. One line, so the tab keeps its
    // height.
    LabelDeviationLimit = MakeLabel(tab, "LabelDeviationLimit", "Deviation warning");
    PanelFlowAlarm = Named(new QWidget(tab), "PanelFlowAlarm");
    auto* alarmLayout = new QHBoxLayout(PanelFlowAlarm);
    alarmLayout->setContentsMargins(0, 0, 0, 0);
    RtDoubleEditDeviationLimit = MakeNumber(PanelFlowAlarm, "RtDoubleEditDeviationLimit", 5);
    RtDoubleEditDeviationLimit->SetMinimum(0.1);
    RtDoubleEditDeviationLimit->SetMaximum(100);
    RtDoubleEditDeviationLimit->SetValue(5);
    RtDoubleEditDeviationLimit->setFixedWidth(70);
    LabelDeviationDelay = MakeLabel(PanelFlowAlarm, "LabelDeviationDelay",
                                    "% of full scale off its setpoint for longer than");
    RtDoubleEditDeviationDelay = MakeNumber(PanelFlowAlarm, "RtDoubleEditDeviationDelay", 60);
    RtDoubleEditDeviationDelay->SetMinimum(1);
    RtDoubleEditDeviationDelay->SetMaximum(86400);
    RtDoubleEditDeviationDelay->SetValue(60);
    RtDoubleEditDeviationDelay->setFixedWidth(70);
    alarmLayout->addWidget(RtDoubleEditDeviationLimit);
    alarmLayout->addWidget(LabelDeviationDelay);
    alarmLayout->addWidget(RtDoubleEditDeviationDelay);
    alarmLayout->addWidget(MakeLabel(PanelFlowAlarm, "LabelDeviationDelayUnit", "s"));
    alarmLayout->addStretch(1);

    GroupBoxConfigurePump =
        Named(new QGroupBox(QStringLiteral("Pump details"), tab), "GroupBoxConfigurePump");
    auto* pumpGrid = new QGridLayout(GroupBoxConfigurePump);
    Label1 = MakeLabel(GroupBoxConfigurePump, "Label1", "Unit name");
    EditPumpUnitName =
        Named(new QLineEdit(QStringLiteral("µl/min"), GroupBoxConfigurePump), "EditPumpUnitName");
    EditPumpUnitName->setEnabled(false);
    LabelFluidTemp = MakeLabel(GroupBoxConfigurePump, "LabelFluidTemp", "Fluid temperature, ºC");
    RtDoubleEditFluidTemperature =
        MakeNumber(GroupBoxConfigurePump, "RtDoubleEditFluidTemperature", -273.15);
    RtDoubleEditFluidTemperature->SetMinimum(-273.15);
    RtDoubleEditFluidTemperature->SetMaximum(2000);
    RtDoubleEditFluidTemperature->SetValue(-273.15);
    LabelSyringeSize = MakeLabel(GroupBoxConfigurePump, "LabelSyringeSize", "Syringe size, µL");
    RtDoubleEditSyringeSizeµL =
        MakeNumber(GroupBoxConfigurePump, "RtDoubleEditSyringeSizeµL", 12500);
    RtDoubleEditSyringeSizeµL->SetMinimum(12.5);
    RtDoubleEditSyringeSizeµL->SetMaximum(12500);
    RtDoubleEditSyringeSizeµL->SetValue(12500);
    pumpGrid->addWidget(Label1, 0, 0);
    pumpGrid->addWidget(EditPumpUnitName, 0, 1);
    pumpGrid->addWidget(LabelFluidTemp, 1, 0);
    pumpGrid->addWidget(RtDoubleEditFluidTemperature, 1, 1);
    pumpGrid->addWidget(LabelSyringeSize, 2, 0);
    pumpGrid->addWidget(RtDoubleEditSyringeSizeµL, 2, 1);
    pumpGrid->setRowStretch(3, 1);
    GroupBoxConfigurePump->hide();

    GroupBoxDeviceTools = Named(new QGroupBox(QStringLiteral("Tools"), tab), "GroupBoxDeviceTools");
    auto* toolsLayout = new QVBoxLayout(GroupBoxDeviceTools);
    ButtonDeviceInitialize =
        MakeButton(GroupBoxDeviceTools, "ButtonDeviceInitialize", "Initialize");
    ButtonPrimePump = MakeButton(GroupBoxDeviceTools, "ButtonPrimePump", "Prime pump");
    ButtonChangeSyringe = MakeButton(GroupBoxDeviceTools, "ButtonChangeSyringe", "Change syringe");
    toolsLayout->addWidget(ButtonDeviceInitialize);
    toolsLayout->addWidget(ButtonPrimePump);
    toolsLayout->addWidget(ButtonChangeSyringe);
    toolsLayout->addStretch(1);

    ButtonApplyConfiguration = MakeButton(tab, "ButtonApplyConfiguration", "Apply configuration");

    grid->addWidget(LabelDeviceType, 0, 0);
    grid->addWidget(EditDeviceType, 0, 1, 1, 2);
    grid->addWidget(LabelDeviceName, 1, 0);
    grid->addWidget(EditDeviceName, 1, 1, 1, 2);
    grid->addWidget(LabelColor, 2, 0);
    grid->addWidget(RtColorPickComboDeviceColor, 2, 1);
    grid->addWidget(LabelDeviceColor, 2, 2);
    grid->addWidget(LabelFluid, 3, 0);
    grid->addWidget(ComboBoxDeviceFluid, 3, 1, 1, 3);
    grid->addWidget(ComboBoxDeviceFluidPump, 3, 1, 1, 3);
    grid->addWidget(GroupBoxFlowUnit, 4, 0, 1, 3);
    grid->addWidget(GroupBoxConfigurePump, 4, 0, 1, 3);
    grid->addWidget(LabelDeviationLimit, 5, 0);
    // The deviation row is long: it takes the width under the tools as well, and the button sits
    // beside the flow unit group, so that the tab still fits a window at its minimum width.
    grid->addWidget(PanelFlowAlarm, 5, 1, 1, 3);
    grid->addWidget(GroupBoxDeviceTools, 0, 3, 3, 1);
    grid->addWidget(ButtonApplyConfiguration, 4, 3, Qt::AlignBottom);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(6, 1);

    connect(ButtonApplyConfiguration, &QPushButton::clicked, this,
            &TFormOrvello::ButtonApplyConfigurationClick);
    connect(ButtonDeviceInitialize, &QPushButton::clicked, this,
            &TFormOrvello::ButtonDeviceInitializeClick);
    connect(ButtonPrimePump, &QPushButton::clicked, this, &TFormOrvello::ButtonPrimePumpClick);
    connect(ButtonChangeSyringe, &QPushButton::clicked, this,
            &TFormOrvello::ButtonChangeSyringeClick);
    connect(ComboBoxFlowUnitPredefined, &QComboBox::activated, this,
            &TFormOrvello::ComboBoxFlowUnitPredefinedChange);
    connect(EditFlowUnitTemperatureC, &TDoubleEdit::ValueChanged, this,
            &TFormOrvello::EditFlowUnitTemperatureCValueChanged);
    connect(EditFlowUnitPressureBar, &TDoubleEdit::ValueChanged, this,
            &TFormOrvello::EditFlowUnitPressureBarValueChanged);
    return tab;
}

QWidget* TFormOrvello::BuildSegmentTab() {
    auto* tab = Named(new QWidget, "TabSheetSegment");
    // The editor beside the segment list, and the program buttons under both: beside the list
    // they would widen the tab past a narrow window.
    auto* column = new QVBoxLayout(tab);
    auto* outer = new QHBoxLayout;
    column->addLayout(outer, 1);
    auto* grid = new QGridLayout;
    outer->addLayout(grid, 1);

    LabelSelectedDevice = MakeLabel(tab, "LabelSelectedDevice", "Selected device");
    LabelSelectedDeviceNameRole = MakeLabel(tab, "LabelSelectedDeviceNameRole", "");
    LabelDeviceMaxFlow = MakeLabel(tab, "LabelDeviceMaxFlow", "Maximum flow");
    RtDoubleEditDevMaxFlow = MakeNumber(tab, "RtDoubleEditDevMaxFlow", 0);
    RtDoubleEditDevMaxFlow->setEnabled(false);
    LabelSpecifiedFlowUnit = MakeLabel(tab, "LabelSpecifiedFlowUnit", "Flow unit");
    LabelSegmentStartTime = MakeLabel(tab, "LabelSegmentStartTime", "Start time, m");
    RtDoubleEditSegmentTime = MakeNumber(tab, "RtDoubleEditSegmentTime", 0);
    // Programs count minutes from their start: a time before it means nothing, and the check of
    // a loaded program refuses one too.
    RtDoubleEditSegmentTime->SetMinimum(0);
    RtDoubleEditSegmentTime->SetMaximum(std::numeric_limits<double>::max());
    LabelSegmentStartTimeTimeConversions =
        MakeLabel(tab, "LabelSegmentStartTimeTimeConversions", "Time conversions");
    LabelSegmentFow = MakeLabel(tab, "LabelSegmentFow", "Segment flow, %");
    RtDoubleEditSegmentFlow = MakeNumber(tab, "RtDoubleEditSegmentFlow", 0);
    RtDoubleEditSegmentFlow->SetMaximum(100);
    LabelResultingFlowinSpecifiedUnit =
        MakeLabel(tab, "LabelResultingFlowinSpecifiedUnit", "Resulting flow in specified unit");
    // A pump's figures and the time conversions run long: they wrap rather than widen the tab
    // past a narrow window.
    LabelResultingFlowinSpecifiedUnit->setWordWrap(true);
    LabelSegmentStartTimeTimeConversions->setWordWrap(true);
    LabelSegmentType = MakeLabel(tab, "LabelSegmentType", "Segment type");
    ButtonSegmentType = MakeButton(tab, "ButtonSegmentType", "Step");
    LabelNote = MakeLabel(tab, "LabelNote", "Note");
    EditNote = Named(new QLineEdit(tab), "EditNote");
    RadioGroupSegmentTerminationType =
        Named(new QGroupBox(QStringLiteral("Segment program termination type"), tab),
              "RadioGroupSegmentTerminationType");
    auto* terminationLayout = new QVBoxLayout(RadioGroupSegmentTerminationType);
    RadioButtonKeepLastFlow = Named(new QRadioButton(QStringLiteral("Keep last flow indefinitely"),
                                                     RadioGroupSegmentTerminationType),
                                    "RadioButtonKeepLastFlow");
    RadioButtonKeepLastFlow->setChecked(true);
    terminationLayout->addWidget(RadioButtonKeepLastFlow);
    ButtonSegmentApply = MakeButton(tab, "ButtonSegmentApply", "Add / Apply Segment");
    ButtonSegmentDelete = MakeButton(tab, "ButtonSegmentDelete", "Delete Segment");
    GroupBoxSegmentProgram =
        Named(new QGroupBox(QStringLiteral("Selected devices"), tab), "GroupBoxSegmentProgram");
    auto* programLayout = new QHBoxLayout(GroupBoxSegmentProgram);
    ButtonSegmentProgramStart =
        MakeButton(GroupBoxSegmentProgram, "ButtonSegmentProgramStart", "Start segment program(s)");
    ButtonSegmentProgramStop =
        MakeButton(GroupBoxSegmentProgram, "ButtonSegmentProgramStop", "Stop segment program(s)");
    programLayout->addWidget(ButtonSegmentProgramStart);
    programLayout->addWidget(ButtonSegmentProgramStop);

    grid->addWidget(LabelSelectedDevice, 0, 0);
    grid->addWidget(LabelSelectedDeviceNameRole, 0, 1, 1, 2);
    grid->addWidget(LabelDeviceMaxFlow, 1, 0);
    grid->addWidget(RtDoubleEditDevMaxFlow, 1, 1);
    grid->addWidget(LabelSpecifiedFlowUnit, 1, 2);
    grid->addWidget(LabelSegmentStartTime, 2, 0);
    grid->addWidget(RtDoubleEditSegmentTime, 2, 1);
    grid->addWidget(LabelSegmentStartTimeTimeConversions, 2, 2);
    grid->addWidget(LabelSegmentFow, 3, 0);
    grid->addWidget(RtDoubleEditSegmentFlow, 3, 1);
    grid->addWidget(LabelResultingFlowinSpecifiedUnit, 3, 2);
    grid->addWidget(LabelSegmentType, 4, 0);
    grid->addWidget(ButtonSegmentType, 4, 1);
    grid->addWidget(LabelNote, 5, 0);
    grid->addWidget(EditNote, 5, 1, 1, 2);
    grid->addWidget(RadioGroupSegmentTerminationType, 6, 0, 1, 3);
    auto* editButtons = new QHBoxLayout;
    editButtons->addWidget(ButtonSegmentApply);
    editButtons->addWidget(ButtonSegmentDelete);
    editButtons->addStretch(1);
    grid->addLayout(editButtons, 7, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(8, 1);

    ListViewSegmentProgram = Named(new QTreeWidget(tab), "ListViewSegmentProgram");
    ListViewSegmentProgram->setRootIsDecorated(false);
    ListViewSegmentProgram->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewSegmentProgram->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewSegmentProgram->setHeaderLabels({QStringLiteral("Time, m"), QStringLiteral("Flow, %"),
                                             QStringLiteral("Type"), QStringLiteral("Note")});
    ListViewSegmentProgram->header()->setSectionsClickable(false);
    // Widened to their headings once the window's font applies (FitSegmentListColumns).
    ListViewSegmentProgram->setColumnWidth(0, 50);
    ListViewSegmentProgram->setColumnWidth(1, 60);
    ListViewSegmentProgram->setColumnWidth(2, 45);
    ListViewSegmentProgram->setColumnWidth(3, 75);
    ListViewSegmentProgram->setMinimumWidth(250);
    outer->addWidget(ListViewSegmentProgram);
    column->addWidget(GroupBoxSegmentProgram);

    connect(RtDoubleEditSegmentFlow, &TDoubleEdit::ValueChanged, this,
            &TFormOrvello::RtDoubleEditSegmentFlowValueChanged);
    connect(ButtonSegmentProgramStart, &QPushButton::clicked, this,
            &TFormOrvello::ButtonSegmentProgramStartClick);
    connect(ButtonSegmentProgramStop, &QPushButton::clicked, this,
            &TFormOrvello::ButtonSegmentProgramStopClick);
    WireSegmentEditor();
    return tab;
}

QWidget* TFormOrvello::BuildDirectControlTab() {
    auto* tab = Named(new QWidget, "TabSheetDirectControl");
    auto* grid = new QGridLayout(tab);
    Label7 = MakeLabel(tab, "Label7", "Maximum flow");
    RtDoubleEditDirectControlMaxFlow = MakeNumber(tab, "RtDoubleEditDirectControlMaxFlow", 0);
    RtDoubleEditDirectControlMaxFlow->setEnabled(false);
    LabelDirectControlMaxFlowUnit = MakeLabel(tab, "LabelDirectControlMaxFlowUnit", "Flow unit");
    Label6 = MakeLabel(tab, "Label6", "Setpoint, %");
    RtDoubleEditDirectControlDesiredFlow =
        MakeNumber(tab, "RtDoubleEditDirectControlDesiredFlow", 0);
    RtDoubleEditDirectControlDesiredFlow->SetMinimum(0);
    RtDoubleEditDirectControlDesiredFlow->SetMaximum(100);
    LabelDirectControlResultingFlow =
        MakeLabel(tab, "LabelDirectControlResultingFlow", "Resulting flow in specified unit");
    LabelDirectControlResultingFlow->setWordWrap(true);
    ButtonApplyFlow = MakeButton(tab, "ButtonApplyFlow", "Apply setpoint(s)");
    ButtonDirectControlStop = MakeButton(tab, "ButtonDirectControlStop", "Stop");
    grid->addWidget(Label7, 0, 0);
    grid->addWidget(RtDoubleEditDirectControlMaxFlow, 0, 1);
    grid->addWidget(LabelDirectControlMaxFlowUnit, 0, 2);
    grid->addWidget(Label6, 1, 0);
    grid->addWidget(RtDoubleEditDirectControlDesiredFlow, 1, 1);
    grid->addWidget(LabelDirectControlResultingFlow, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonApplyFlow);
    buttons->addWidget(ButtonDirectControlStop);
    buttons->addStretch(1);
    grid->addLayout(buttons, 2, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(3, 1);

    connect(RtDoubleEditDirectControlDesiredFlow, &TDoubleEdit::ValueChanged, this,
            &TFormOrvello::RtDoubleEditDirectControlDesiredFlowValueChanged);
    connect(RtDoubleEditDirectControlDesiredFlow, &TDoubleEdit::ValueEdited, this,
            &TFormOrvello::RtDoubleEditDirectControlDesiredFlowEdited);
    connect(ButtonApplyFlow, &QPushButton::clicked, this, &TFormOrvello::ButtonApplyFlowClick);
    connect(ButtonDirectControlStop, &QPushButton::clicked, this,
            &TFormOrvello::ButtonSegmentProgramStopClick);
    return tab;
}

QWidget* TFormOrvello::BuildMixturesTab() {
    auto* tab = Named(new QWidget, "TabSheetMixtures");
    auto* grid = new QGridLayout(tab);
    LabelRecipe = MakeLabel(tab, "LabelRecipe", "Recipe");
    MemoMixRecipe = MakeMemo(tab, "MemoMixRecipe");
    MemoMixRecipe->setPlainText(QStringLiteral("COM6 50"));
    LabelMixResults = MakeLabel(tab, "LabelMixResults", "Mixture");
    MemoMixResult = MakeMemo(tab, "MemoMixResult");
    Label8 = MakeLabel(tab, "Label8", "Recipe");
    EditMixtureName = Named(new QLineEdit(QStringLiteral("Name"), tab), "EditMixtureName");
    GroupBoxMixAsSegments =
        Named(new QGroupBox(QStringLiteral("Add segments"), tab), "GroupBoxMixAsSegments");
    auto* addGrid = new QGridLayout(GroupBoxMixAsSegments);
    LabelMixSegmentsTime = MakeLabel(GroupBoxMixAsSegments, "LabelMixSegmentsTime", "Time, m");
    RtDoubleEditMixSegmentsAddTime =
        MakeNumber(GroupBoxMixAsSegments, "RtDoubleEditMixSegmentsAddTime", 0);
    LabelNoteMixture = MakeLabel(GroupBoxMixAsSegments, "LabelNoteMixture", "Note");
    EditNoteMixture = Named(new QLineEdit(GroupBoxMixAsSegments), "EditNoteMixture");
    ButtonMixSegmentsAdd = MakeButton(GroupBoxMixAsSegments, "ButtonMixSegmentsAdd", "Add");
    addGrid->addWidget(LabelMixSegmentsTime, 0, 0);
    addGrid->addWidget(RtDoubleEditMixSegmentsAddTime, 0, 1);
    addGrid->addWidget(LabelNoteMixture, 1, 0);
    addGrid->addWidget(EditNoteMixture, 1, 1);
    addGrid->addWidget(ButtonMixSegmentsAdd, 2, 1);

    grid->addWidget(LabelRecipe, 0, 0);
    grid->addWidget(LabelMixResults, 0, 1);
    grid->addWidget(MemoMixRecipe, 1, 0, 3, 1);
    grid->addWidget(MemoMixResult, 1, 1, 3, 1);
    grid->addWidget(Label8, 0, 2);
    grid->addWidget(EditMixtureName, 1, 2);
    grid->addWidget(GroupBoxMixAsSegments, 2, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 2);
    grid->setRowStretch(3, 1);
    ConnectMixturesTab();
    return tab;
}

void TFormOrvello::FitSegmentListColumns() {
    // The design widths, or the headings' own where the font needs more ("Time, m" lost its m).
    QHeaderView* header = ListViewSegmentProgram->header();
    int total = 0;
    for (int i = 0; i < header->count(); ++i) {
        const int width = std::max(header->sectionSize(i), header->sectionSizeHint(i));
        header->resizeSection(i, width);
        total += width;
    }
    ListViewSegmentProgram->setMinimumWidth(
        std::max(250, total + 2 * ListViewSegmentProgram->frameWidth() +
                          ListViewSegmentProgram->verticalScrollBar()->sizeHint().width()));
}
