#pragma once
// The devices a recipe names in these tests: an MFC B of 500 ml/min with nitrogen on COM6, a
// humidifier's pump with water on COM7, and an MFC on a Linux port name with lower-case letters
// that was found but never configured (no gas). The device list is put back afterwards.
#include "platform/RecordingMessages.h"
#include "registry/Orvello_DeviceInfo.h"

#include <gtest/gtest.h>

#include <vector>

class TRecipeDevicesFixture : public ::testing::Test {
protected:
    static constexpr int Nitrogen = 8;
    static constexpr int Water = 1001;

    void SetUp() override {
        saved_ = DevicesLocal;
        DevicesLocal.clear();
        TDeviceInfo mfc = KnownDevices[1];
        mfc.COMPort = "COM6";
        mfc.FluidID = Nitrogen;
        DevicesLocal.push_back(mfc);
        TDeviceInfo pump = KnownDevices[2];
        pump.COMPort = "COM7";
        pump.FluidID = Water;
        DevicesLocal.push_back(pump);
        TDeviceInfo unconfigured = KnownDevices[0];
        unconfigured.COMPort = "ttyUSB0";
        DevicesLocal.push_back(unconfigured);
    }
    void TearDown() override { DevicesLocal = saved_; }

    ScopedRecordingMessages messages;

private:
    std::vector<TDeviceInfo> saved_;
};
