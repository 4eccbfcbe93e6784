// Arbitrary recipe text: evaluation must end with either an accepted mixture or a fault text,
// never a crash, and never both an accepted result and a fault. Turning it into segments must
// give either segments or a refusal, never both.
#include "mixture/MixtureSegments.h"
#include "mixture/RecipeEvaluation.h"
#include "platform/RecordingMessages.h"
#include "registry/Orvello_DeviceInfo.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void ConfigureDevices() {
    DevicesLocal.clear();
    TDeviceInfo mfc = KnownDevices[1];
    mfc.COMPort = "COM6";
    mfc.FluidID = 8;
    DevicesLocal.push_back(mfc);
    TDeviceInfo pump = KnownDevices[2];
    pump.COMPort = "COM7";
    pump.FluidID = 1001;
    DevicesLocal.push_back(pump);
    TDeviceInfo air = KnownDevices[3];
    air.COMPort = "ttyUSB0";
    air.FluidID = 0;
    DevicesLocal.push_back(air);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool configured = (ConfigureDevices(), true);
    (void)configured;
    static RecordingMessages messages;
    SetOperatorMessages(&messages);

    const std::string recipe(reinterpret_cast<const char*>(data), size);
    std::string details;
    std::string errors;
    TGasItem mix;
    mix.Init();
    const bool ok = EvaluateRecipe(recipe, details, mix, errors);
    if (ok != errors.empty())
        std::abort();
    if (!ok && mix.Components.size() > 0 && details.empty())
        std::abort();
    const TMixturePlan plan = PlanMixtureSegments(recipe, 10, recipe);
    if (!plan.Refusal.empty() && !plan.Segments.empty())
        std::abort();
    messages.Clear();
    return 0;
}
