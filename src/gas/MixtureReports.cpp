#include "gas/GasMixtures.h"

#include "program/NumberFormat.h"

namespace {

constexpr const char* CRLF = "\r\n";

// Fixed-width columns: a text left-aligned in exactly width characters (cut at its end), with its
// first ',' read as '.'.
std::string PadFieldRight(const std::string& text, std::size_t width) {
    std::string field = text.substr(0, width);
    field.append(width - field.size(), ' ');
    if (const auto comma = field.find(','); comma != std::string::npos)
        field[comma] = '.';
    return field;
}

// A text right-aligned in exactly width characters; a longer text keeps its last characters.
std::string PadFieldLeft(const std::string& text, std::size_t width) {
    if (text.size() >= width)
        return text.substr(text.size() - width);
    return std::string(width - text.size(), ' ') + text;
}

std::string MassFlowLine(const TGasItem& gas) {
    return "    " + PadFieldRight(gas.NameShort, 10) + "    " +
           FormatPicture(gas.MassFlow_gmin, "##0.000 000") + " g/min" + CRLF;
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
        text += "    " + PadFieldRight(component.NameShort, 12);
        const double ppm = component.PartialPressure * 1000000;
        if (ppm > 1)
            text += "    " + PadFieldLeft(FormatPicture(ppm, "# ### ###") + " ppm", 13) + CRLF;
        else
            text += "     " + PadFieldLeft(FormatPicture(ppm, "0.0## ###") + " ppm", 12) + CRLF;
    }
    return text;
}

std::string VolumeFlowTable(const TGasItem& Mix, const TVecArr& Conditions) {
    std::string text = "   ºC     BarA  ";
    for (const TGasItem& component : Mix.Components)
        text += PadFieldLeft(component.NameShort, 9) + " ";
    text += std::string("      Tot") + CRLF;
    for (const TDoubleVec& condition : Conditions) {
        text += PadFieldLeft(FormatGeneral(condition.TempC), 5) + "  " +
                PadFieldLeft(FormatGeneral(condition.PresBarA), 7) + "  ";
        double total = 0;
        for (const TGasItem& component : Mix.Components) {
            const double molarMass = component.GetMolarMass();
            if (molarMass > 0) {
                const double volume = VolumeFlow_ml(component.MassFlow_gmin / molarMass,
                                                    condition.TempC, condition.PresBarA);
                total += volume;
                text += PadFieldLeft(FormatPicture(volume, "0.0"), 9) + " ";
            } else {
                text += PadFieldLeft("Err", 9) + " ";
            }
        }
        text += PadFieldLeft(FormatPicture(total, "0.0"), 9) + CRLF;
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
        text += "  " + PadFieldLeft(FormatGeneral(condition.TempC), 4) + "  " +
                PadFieldLeft(FormatGeneral(condition.PresBarA), 8) + "  " +
                PadFieldLeft(FormatPicture(saturation * 1000000, "# ### ###"), 14) + "  " +
                PadFieldLeft(FormatPicture(water * 1000000, "# ### ###"), 11) + "  " +
                PadFieldLeft(FormatPicture(humidity, "0.000"), 7) + "  " + CRLF;
    }
    return text;
}
