// The pump tools: one pump program sent from the main thread by a driver of their own, for a
// pump whose worker does not run yet (the worker would otherwise share the port).
#include "console/window/GUIOrvello.h"
#include "platform/OperatorMessages.h"
#include "pump/PSD4_Interface.h"

namespace {

// Time the pump gets to initialise, and to run the tool's program.
constexpr double InitializeTimeout_s = 15;
constexpr double CommandTimeout_s = 5;

} // namespace

void TFormOrvello::ButtonPrimePumpClick() {
    RunPumpTool("For safety, this will disable the form and stop any new changes on devices until "
                "completed. Software will be unresponsive until pump stops.",
                "V3000IA24000OA0R", "One priming loop done, software is now reponsive again.");
}

void TFormOrvello::ButtonChangeSyringeClick() {
    // The window stays held until the operator confirms the change: nothing may move the
    // plunger while the syringe is out.
    RunPumpTool("For safety, this will disable the form and stop any new changes on devices until "
                "completed.",
                "V4000IA24000R", "Change the syringe and click OK only after done.");
}

void TFormOrvello::RunPumpTool(const std::string& warning, const std::string& command,
                               const std::string& doneMessage) {
    TDeviceInfo device;
    if (!GetSelectedDevice(device))
        return;
    if (device.DevType != dtPump) {
        ShowOperatorMessage("No pump selected");
        return;
    }
    if (device.ThreadPump) {
        ShowOperatorMessage("Cannot perform on already configured and running pump");
        return;
    }
    ShowOperatorMessage(warning);
    // A close by signal answers the box for the operator: the pump must not move then.
    if (closeBySignal_)
        return;

    // No engine tick and no operator input may reach a device while the driver uses the port;
    // the guard gives both back on every way out.
    const TBlockingOperation blocking(*this, true);
    TPSD4 pump;
    pump.Connect(device.COMPort);
    std::string feedback;
    pump.Initialize("ZN1R", feedback);
    if (!pump.WaitUntilFree(InitializeTimeout_s))
        return;
    TSerialResponse response;
    pump.SendCommand(command, response, true);
    if (!pump.WaitUntilFree(CommandTimeout_s))
        return;
    ShowOperatorMessage(doneMessage);
}
