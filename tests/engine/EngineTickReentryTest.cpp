// A tick never runs inside another: a message box opened in a tick runs an event loop in which
// the engine timer fires again.
#include "engine/EngineTickFixture.h"

namespace {

// A host whose flow-curve callback does what a message box's event loop can do inside a tick:
// the timer fires and asks for another tick.
class TReenteringHost final : public TPlainEngineHost {
public:
    TReenteringHost(std::string folder, TEngineTick& engine)
        : TPlainEngineHost(std::move(folder)), engine_(engine) {}

    void FlowSerie(TDeviceInfo& device, double x, double y, bool clear) override {
        TPlainEngineHost::FlowSerie(device, x, y, clear);
        if (ReenterOnce) {
            ReenterOnce = false;
            engine_.Tick(*this);
        }
    }
    void SwitchEngineLed(bool on) override {
        TPlainEngineHost::SwitchEngineLed(on);
        ++LedSwitches;
    }

    bool ReenterOnce = true;
    int LedSwitches = 0;

private:
    TEngineTick& engine_;
};

} // namespace

TEST_F(EngineTickTest, ATickCalledFromInsideATickDoesNothing) {
    AddMFC("COM3", dcmDirect, "", 40);
    AddMFC("COM4", dcmDirect, "", 60);
    TReenteringHost reentering(logFolder.string(), engine);
    AdvanceTo(10);
    DeliverStatus(*mfcs[0], 0.4);
    DeliverStatus(*mfcs[1], 0.6);
    engine.Tick(reentering);

    EXPECT_FALSE(reentering.ReenterOnce) << "the host did call Tick from inside the tick";
    EXPECT_EQ(reentering.LedSwitches, 2) << "one tick: the engine lamp on and off once";
    EXPECT_EQ(reentering.FlowPoints["COM3"].size(), 1u);
    EXPECT_EQ(reentering.FlowPoints["COM4"].size(), 1u);
    ASSERT_EQ(reentering.DataLines.size(), 5u) << "one heading block and one row";
    EXPECT_EQ(reentering.DataLines[4],
              " 2026-12-10 10:00:10 |           200.0 |           300.0 | ");

    // The guard ends with the tick: the next one runs in full.
    AdvanceTo(20);
    DeliverStatus(*mfcs[0], 0.4);
    DeliverStatus(*mfcs[1], 0.6);
    engine.Tick(reentering);
    EXPECT_EQ(reentering.LedSwitches, 4);
    EXPECT_EQ(reentering.FlowPoints["COM3"].size(), 2u);
    EXPECT_EQ(reentering.DataLines.size(), 6u);
}

namespace {

// An operator message box that, while it waits, lets the engine timer fire once.
class TTickingMessages final : public OperatorMessages {
public:
    TTickingMessages(TEngineTick& engine, TEngineHost& host) : engine_(engine), host_(host) {}
    void ShowMessage(const std::string& text) override {
        Messages.push_back(text);
        if (Messages.size() < 5) // without a guard the boxes would stack up without end
            engine_.Tick(host_);
    }
    std::vector<std::string> Messages;

private:
    TEngineTick& engine_;
    TEngineHost& host_;
};

} // namespace

// A faulty program line opens a box in every tick that reads it; a tick inside the box must not
// open another box or hand out the program's setpoint a second time.
TEST_F(EngineTickTest, AMessageBoxInsideATickOpensNoFurtherBoxes) {
    AddMFC("COM3", dcmSegment, "0 20 Step\r\n5 x Ramp");
    TTickingMessages boxes(engine, *host);
    SetOperatorMessages(&boxes);
    AdvanceTo(10);
    DeliverStatus(*mfcs[0], 0.2);
    engine.Tick(*host);
    SetOperatorMessages(&messages.recorder);

    ASSERT_FALSE(boxes.Messages.empty()) << "the faulty line was read";
    EXPECT_EQ(boxes.Messages.size(), 1u) << "one box per reading, none from a nested tick";
    EXPECT_EQ(host->FlowPoints["COM3"].size(), 1u);
    EXPECT_EQ(host->DataLines.size(), 5u);
}
