// The console publishing a one-set rig to Debian's mosquitto, started on a free local port, as a
// lab's watcher sees it: MFC A at 40 % and the pump dispensing give their retained device states,
// every data row, and the status; a controller gone silent gives its alarm and its return; the
// broker stopped for 20 s and started again loses nothing below the bound while the data table
// and the flow log go on; a clean close leaves "stopped". Apart: bad settings are told once and
// publish nothing, and a broker that never answers delays neither the start nor the close.
//
// One session for the whole rig (the slots run in order): the rig's setup and the outage are
// what cost time, and each is paid once.
#include "console/ConsoleRigSupport.h"
#include "console/ConsoleTestSupport.h"
#include "console/SessionSupport.h"
#include "console/automation/FindControl.h"
#include "support/MosquittoBroker.h"
#include "support/MqttSubscriber.h"

#include "console/session/TelemetrySettings.h"
#include "console/widgets/DoubleEdit.h"
#include "console/widgets/WarningsButton.h"
#include "engine/StatusWatch.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSettings>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sys/stat.h>

namespace {

using nlohmann::json;
using namespace std::chrono_literals;

constexpr int BrokerWait_ms = 20000;
const std::string Rig = "lab-rig";
const std::string Prefix = "orvello/" + Rig + "/";
const std::string EarlyWarning = "A warning from before publishing started";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::optional<json> Json(const std::string& payload) {
    const json parsed = json::parse(payload, nullptr, false);
    if (parsed.is_discarded())
        return std::nullopt;
    return parsed;
}

// The last message on a topic, parsed.
std::optional<json> Last(const TMqttSubscriber& subscriber, const std::string& topic) {
    const std::vector<TReceived> messages = subscriber.On(topic);
    return messages.empty() ? std::nullopt : Json(messages.back().Payload);
}

std::vector<json> All(const TMqttSubscriber& subscriber, const std::string& topic) {
    std::vector<json> parsed;
    for (const TReceived& message : subscriber.On(topic))
        if (std::optional<json> value = Json(message.Payload))
            parsed.push_back(*value);
    return parsed;
}

QString Describe(const TMqttSubscriber& subscriber) {
    QStringList lines;
    const std::vector<TReceived> messages = subscriber.Messages();
    for (std::size_t i = messages.size() > 12 ? messages.size() - 12 : 0; i < messages.size(); ++i)
        lines << Q(messages[i].Topic + " " + messages[i].Payload);
    return lines.join('\n');
}

QStringList TableRows(const TFormOrvello& window) {
    return DataRows(Control<QPlainTextEdit>(window, "MemoData")->toPlainText().split('\n'));
}

// A table row's stamp as a local time in seconds, comparable with another row's.
qint64 RowSeconds(const QString& row) {
    return QDateTime::fromString(row.mid(1, 19), QStringLiteral("yyyy-MM-dd hh:mm:ss"))
        .toSecsSinceEpoch();
}

// The largest gap between two rows' stamps, in seconds.
qint64 LargestGap(const QStringList& rows) {
    qint64 gap = 0;
    for (qsizetype i = 1; i < rows.size(); ++i)
        gap = std::max(gap, RowSeconds(rows[i]) - RowSeconds(rows[i - 1]));
    return gap;
}

bool IsIsoTime(const json& value) {
    static const QRegularExpression iso(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)"));
    return value.is_string() && iso.match(Q(value.get<std::string>())).hasMatch();
}

int WarningsContaining(const TFormOrvello& window, const QString& text) {
    return static_cast<int>(
        Control<TWarningsButton>(window, "ButtonWarnings")->Warnings().filter(text).size());
}

// Settings of their own, so the user's settings file plays no part.
class TEmptySettings {
public:
    TEmptySettings() : settings(folder.filePath("orvello.ini"), QSettings::IniFormat) {}
    QTemporaryDir folder;
    QSettings settings;
};

} // namespace

class TelemetryTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void TopicsAndPayloadsOfARigAtWork();
    void ASilentControllerIsAnAlarmAndItsReturnNews();
    void RowsResumeAfterTheBrokerWasAwayAndNothingPaused();
    void ACleanCloseLeavesStopped();
    void BadSettingsAreToldOnceAndNothingIsPublished_data();
    void BadSettingsAreToldOnceAndNothingIsPublished();
    void ABrokerThatNeverAnswersDelaysNeitherStartNorClose();
    void cleanupTestCase();

private:
    TMosquittoBroker broker_;
    std::unique_ptr<TMqttSubscriber> watcher_;
    std::unique_ptr<TConsoleRig> rig_;
    std::unique_ptr<TConsoleFixture> fixture_;
    std::string mfc_;
    std::string mfcB_;
    std::string pump_;
};

void TelemetryTest::initTestCase() {
    std::string error;
    QVERIFY2(broker_.Start(error), error.c_str());
    watcher_ = std::make_unique<TMqttSubscriber>(broker_.Port());
    QVERIFY(watcher_->WaitSubscribed(std::chrono::milliseconds(BrokerWait_ms)));

    rig_ = std::make_unique<TConsoleRig>();
    QVERIFY2(rig_->Started(), rig_->Error().c_str());
    mfc_ = rig_->Port("MFCA");
    mfcB_ = rig_->Port("MFCB");
    pump_ = rig_->Port("Pump");
    fixture_ = std::make_unique<TConsoleFixture>(RigDevices(*rig_));
    TFormOrvello& window = *fixture_->window;
    window.ListAllDevices(); // the rows as the search leaves them
    // The engine at its own pace: a row needs fresh status from MFC A, about one a second.
    Control<QTimer>(window, "TimerEngine")->setInterval(1000);

    // A warning from before publishing starts (a start that had devices to stop says so early)
    // reaches the watchers all the same.
    window.Warn(EarlyWarning);
    TTelemetryOptions options;
    options.Url = Q(broker_.Url());
    options.Rig = Q(Rig);
    TEmptySettings settings;
    window.StartTelemetry(options, settings.settings);
    QVERIFY(window.Telemetry());

    fixture_->ClickRow(Q(mfc_));
    ConfigureFocusedDevice(window);
    fixture_->ClickRow(Q(pump_));
    ConfigureFocusedPump(window);
    QCOMPARE(ActiveThreadCount(), 2);
    for (const auto& [port, percent] : {std::pair{mfc_, "40"}, std::pair{pump_, "50"}}) {
        fixture_->ClickRow(Q(port));
        ShowTab(window, "TabSheetDirectControl");
        TConsoleFixture::TypeInto(
            Control<TDoubleEdit>(window, "RtDoubleEditDirectControlDesiredFlow"), percent);
        TConsoleFixture::Click(Control<QPushButton>(window, "ButtonApplyFlow"));
    }
}

void TelemetryTest::TopicsAndPayloadsOfARigAtWork() {
    TFormOrvello& window = *fixture_->window;
    const TMqttSubscriber& watcher = *watcher_;
    // MFC A near its 40 %, as a row holds it; the pump reporting its dispense.
    WAIT_UNTIL(
        [&] {
            const std::optional<json> mfc = Last(watcher, Prefix + "devices/" + mfc_);
            const std::optional<json> pump = Last(watcher, Prefix + "devices/" + pump_);
            return mfc && pump && (*mfc)["flow_pct"].is_number() &&
                   std::abs((*mfc)["flow_pct"].get<double>() - 40) < 2 &&
                   (*pump)["flow_pct"] == 50.0;
        }(),
        InstrumentWait_ms, "MFC A near 40 % and the pump at 50 %", Describe(watcher));

    const TDeviceInfo mfcRecord = fixture_->Device(mfc_);
    const json mfc = *Last(watcher, Prefix + "devices/" + mfc_);
    QCOMPARE(mfc.size(), std::size_t{8});
    QVERIFY2(mfc["port"] == mfc_, mfc.dump().c_str());
    QVERIFY2(mfc["name"] == mfcRecord.NameRole, mfc.dump().c_str());
    QVERIFY2(mfc["kind"] == "MFCA", mfc.dump().c_str());
    QVERIFY2(mfc["state"] == "Direct", mfc.dump().c_str());
    QVERIFY2(mfc["setpoint_pct"] == 40.0, mfc.dump().c_str());
    QVERIFY2(mfc["unit"] == mfcRecord.FlowUnitUser.Name, mfc.dump().c_str());
    QVERIFY2(IsIsoTime(mfc["time"]), mfc.dump().c_str());
    const json pump = *Last(watcher, Prefix + "devices/" + pump_);
    QVERIFY2(pump["kind"] == "Pump", pump.dump().c_str());
    QVERIFY2(pump["state"] == "Direct", pump.dump().c_str());
    QVERIFY2(pump["setpoint_pct"] == 50.0, pump.dump().c_str());
    QVERIFY2(pump["unit"] == fixture_->Device(pump_).FlowUnitUser.Name, pump.dump().c_str());
    // Found but not configured: listed, asked for nothing.
    const json mfcB = *Last(watcher, Prefix + "devices/" + mfcB_);
    QVERIFY2(mfcB["state"] == "Unknown", mfcB.dump().c_str());
    QVERIFY(mfcB["setpoint_pct"].is_null());
    QVERIFY(mfcB["flow_pct"].is_null());

    // One message per data table row, with the row's time and flow (pumps have no cell).
    WAIT_UNTIL(watcher.On(Prefix + "rows").size() >= 2 &&
                   watcher.On(Prefix + "rows").size() == std::size_t(TableRows(window).size()),
               BrokerWait_ms, "every row published", Describe(watcher));
    const QStringList table = TableRows(window);
    const std::vector<json> rows = All(watcher, Prefix + "rows");
    QCOMPARE(rows.size(), std::size_t(table.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const json& row = rows[i];
        QVERIFY2(IsIsoTime(row["time"]), row.dump().c_str());
        QCOMPARE(Q(row["time"].get<std::string>().substr(0, 19)).replace('T', ' '),
                 table[static_cast<qsizetype>(i)].mid(1, 19));
        QCOMPARE(row["flows"].size(), std::size_t{1});
        const QString cell = Cells(table[static_cast<qsizetype>(i)]).first();
        // The cell's six decimals, rounded the same way but for a tie in the seventh.
        QVERIFY2(std::abs(row["flows"][mfc_].get<double>() - cell.toDouble()) <= 1.01e-6,
                 qPrintable(Q(row.dump()) + " against " + table[static_cast<qsizetype>(i)]));
    }

    // QoS 1 for the status, 0 for devices and rows; the status and the devices are retained
    // for a watcher that comes later, the rows are not.
    for (const TReceived& message : watcher.Messages()) {
        const bool status = message.Topic == Prefix + "status";
        QVERIFY2(message.Qos == (status || message.Topic == Prefix + "events" ? 1 : 0),
                 message.Topic.c_str());
    }
    TMqttSubscriber late(broker_.Port());
    WAIT_UNTIL(late.Messages().size() >= 4, BrokerWait_ms, "the retained messages", Describe(late));
    QTest::qWait(300);
    for (const TReceived& message : late.Messages()) {
        QVERIFY2(message.Retained, message.Topic.c_str());
        QVERIFY2(message.Topic != Prefix + "rows", message.Payload.c_str());
    }
    QCOMPARE(late.On(Prefix + "status").back().Payload, std::string("online"));
    QVERIFY(!late.On(Prefix + "devices/" + mfc_).empty());
    QVERIFY(!late.On(Prefix + "devices/" + pump_).empty());

    const std::vector<json> events = All(watcher, Prefix + "events");
    QVERIFY2(!events.empty() && events.front()["text"] == EarlyWarning &&
                 events.front()["level"] == "warning" && !events.front().contains("port"),
             Describe(watcher).toUtf8().constData());
}

void TelemetryTest::ASilentControllerIsAnAlarmAndItsReturnNews() {
    const TMqttSubscriber& watcher = *watcher_;
    const auto eventWith = [&](const std::string& text) -> std::optional<json> {
        for (const json& event : All(watcher, Prefix + "events"))
            if (event["text"] == text)
                return event;
        return std::nullopt;
    };
    QCOMPARE(rig_->Control("silent " + mfc_ + " on"), std::string());
    const std::string silent =
        NoStatusLine(mfc_, static_cast<int>(TStatusWatch::QuietLimit.count()));
    WAIT_UNTIL(eventWith(silent).has_value(), InstrumentWait_ms, "the silent controller's alarm",
               Describe(watcher));
    QCOMPARE(rig_->Control("silent " + mfc_ + " off"), std::string());
    WAIT_UNTIL(eventWith(StatusAgainLine(mfc_)).has_value(), InstrumentWait_ms,
               "the controller back", Describe(watcher));

    const json alarm = *eventWith(silent);
    QVERIFY2(alarm["level"] == "alarm", alarm.dump().c_str());
    QVERIFY2(alarm["port"] == mfc_, alarm.dump().c_str());
    QVERIFY(IsIsoTime(alarm["time"]));
    const json back = *eventWith(StatusAgainLine(mfc_));
    QVERIFY2(back["level"] == "info", back.dump().c_str());
    QVERIFY2(back["port"] == mfc_, back.dump().c_str());
    for (const TReceived& message : watcher.On(Prefix + "events"))
        QCOMPARE(message.Qos, 1);
    // The operator was told as before.
    QCOMPARE(WarningsContaining(*fixture_->window, Q(silent)), 1);
}

void TelemetryTest::RowsResumeAfterTheBrokerWasAwayAndNothingPaused() {
    TFormOrvello& window = *fixture_->window;
    const TMqttSubscriber& watcher = *watcher_;
    WAIT_UNTIL(watcher.On(Prefix + "rows").size() == std::size_t(TableRows(window).size()),
               BrokerWait_ms, "the rows so far published", Describe(watcher));
    const qsizetype rowsBefore = TableRows(window).size();

    broker_.Stop();
    QElapsedTimer away;
    away.start();
    // Twenty seconds without the broker, the window serving its events all along.
    while (away.elapsed() < 20000)
        QTest::qWait(100);
    const QString unreachable =
        QStringLiteral("MQTT broker %1 is unreachable").arg(Q(broker_.Url()));
    QCOMPARE(WarningsContaining(window, unreachable), 1);
    const qsizetype rowsAway = TableRows(window).size() - rowsBefore;
    QVERIFY2(rowsAway >= 4, qPrintable(QString::number(rowsAway)));

    std::string error;
    QVERIFY2(broker_.Start(error), error.c_str());
    QElapsedTimer back;
    back.start();
    const std::size_t seenBefore = watcher.On(Prefix + "rows").size();
    WAIT_UNTIL(watcher.On(Prefix + "rows").size() > seenBefore, 10000,
               "rows within 10 s of the broker's return", Describe(watcher));
    const qint64 resumed_ms = back.elapsed();
    qInfo("rows resumed %lld ms after the broker came back", resumed_ms);
    // Everything queued while it was away arrives, in order, and then the rows go on.
    WAIT_UNTIL(watcher.On(Prefix + "rows").size() == std::size_t(TableRows(window).size()),
               BrokerWait_ms, "every row published", Describe(watcher));
    const std::vector<json> rows = All(watcher, Prefix + "rows");
    const QStringList table = TableRows(window);
    for (std::size_t i = 0; i < rows.size(); ++i)
        QCOMPARE(Q(rows[i]["time"].get<std::string>().substr(0, 19)).replace('T', ' '),
                 table[static_cast<qsizetype>(i)].mid(1, 19));
    QCOMPARE(WarningsContaining(window, unreachable), 1);
    const QString isBack = QStringLiteral("MQTT broker %1 is back").arg(Q(broker_.Url()));
    WAIT_UNTIL(fixture_->LogLines().filter(isBack).size() == 1, BrokerWait_ms,
               "the line that says the broker is back", fixture_->LogLines().join('\n'));

    // The data table never paused, and the flow log holds the same rows.
    QVERIFY2(LargestGap(table.mid(rowsBefore - 1)) <= 8, qPrintable(table.join('\n')));
    QVERIFY(window.FlowDataSave(true, "Outage"));
    const QStringList logged =
        DataRows(ReadFile(QDir(window.LogFolder())
                              .entryInfoList({"* log Outage.txt"}, QDir::Files)
                              .value(0)
                              .absoluteFilePath())
                     .split(QStringLiteral("\r\n")));
    QCOMPARE(logged.mid(0, table.size()), table);
}

void TelemetryTest::ACleanCloseLeavesStopped() {
    TFormOrvello& window = *fixture_->window;
    window.close();
    QVERIFY(!window.DevicesLeftUnsafe());
    const TMqttSubscriber& watcher = *watcher_;
    WAIT_UNTIL(!watcher.On(Prefix + "status").empty() &&
                   watcher.On(Prefix + "status").back().Payload == "stopped",
               BrokerWait_ms, "the last word", Describe(watcher));
    // The devices as the stop left them, and the stop's outcome, came before it.
    QVERIFY((*Last(watcher, Prefix + "devices/" + mfc_))["state"] == "Unknown");
    QVERIFY((*Last(watcher, Prefix + "devices/" + pump_))["state"] == "Unknown");
    const std::vector<json> events = All(watcher, Prefix + "events");
    QVERIFY(std::any_of(events.begin(), events.end(), [](const json& event) {
        return event["text"] == "All threads terminated, marking devices unconfigured" &&
               event["level"] == "info";
    }));
    TMqttSubscriber late(broker_.Port());
    WAIT_UNTIL(!late.On(Prefix + "status").empty(), BrokerWait_ms, "the retained status",
               Describe(late));
    QCOMPARE(late.On(Prefix + "status").back().Payload, std::string("stopped"));
    fixture_.reset();
    rig_.reset();
}

void TelemetryTest::BadSettingsAreToldOnceAndNothingIsPublished_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("credentialsMode"); // 0: none; -1: a file that does not exist
    QTest::addColumn<QString>("message");
    const QString url = Q(broker_.Url());
    QTest::newRow("a malformed URL") << QStringLiteral("mqtt//127.0.0.1") << 0
                                     << QStringLiteral("Not publishing to an MQTT broker: "
                                                       "\"mqtt//127.0.0.1\" is not a broker "
                                                       "address: write it as mqtt://HOST[:PORT] "
                                                       "or mqtts://HOST[:PORT]");
    QTest::newRow("an unknown scheme")
        << QStringLiteral("http://127.0.0.1:%1").arg(broker_.Port()) << 0
        << QStringLiteral("Not publishing to an MQTT broker: \"http://127.0.0.1:%1\" is not a "
                          "broker address: unknown scheme \"http\"")
               .arg(broker_.Port());
    QTest::newRow("an unreadable credentials file")
        << url << -1 << QStringLiteral("cannot be read: No such file or directory");
    QTest::newRow("a world-readable credentials file")
        << url << 0644
        << QStringLiteral("may be read by others (mode 0644); allow only its owner with chmod 600");
}

void TelemetryTest::BadSettingsAreToldOnceAndNothingIsPublished() {
    QFETCH(QString, url);
    QFETCH(int, credentialsMode);
    QFETCH(QString, message);
    TConsoleFixture fixture;
    TFormOrvello& window = *fixture.window;
    TEmptySettings settings;
    TTelemetryOptions options;
    options.Url = url;
    options.Rig = QStringLiteral("bad-settings");
    if (credentialsMode != 0) {
        const QString path = settings.folder.filePath("credentials");
        if (credentialsMode > 0) {
            std::ofstream(path.toStdString()) << "rig1\nsecret\n";
            ::chmod(path.toLocal8Bit().constData(), static_cast<mode_t>(credentialsMode));
        }
        options.Credentials = path;
    }
    TMqttSubscriber watcher(broker_.Port(), {"orvello/bad-settings/#", "", "", ""});
    QVERIFY(watcher.WaitSubscribed(std::chrono::milliseconds(BrokerWait_ms)));
    const int before = Control<TWarningsButton>(window, "ButtonWarnings")->Count();

    window.StartTelemetry(options, settings.settings);
    QVERIFY(!window.Telemetry());
    const QStringList warnings = Control<TWarningsButton>(window, "ButtonWarnings")->Warnings();
    QCOMPARE(Control<TWarningsButton>(window, "ButtonWarnings")->Count(), before + 1);
    QVERIFY2(warnings.last().contains(message), qPrintable(warnings.last()));
    QVERIFY2(warnings.last().contains("Not publishing to an MQTT broker: "),
             qPrintable(warnings.last()));
    // The console runs on: its engine ticks, and nothing reaches the broker.
    const int ticks = fixture.LogLines().size();
    QTest::qWait(1000);
    QVERIFY(Control<QTimer>(window, "TimerEngine")->isActive());
    QCOMPARE(fixture.LogLines().size(), ticks);
    QCOMPARE(watcher.Messages().size(), std::size_t{0});
}

void TelemetryTest::ABrokerThatNeverAnswersDelaysNeitherStartNorClose() {
    TMosquittoBroker frozen;
    std::string error;
    QVERIFY2(frozen.Start(error), error.c_str());
    frozen.Freeze();
    TConsoleFixture fixture;
    TFormOrvello& window = *fixture.window;
    TEmptySettings settings;
    TTelemetryOptions options;
    options.Url = Q(frozen.Url());
    QElapsedTimer timer;
    timer.start();
    window.StartTelemetry(options, settings.settings);
    const qint64 start_ms = timer.elapsed();
    QVERIFY(window.Telemetry());
    QTest::qWait(1500); // the connection is accepted and waits for an answer
    timer.restart();
    window.close();
    const qint64 close_ms = timer.elapsed();
    qInfo("start %lld ms, close %lld ms with a broker that never answers", start_ms, close_ms);
    QVERIFY2(start_ms < 1000, qPrintable(QString::number(start_ms)));
    QVERIFY2(close_ms < 1500, qPrintable(QString::number(close_ms)));
    frozen.Thaw();
}

void TelemetryTest::cleanupTestCase() {
    fixture_.reset();
    rig_.reset();
    watcher_.reset();
}

QTEST_MAIN(TelemetryTest)
#include "TelemetryTest.moc"
