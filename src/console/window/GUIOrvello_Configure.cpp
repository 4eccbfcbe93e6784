// The Configure tab: applying a configuration (which starts the device's worker) and "Initialize".
#include "console/widgets/ColorPickCombo.h"
#include "console/widgets/DeviceColors.h"
#include "console/widgets/Lamp.h"
#include "console/window/GUIOrvello.h"
#include "platform/OperatorMessages.h"

#include <QComboBox>
#include <QLabel>

#include <cstdio>
#include <exception>

void TFormOrvello::ButtonApplyConfigurationClick() {
    TDeviceInfo device;
    if (!GetSelectedDevice(device))
        return;
    if (device.DevType == dtPump && ComboBoxDeviceFluidPump->currentIndex() <= 0) {
        ShowOperatorMessage("No fluid selected for Pump");
        return;
    }
    if (device.DevType != dtPump && ComboBoxDeviceFluid->currentIndex() <= 0) {
        ShowOperatorMessage("No fluid selected for MFC");
        return;
    }
    try {
        DeviceDetailsUI(tdCODE, device);
    } catch (const std::exception& error) {
        // A gas the table lacks: the record stays as it was.
        ShowOperatorMessage(error.what());
        return;
    }

    TDeviceObjects& objects = records_.Objects(device.COMPort);
    const bool hadWorker = HasWorker(device);
    if (records_.StartWorker(device.COMPort)) {
        objects.Led = AddLedForThread();
        // The copy learns of its worker: it is shown and stopped through it below.
        TDeviceInfo started;
        records_.Fetch(device.COMPort, started);
        device.ThreadMFC = started.ThreadMFC;
        device.ThreadPump = started.ThreadPump;
    }
    if (objects.Led) {
        const int s = GetDPIScaling();
        objects.Led->SetColors(OpaqueQColor(device.Color), QColor(0, 255, 0));
        objects.Led->resize(16 * s, 16 * s);
    }
    // Idle means the engine sends nothing more, so a running program or setpoint would stay on
    // the instrument while the list says "Ready": the device is stopped as "Stop" does.
    if (hadWorker && device.ControlMode != dcmIdle)
        StopDeviceOutput(device);
    device.ControlMode = dcmIdle;
    if (!records_.Store(device)) {
        ShowOperatorMessage("Saving device configuration failed");
        return;
    }
    DeviceDetailsUI(tdGUI, device);
}

void TFormOrvello::ButtonDeviceInitializeClick() {
    TDeviceInfo device;
    if (!GetSelectedDevice(device))
        return;
    if (HasWorker(device)) {
        ShowOperatorMessage("Device thread is running, cannot proceed. Initialize can only be "
                            "performed before Configuration is applied");
        return;
    }
    ShowOperatorMessage("Initializing device, this may take a while. Form will be unresponsive "
                        "during initialization.");
    const TBlockingOperation blocking(*this, true);
    switch (device.DevType) {
    case dtMFCA:
    case dtMFCB:
        ShowOperatorMessage("There is no Initialize procedure for MFC device");
        break;
    case dtPump:
        ShowOperatorMessage("There is no Initialize procedure for Pump device");
        break;
    case dtMFCDemo:
        ShowOperatorMessage("There is no Initialize procedure for demo device");
        break;
    }
}

void TFormOrvello::RtColorPickComboDeviceColorChanged() {
    // The device's colour itself changes only with "Apply configuration".
    char code[16];
    std::snprintf(code, sizeof code, "%8d",
                  DisplayColorCode(DeviceColorOf(RtColorPickComboDeviceColor->Color())));
    LabelDeviceColor->setText(QString::fromLatin1(code));
}
