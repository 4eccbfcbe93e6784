// Publishing the rig to an MQTT broker: the window wires the publisher (telemetry/) to its tick,
// its data rows and its warnings; the publisher's thread does the talking, so nothing here waits
// on the network.
#include "console/session/TelemetrySettings.h"
#include "console/widgets/WarningsButton.h"
#include "console/window/GUIOrvello.h"
#include "platform/Clock.h"
#include "program/UnitUtils.h"
#include "telemetry/RigTelemetry.h"

#include <QSysInfo>

#include <cstdio>

namespace {

// How long the close waits for the broker to take the last word. Only a broker that was
// reached and stopped answering makes it wait that long; one never reached costs nothing.
constexpr auto LastWordBound = std::chrono::seconds(2);
// Events kept from before publishing was decided.
constexpr std::size_t EarlyEventsKept = 100;

} // namespace

void TFormOrvello::StartTelemetry(const TTelemetryOptions& commandLine, const QSettings& settings) {
    telemetryDecided_ = true;
    const std::vector<TEarlyEvent> early = std::move(earlyEvents_);
    earlyEvents_.clear();
    const TTelemetryChoice choice =
        ChooseTelemetry(commandLine, settings, QSysInfo::machineHostName());
    if (!choice.Error.empty()) {
        // Also for whoever started the console from a script, who may never see the window.
        Warn(choice.Error);
        std::fprintf(stderr, "orvello: %s\n", choice.Error.c_str());
        std::fflush(stderr);
        return;
    }
    if (!choice.Publish)
        return;
    telemetry_ = std::make_unique<TRigTelemetry>(choice.Rig, choice.Publisher);
    MM("Connecting to the MQTT broker " + choice.Publisher.Broker.Text() +
       " to publish the rig under " + telemetry_->Topics().Prefix());
    telemetry_->PublishDevices(DevicesLocal, GetClock().Now());
    for (const TEarlyEvent& event : early)
        telemetry_->PublishEvent(event.Level, event.Message, DevicesLocal, event.Time);
}

void TFormOrvello::Alarm(const std::string& message) {
    const std::string line = TimeStampPrefix() + message;
    AppendLogLine(line);
    if (ButtonWarnings)
        ButtonWarnings->AddWarning(QString::fromStdString(line));
    PublishEvent(EventAlarm, message);
}

void TFormOrvello::LogEvent(const char* level, const std::string& message) {
    MM(message);
    PublishEvent(level, message);
}

void TFormOrvello::PublishEvent(const char* level, const std::string& message) {
    if (telemetry_)
        telemetry_->PublishEvent(level, message, DevicesLocal, GetClock().Now());
    else if (!telemetryDecided_ && earlyEvents_.size() < EarlyEventsKept)
        earlyEvents_.push_back(TEarlyEvent{level, message, GetClock().Now()});
}

void TFormOrvello::PublishTelemetry() {
    if (!telemetry_)
        return;
    for (const TPublisherNotice& notice : telemetry_->TakeNotices()) {
        if (notice.Warning)
            Warn(notice.Text);
        else
            LogEvent(EventInfo, notice.Text);
    }
    telemetry_->PublishDevices(DevicesLocal, GetClock().Now());
}

void TFormOrvello::FinishTelemetry() {
    if (!telemetry_)
        return;
    // The devices as the stops left them go out before the last word.
    PublishTelemetry();
    if (!telemetry_->Finish(!devicesLeftUnsafe_, LastWordBound))
        MM("The MQTT broker did not confirm the console's last word");
}
