#pragma once
// The operator console's main window. One class, its handlers split by area across files:
//   GUIOrvello.cpp               start-up, the log pane, the device list, lamps
//   GUIOrvello_Shutdown.cpp      closing the window, "Reset Devices", stopping the workers
//   GUIOrvello_CrashProtection.cpp the run record, the guardian, what an unclean run left
//   GUIOrvello_Layout.cpp        the controls of the panels and tabs
//   GUIOrvello_Menus.cpp         the main menu and the segment list's context menu
//   GUIOrvello_Details.cpp       one device record to the controls and back
//   GUIOrvello_Configure.cpp     "Apply configuration" and "Initialize"
//   GUIOrvello_PumpTools.cpp     "Prime pump" and "Change syringe"
//   GUIOrvello_Search.cpp        "Search Devices"
//   GUIOrvello_DirectControl.cpp setpoints, program start and stop, the engine timer
//   GUIOrvello_SegmentEditor.cpp the segment editor of the Design segments tab
//   GUIOrvello_ProgramFiles.cpp  loading and saving segment programs
//   GUIOrvello_DataViews.cpp     curves, the segment-program table, the data table, time units
//   GUIOrvello_FlowUnits.cpp     the flow unit panel
//   GUIOrvello_Mixtures.cpp      the recipe, its mixture report and its segments
//   GUIOrvello_Tips.cpp          the tips under the pointer
//   GUIOrvello_Telemetry.cpp     publishing the rig to an MQTT broker
//
// The window owns the controls and the handlers. What has state and rules of its own is a class
// the window owns (src/console/session): the device records (TDeviceRecords: every handler
// fetches a copy there and stores it back there, nowhere else), the re-entry guard (TReentryGuard:
// which handler may run inside which), the engine tick's host, the session log and the boxes held
// during a stop. The rig's rules are the core's. Every handler runs on the main thread.
#include "console/session/ConsoleEngineHost.h"
#include "console/session/CrashProtection.h"
#include "console/session/HeldMessages.h"
#include "console/session/ReentryGuard.h"
#include "console/session/SessionLog.h"
#include "engine/EngineTick.h"
#include "engine/FlowDeviationWatch.h"
#include "engine/StatusCodeWatch.h"
#include "engine/StatusWatch.h"
#include "engine/WorkerReadyWatch.h"
#include "registry/Orvello_DeviceInfo.h"

#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSettings;
class QSplitter;
class QTabWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

class TChart;
class TColorPickCombo;
class TDeviceListView;
class TDoubleEdit;
class TLamp;
class TRichTextLabel;
class TWarningsButton;
class TQtMainThreadGate;
class TQtOperatorMessages;
class TDiagnosticsViewer;
class TRigTelemetry;
struct TReferenceConditions;
struct TTelemetryOptions;

enum TDirectionTo { tdGUI, tdCODE };

class TFormOrvello : public QMainWindow {
    Q_OBJECT

public:
    // The window caption at start and after a reset.
    static constexpr const char* ProgramDate = "2024-05-27";

    explicit TFormOrvello(QWidget* parent = nullptr);
    ~TFormOrvello() override;

    // Appends one time-stamped line to the log pane and to the session log file.
    void MM(const std::string& message);
    // Appends one line as it is, without a time stamp, to the log pane and the session log.
    void AppendLogLine(const std::string& text);
    // A time-stamped line that the operator must not miss: logged as MM does, and kept in the
    // status bar's list of warnings until the operator clears it. Published as a warning event
    // when the rig is published.
    void Warn(const std::string& message);
    // Copies the focused device's record; false (with a log line when no row is focused) when
    // there is none.
    bool GetSelectedDevice(TDeviceInfo& device);
    // Shows a record in the tabs and the list (tdGUI) or reads the Configure tab into it (tdCODE).
    void DeviceDetailsUI(TDirectionTo direction, TDeviceInfo& device);
    TLamp* AddLedForThread();
    int GetDPIScaling() const;

    // Data views, also fed by the engine host.
    void SegmentSerie(TDeviceInfo& device);
    void MemoSegmentsUpdate();
    // False when a save failed (the operator has been told).
    bool FlowDataSave(bool force, const std::string& suffix);
    void ClearGraph(bool removeData);
    void SetTimeUnit(const std::string& unit);
    void UpdateGasFlowUnits();

    double TimeUnitFactor() const { return timeUnitFactor_; }
    const std::string& TimeUnitLetter() const { return timeUnitLetter_; }
    TConsoleEngineHost& EngineHost() { return *engineHost_; }
    // The device records with their lamps and curves: the window's one way to read and store a
    // record.
    TDeviceRecords& Records() { return records_; }
    // Where the flow logs and the session log go: "Logs" under the working directory at start.
    const QString& LogFolder() const { return logFolder_; }
    QString SessionLogPath() const;

    // One row per record of DevicesLocal, every row "Unknown", no device focused (the device
    // search fills the list this way).
    void ListAllDevices();

    // Stops every worker with its log lines, waiting at most the timeout while it serves
    // hand-overs and events, and frees the workers that stopped; each worker still active at the
    // end is named in the log and kept, so that a later stop can finish it. True when all stopped.
    bool StopWorkers(std::chrono::milliseconds timeout);
    // The stop of all workers that closing the window and "Reset Devices" share: the window
    // blocked with the emergency hint over the tabs, StopWorkers bounded by Timeout_s, then the
    // lamps of the stopped devices removed and those devices marked unconfigured. True when all
    // workers stopped.
    bool TerminateThreads(double Timeout_s);

    // Holds operator input out (the tabs, the lists and the menus) while an operation talks to
    // instruments from the main thread and serves events meanwhile: the device search, a pump
    // tool, a flow log save, the stop of the workers. Message boxes stay answerable. With
    // stopEngine the engine timer is stopped for the while. The rules of what may run inside
    // such an operation are TReentryGuard's.
    class TBlockingOperation : public TReentryGuard::TBlockingOperation {
    public:
        TBlockingOperation(TFormOrvello& window, bool stopEngine)
            : TReentryGuard::TBlockingOperation(window.guard_, stopEngine) {}
    };
    bool InBlockingOperation() const { return guard_.InBlockingOperation(); }
    // A close asked for by a signal (a terminal that closed, a service manager): as a close from
    // the window, but nobody may be there to answer a box. Every box open now is answered, and
    // every later box text goes to standard error and the session log instead.
    void CloseBySignal();
    // After the close: some device may still be running (its stop was not confirmed, or its
    // worker did not stop in time, at the close or at any stop of the run since which the device
    // was not stopped with confirmation). The program then ends with a nonzero code.
    bool DevicesLeftUnsafe() const { return devicesLeftUnsafe_; }
    // The ports whose stop was not confirmed (a worker that ended without its instrument's word
    // that it stopped, or one that did not end within the stop's bound) and whose device has not
    // been stopped with confirmation since: such a device may still have output. In the order of
    // the ports.
    std::vector<std::string> UnconfirmedStopPorts() const;
    // After the close: the flow log or the session log did not finish writing within the close's
    // bound (a folder that does not answer); what is missing has been told on standard error and
    // in the session log. The program then ends with a nonzero code, without waiting for the
    // writers any longer.
    bool FilesLeftUnwritten() const { return filesLeftUnwritten_; }
    // True when a close waits for a blocking operation to end.
    bool ClosePending() const { return guard_.ClosePending(); }

    // Keeps the run record and starts the guardian program (crash protection), after stopping
    // what a run that did not end cleanly left behind. The program calls it once, before any
    // worker can start; a window without it (a test's) keeps no record.
    void StartCrashProtection(const std::string& guardianProgram);
    const TCrashProtection& CrashProtection() const { return *crashProtection_; }

    // Publishing the rig to an MQTT broker (GUIOrvello_Telemetry.cpp), where the command line
    // says, else where the settings file says (console/session/TelemetrySettings.h). A bad setting
    // is told once (the log pane, the warnings, standard error) and nothing is published; the
    // console runs on either way. Nothing the broker sends reaches the window or an instrument.
    void StartTelemetry(const TTelemetryOptions& commandLine, const QSettings& settings);
    const TRigTelemetry* Telemetry() const { return telemetry_.get(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Start-up.
    void FormCreate();
    void BuildLayout();
    QWidget* BuildConfigureTab();
    QWidget* BuildSegmentTab();
    QWidget* BuildDirectControlTab();
    QWidget* BuildMixturesTab();
    void FitSegmentListColumns();
    void BuildMenus();
    void FillDeviceList();
    void FillFluidLists();
    void InstallPlatform();
    // Opens the window of the diagnostic messages.
    void Diagnostics1Click();
    void WireTips();

    // A warning about the rig's safety or its data (a device gone silent, a flow away from its
    // setpoint, a stop not confirmed): shown as Warn shows it, published as an alarm.
    void Alarm(const std::string& message);
    // A line of the log that watchers hear of too (a device that answers again, a stop's
    // outcome), with the level it is published at.
    void LogEvent(const char* level, const std::string& message);
    void PublishEvent(const char* level, const std::string& message);
    // After each tick: the publisher's notices to the log, and the devices whose state changed.
    void PublishTelemetry();
    // The last word at the close: "stopped" when every stop was confirmed, else "offline".
    void FinishTelemetry();

    // Device list.
    void ListViewDevicesClick();
    void ShowDeviceRowState(const TDeviceInfo& device);
    // Shows the focused device again after commands that showed several devices in turn.
    void ShowFocusedDeviceLast();

    // Device search.
    void Searchdevices1Click();
    // The status bar's sign of the search's progress: port number of count (count 0 while the
    // ports are not yet listed).
    void ShowSearchProgress(const QString& port, int number, int count);
    void HideSearchProgress();

    // Closing and resetting (GUIOrvello_Shutdown.cpp).
    void Resetsoftware1Click();
    void Savesoftwarestate1Click();
    QWidget* ShowEmergencyPanel();
    // A line for whoever looks after the program when the window is gone: the log pane, the
    // session log and standard error.
    void TellOutsideTheWindow(const std::string& line);
    // Serves events until the flow log and the session log have written everything they were
    // given, or until the deadline; then tells outside the window from which time what is not on
    // disk, if anything.
    void FinishFileWrites(std::chrono::steady_clock::time_point deadline);
    void RemoveLampsOfStoppedDevices();
    void MarkStoppedDevicesUnconfigured();

    // Configure tab.
    void ButtonApplyConfigurationClick();
    void ButtonDeviceInitializeClick();
    void RtColorPickComboDeviceColorChanged();

    // Pump tools: one pump program sent by a driver of their own, before the pump's worker runs.
    void ButtonPrimePumpClick();
    void ButtonChangeSyringeClick();
    void RunPumpTool(const std::string& warning, const std::string& command,
                     const std::string& doneMessage);

    // Direct control and program start and stop.
    void RtDoubleEditDirectControlDesiredFlowValueChanged();
    void RtDoubleEditDirectControlDesiredFlowEdited();
    void ButtonApplyFlowClick();
    void ButtonSegmentProgramStartClick();
    void ButtonSegmentProgramStopClick();
    // Idle mode and setpoint 0 for a device with a worker, the zero (or the pump's terminate)
    // written straight into the worker's request, with its log line. The caller stores the record.
    void StopDeviceOutput(TDeviceInfo& device);
    void TimerEngineTimer();

    // Data views.
    void ShowTable1Click(QAction* sender);
    void ShowSegmentPrograms1Click();
    void Showachievedflows1Click();
    void Autoscrolltolastline1Click();
    void Cleargraphdiscarddata1Click();
    // The segment-program table of the selected devices; empty when switched off.
    QString MergeSegments();

    // Flow unit panel.
    void ComboBoxFlowUnitPredefinedChange();
    void SelectReferenceConditionsOf(const TGasFlowDetails& unit);
    void EditFlowUnitTemperatureCValueChanged();
    void EditFlowUnitPressureBarValueChanged();
    void RtDoubleEditSegmentFlowValueChanged();
    void ShowFlowUnitFields(bool visible);
    // The figures behind the percent fields in the focused device's unit; UpdateGasFlowUnits
    // with the pump's planned commands in the log, or quietly when a device is only shown.
    void ShowFlowFigures(bool logPumpCommands);

    // Mixtures tab (GUIOrvello_Mixtures.cpp).
    void ConnectMixturesTab();
    void MemoMixRecipeChange();
    void ButtonMixSegmentsAddClick();
    // Whether the last evaluation accepted the recipe; "Add" refuses until one has.
    bool recipeValid_ = false;

    // Tips.
    void ShowHelp(QObject* sender);
    void ShowTip(const QString& markup);
    void PointerMovedOver(QWidget* watched, const QPointF& globalPosition);
    void FillReferenceConditions();
    // The row of conditions chosen in ComboBoxFlowUnitPredefined; nullptr for none or the heading.
    const TReferenceConditions* ChosenReferenceConditions() const;

    // The controls, named as the operator's documentation names them, and the window's own: code
    // outside the window finds them by those names (their objectName), as an operator finds them
    // by what they show.
    QWidget* PanelData = nullptr;
    TChart* RtGraph2DMain = nullptr;
    QPlainTextEdit* MemoSegments = nullptr;
    QPlainTextEdit* MemoData = nullptr;
    QSplitter* SplitterTop = nullptr;
    QSplitter* SplitterVertical = nullptr;
    QSplitter* SplitterBottom = nullptr;
    QWidget* PanelSelectDevice = nullptr;
    TRichTextLabel* DzHTMLTextDeviceCaption = nullptr;
    TDeviceListView* ListViewDevices = nullptr;
    QWidget* PanelActions = nullptr;
    TRichTextLabel* DzHTMLText1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheetConfigure = nullptr;
    QWidget* TabSheetSegment = nullptr;
    QWidget* TabSheetDirectControl = nullptr;
    QWidget* TabSheetMixtures = nullptr;
    QWidget* PanelBottomMemo = nullptr;
    QPlainTextEdit* MemoMain = nullptr;
    QWidget* PanelHelp = nullptr;
    TRichTextLabel* DzHTMLTextTips = nullptr;
    QWidget* PanelStatusBar = nullptr;
    TWarningsButton* ButtonWarnings = nullptr;
    QLabel* LabelSearchProgress = nullptr;
    QProgressBar* ProgressBarSearch = nullptr;

    // Configure tab.
    QLabel* LabelDeviceType = nullptr;
    QLineEdit* EditDeviceType = nullptr;
    QLabel* LabelDeviceName = nullptr;
    QLineEdit* EditDeviceName = nullptr;
    QLabel* LabelColor = nullptr;
    TColorPickCombo* RtColorPickComboDeviceColor = nullptr;
    QLabel* LabelDeviceColor = nullptr;
    QLabel* LabelFluid = nullptr;
    QComboBox* ComboBoxDeviceFluid = nullptr;
    QComboBox* ComboBoxDeviceFluidPump = nullptr;
    QGroupBox* GroupBoxFlowUnit = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* EditFlowUnitName = nullptr;
    QLabel* Label3 = nullptr;
    TDoubleEdit* EditFlowUnitTemperatureC = nullptr;
    QLabel* Label4 = nullptr;
    TDoubleEdit* EditFlowUnitPressureBar = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* ComboBoxFlowUnitPredefined = nullptr;
    QLabel* LabelUnitTemp = nullptr;
    QLabel* LabelPSI = nullptr;
    QLabel* LabelDeviationLimit = nullptr;
    QWidget* PanelFlowAlarm = nullptr;
    TDoubleEdit* RtDoubleEditDeviationLimit = nullptr;
    QLabel* LabelDeviationDelay = nullptr;
    TDoubleEdit* RtDoubleEditDeviationDelay = nullptr;
    QGroupBox* GroupBoxConfigurePump = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* EditPumpUnitName = nullptr;
    QLabel* LabelFluidTemp = nullptr;
    TDoubleEdit* RtDoubleEditFluidTemperature = nullptr;
    QLabel* LabelSyringeSize = nullptr;
    TDoubleEdit* RtDoubleEditSyringeSizeµL = nullptr;
    QGroupBox* GroupBoxDeviceTools = nullptr;
    QPushButton* ButtonDeviceInitialize = nullptr;
    QPushButton* ButtonPrimePump = nullptr;
    QPushButton* ButtonChangeSyringe = nullptr;
    QPushButton* ButtonApplyConfiguration = nullptr;

    // Design segments tab.
    QLabel* LabelSelectedDevice = nullptr;
    QLabel* LabelSelectedDeviceNameRole = nullptr;
    QLabel* LabelDeviceMaxFlow = nullptr;
    TDoubleEdit* RtDoubleEditDevMaxFlow = nullptr;
    QLabel* LabelSpecifiedFlowUnit = nullptr;
    QLabel* LabelSegmentStartTime = nullptr;
    TDoubleEdit* RtDoubleEditSegmentTime = nullptr;
    QLabel* LabelSegmentStartTimeTimeConversions = nullptr;
    QLabel* LabelSegmentFow = nullptr;
    TDoubleEdit* RtDoubleEditSegmentFlow = nullptr;
    QLabel* LabelResultingFlowinSpecifiedUnit = nullptr;
    QLabel* LabelSegmentType = nullptr;
    QPushButton* ButtonSegmentType = nullptr;
    QLabel* LabelNote = nullptr;
    QLineEdit* EditNote = nullptr;
    QGroupBox* RadioGroupSegmentTerminationType = nullptr;
    QRadioButton* RadioButtonKeepLastFlow = nullptr;
    QPushButton* ButtonSegmentApply = nullptr;
    QPushButton* ButtonSegmentDelete = nullptr;
    QTreeWidget* ListViewSegmentProgram = nullptr;
    QGroupBox* GroupBoxSegmentProgram = nullptr;
    QPushButton* ButtonSegmentProgramStart = nullptr;
    QPushButton* ButtonSegmentProgramStop = nullptr;

    // Direct control tab.
    QLabel* Label7 = nullptr;
    TDoubleEdit* RtDoubleEditDirectControlMaxFlow = nullptr;
    QLabel* LabelDirectControlMaxFlowUnit = nullptr;
    QLabel* Label6 = nullptr;
    TDoubleEdit* RtDoubleEditDirectControlDesiredFlow = nullptr;
    QLabel* LabelDirectControlResultingFlow = nullptr;
    QPushButton* ButtonApplyFlow = nullptr;
    QPushButton* ButtonDirectControlStop = nullptr;

    // Mixtures tab.
    QLabel* LabelRecipe = nullptr;
    QPlainTextEdit* MemoMixRecipe = nullptr;
    QLabel* LabelMixResults = nullptr;
    QPlainTextEdit* MemoMixResult = nullptr;
    QLabel* Label8 = nullptr;
    QLineEdit* EditMixtureName = nullptr;
    QGroupBox* GroupBoxMixAsSegments = nullptr;
    QLabel* LabelMixSegmentsTime = nullptr;
    TDoubleEdit* RtDoubleEditMixSegmentsAddTime = nullptr;
    QLabel* LabelNoteMixture = nullptr;
    QLineEdit* EditNoteMixture = nullptr;
    QPushButton* ButtonMixSegmentsAdd = nullptr;

    // Menus.
    QMenuBar* MainMenu1 = nullptr;
    QAction* Savesoftwarestate1 = nullptr;
    QAction* Loadsoftwarestate1 = nullptr;
    QAction* Minute1 = nullptr;
    QAction* Hour1 = nullptr;
    QAction* Day1 = nullptr;
    QAction* Diagnostics1 = nullptr;
    QAction* ShowTable1 = nullptr;
    QAction* ShowSegmentProgram1 = nullptr;
    QAction* ShowData1 = nullptr;
    QAction* Graph2 = nullptr;
    QAction* ShowSegmentPrograms1 = nullptr;
    QAction* Showachievedflows1 = nullptr;
    QAction* ShowLegend1 = nullptr;
    QAction* Cleargraphdiscarddata1 = nullptr;
    QAction* DataTable1 = nullptr;
    QAction* Autoscrolltolastline1 = nullptr;
    QAction* Searchdevices1 = nullptr;
    QAction* Resetsoftware1 = nullptr;
    QMenu* PopupMenuSegment = nullptr;
    QAction* SaveSegmentProgramAs1 = nullptr;
    QAction* LoadSegmentProgram2 = nullptr;

    QTimer* TimerEngine = nullptr;
    TLamp* EngineLed = nullptr;

private:
    double timeUnitFactor_ = 1;
    std::string timeUnitLetter_ = "m";
    // The segment table last merged, and what it was merged from.
    std::vector<std::string> mergedSegmentsOf_;
    QString mergedSegments_;
    QString logFolder_;
    std::unique_ptr<TSessionLog> sessionLog_;
    TDeviceRecords records_;
    std::unique_ptr<TConsoleEngineHost> engineHost_;
    TEngineTick engineTick_;
    TWorkerReadyWatch readyWatch_;
    TStatusWatch statusWatch_;
    TStatusCodeWatch statusCodeWatch_;
    TFlowDeviationWatch deviationWatch_;
    TReentryGuard guard_;
    // The splitters take their design sizes at the first show only.
    bool shownOnce_ = false;
    // The workers have been stopped (a close, or a stop that found all of them stopped): the
    // destructor need not stop them again.
    bool workersStopped_ = false;
    bool closeBySignal_ = false;
    bool devicesLeftUnsafe_ = false;
    // The lines of the last stop of the workers that name a device that may still be running.
    std::vector<std::string> unsafeDevices_;
    // For the whole run: each port whose stop was not confirmed, with the line that named it,
    // until its device is stopped with confirmation.
    std::map<std::string, std::string> unconfirmedStops_;
    bool filesLeftUnwritten_ = false;
    // Set when the first device search ended; a run searches once.
    bool devicesSearched_ = false;

    // The named controls that choose a tip, and the tip shown last.
    QSet<QWidget*> tipControls_;
    QString shownTip_;

    std::unique_ptr<TQtMainThreadGate> gate_;
    std::unique_ptr<TQtOperatorMessages> messages_;
    // Boxes raised while devices are being stopped wait until the stop is on its way.
    THeldOperatorMessages heldMessages_;
    std::unique_ptr<TDiagnosticsViewer> diagnostics_;
    std::unique_ptr<TCrashProtection> crashProtection_;
    std::unique_ptr<TRigTelemetry> telemetry_;
    // Events from before publishing was decided (a start that had devices to stop after a run
    // that did not end cleanly says so early), published once it starts; a few at most.
    struct TEarlyEvent {
        const char* Level;
        std::string Message;
        double Time;
    };
    std::vector<TEarlyEvent> earlyEvents_;
    bool telemetryDecided_ = false;

    // ---- Segment editor and program files (GUIOrvello_SegmentEditor.cpp,
    //      GUIOrvello_ProgramFiles.cpp) ----
public:
    // Stores a record whose SegmentProgram was changed and shows it again, so that the segment
    // list, the program curve and the segment-program table follow. False, with nothing shown,
    // when the record could not be stored; the caller tells the operator in its own words.
    bool StoreSegmentProgramAndShow(TDeviceInfo& device);
    // Where the program file dialogs open: "Segment Programs" beside "Logs".
    const QString& SegmentProgramFolder() const { return segmentProgramFolder_; }

private:
    // Connects the editor's controls, fills the sample rows and installs the file dialogs;
    // called once while the segment tab is built (the context menu's entries are connected
    // where the menu is built).
    void WireSegmentEditor();
    void ButtonSegmentApplyClick();
    void ButtonSegmentDeleteClick();
    void ButtonSegmentTypeClick();
    void ListViewSegmentProgramChange();
    void ListViewSegmentProgramMouseUp(const QPoint& globalPosition);
    void RtDoubleEditSegmentTimeValueChanged();
    void SaveSegmentProgramAs1Click();
    void LoadSegmentProgram2Click();

    QString segmentProgramFolder_;
};
