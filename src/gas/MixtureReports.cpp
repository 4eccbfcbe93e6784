#include "gas/GasMixtures.h"

#include "program/NumberFormat.h"
#include "program/UnitUtils.h"

namespace {

constexpr const char* CRLF = "\r\n";

std::string MassFlowLine(const TGasItem& gas) {
    return "    " + PadRight(gas.NameShort, 10) + "    " +
           FormatPicture(gas.MassFlow_gmin, "##0.000 000") + " g/min" + CRLF;
}

// A right-aligned number column: a number wider than its column widens it rather than losing its
// leading digits, which would show another value (a relative humidity of 1107 % as 107 %).
std::string NumberColumn(const std::string& number, int width) {
    return number.size() >= static_cast<std::size_t>(width) ? number : PadLeft(number, width);
}

} // namespace

std::string InputsReport(const TGasItem& Mix) {
    std::string text = std::string("  Inputs:") + CRLF;
    for (const TGasItem& component : Mix.Components)
        text += MassFlowLine(component);
    return text;
}

void ComponentFlowsReport(const TGasItem& Mix, std::string& Accumulated, std::string& Text) {
    if (Mix.GasType() == tElemental)
        Accumulated += MassFlowLine(Mix);
    else
        for (const TGasItem& component : Mix.Components)
            ComponentFlowsReport(component, Accumulated, Text);
    Text = Accumulated;
}

std::string ComponentFlowsReport(const TGasItem& Mix) {
    std::string accumulated;
    std::string text;
    ComponentFlowsReport(Mix, accumulated, text);
    return text;
}

std::string PartialPressuresReport(const TGasItem& Mix) {
    std::string text;
    for (const TGasItem& component : Mix.Components) {
        text += "    " + PadRight(component.NameShort, 12);
        const double ppm = component.PartialPressure * 1000000;
        if (ppm > 1)
            text += "    " + PadLeft(FormatPicture(ppm, "# ### ###") + " ppm", 13) + CRLF;
        else
            text += "     " + PadLeft(FormatPicture(ppm, "0.0## ###") + " ppm", 12) + CRLF;
    }
    return text;
}

std::string VolumeFlowTable(const TGasItem& Mix, const TVecArr& Conditions) {
    std::string text = "   ºC     BarA  ";
    for (const TGasItem& component : Mix.Components)
        text += PadLeft(component.NameShort, 9) + " ";
    text += std::string("      Tot") + CRLF;
    for (const TDoubleVec& condition : Conditions) {
        text += NumberColumn(FormatGeneral(condition.TempC), 5) + "  " +
                NumberColumn(FormatGeneral(condition.PresBarA), 7) + "  ";
        double total = 0;
        for (const TGasItem& component : Mix.Components) {
            const double molarMass = component.GetMolarMass();
            if (molarMass > 0) {
                const double volume = VolumeFlow_ml(component.MassFlow_gmin / molarMass,
                                                    condition.TempC, condition.PresBarA);
                total += volume;
                text += NumberColumn(FormatPicture(volume, "0.0"), 9) + " ";
            } else {
                text += PadLeft("Err", 9) + " ";
            }
        }
        text += NumberColumn(FormatPicture(total, "0.0"), 9) + CRLF;
    }
    return text;
}

std::string HumidityTable(const TGasItem& Mix, const TVecArr& Conditions) {
    const double water = Mix.FluidPartialPressure;
    std::string text = std::string("    ºC      BarA  Max ppm/100%RH  Current ppm     RH %") + CRLF;
    for (const TDoubleVec& condition : Conditions) {
        if (condition.PresBarA == 0)
            continue;
        const double saturation_bar = SaturationPressure_hPa(condition.TempC) / 1000;
        const double saturation = saturation_bar / condition.PresBarA;
        const double humidity = water / saturation * 100;
        text += "  " + NumberColumn(FormatGeneral(condition.TempC), 4) + "  " +
                NumberColumn(FormatGeneral(condition.PresBarA), 8) + "  " +
                NumberColumn(FormatPicture(saturation * 1000000, "# ### ###"), 14) + "  " +
                NumberColumn(FormatPicture(water * 1000000, "# ### ###"), 11) + "  " +
                NumberColumn(FormatPicture(humidity, "0.000"), 7) + "  " + CRLF;
    }
    return text;
}
