// The tips under the pointer: a short help text for the control the pointer is over, chosen by
// the control's name.
#include "console/widgets/Chart.h"
#include "console/widgets/ColorPickCombo.h"
#include "console/widgets/DoubleEdit.h"
#include "console/widgets/RichTextLabel.h"
#include "console/window/GUIOrvello.h"

#include <QComboBox>
#include <QEvent>
#include <QMouseEvent>

#include <cstring>

namespace {

struct TTip {
    const char* Control;
    const char* Markup;
};

const TTip Tips[] = {
    {"PanelFlowAlarm",
     "A controller whose achieved flow stays further from its setpoint than this share of "
     "its full scale for longer than this time gets <B>one warning</B> (an empty cylinder, a "
     "blocked line), and a line when it is back. A new setpoint starts the time again. "
     "<BC:#FFFF00>Taken with Apply configuration.</BC>"},
    {"ButtonChangeSyringe",
     "Moves the pump syringe to the bottom position. Intended for changing the syringe"
     ". <BC:#FF0000>This stops any changes to any devices while being performed.</BC>"},
    {"ButtonPrimePump",
     "Starts one loop of <B>Fill the syringe, then dispenses it</B>. See Drosset backs"
     "ide for fluid. Repeat until all gas is removed from system, or old fluid is repl"
     "aced with new one. <BC:#FF0000>This stops any changes to any devices while being"
     " performed.</BC>"},
    {"DzHTMLTextTips",
     "Short information sniplets on things the mouse pointer is over will be shown her"
     "e. <B>Drag the bottom splitter</B> to re-arrange form size proportions, to ain m"
     "ore arrea to show this help and the log below."},
    {"RtGraph2DMain",
     "<B>Drag</B> on graph to zoom. <B>Click</B> outside axes to unzoom. <B>Drag the s"
     "plitter</B> below to re-arrange form size proportions, to enlarge the graph"},
    {"MemoMain", "Log and feedback of software use."},
    {"ButtonApplyConfiguration",
     "Checks the selected configuration, and if acceptable, applies the setting to the"
     " selected device, <BC:#FFFF00>making the device usable in other tabs.</BC> Do no"
     "te the first time configuration is applied (part of which is a factory reset)  a"
     "llows a <BC:#FF0000> small amount of gas to flow for about a second.</BC>"},
    {"LabelColor",
     "Select unique color for this device. Supports also <B>transparent colors</B>. Mo"
     "re info available on mouseover popups on the color-picker component."},
    {"LabelFluid",
     "For MFCs, special, custom and dynamic gases are at the bottom of the list. For M"
     "FCs and Pump, custom fluids can be edited in the custom fluids tab. <B>Type in</"
     "B> to find items quicker."},
    {"ButtonSegmentType",
     "Segment type <b>step</b> changes the flow value immediately, <b>ramp</b> changes"
     " the flow value as linear ramp from previous to current segment. <b>Ramp</b> on "
     "first segment assumes previous flow to be 0."},
    {"ButtonDeviceInitialize",
     "<b>Initialize</b> does an extensive factory reset and initialization sequence on"
     " the selected device, to ensure the device configuration is compatible with the "
     "software. It is normally not necessary for the end user to perform this action. "
     "Initialize will take a while, and the user interface will be unresponsive. <BC:#"
     "FFFF00>Be aware the process will also allow some gas flow.</bc>"},
    {"ButtonSegmentProgramStart",
     "<BC:#FF0000>Multi device button.</BC> To select more than one device, use <b>ctr"
     "l</b> or <b>shift</b>-click functionality on available devices. <BC:#FFFF00>Acti"
     "on applies to all selected devices.</BC>"},
    {"ButtonSegmentProgramStop",
     "<BC:#FF0000>Multi device button.</BC> To select more than one device, use <b>ctr"
     "l</b> or <b>shift</b>-click functionality on available devices. <BC:#FFFF00>Acti"
     "on applies to all selected devices.</BC> <B>Applies setpoint zero</B>, and makes"
     " the device go to idle mode."},
    {"ButtonApplyFlow",
     "Clicking apply will immediately change device flow to desired flow, <BC:#FFFF00>"
     "and stop execution of segment program if this device has one running.</BC> <BC:#"
     "FF0000>Multi device button.</BC> To select more than one device, use <b>ctrl</b>"
     " or <b>shift</b>-click functionality on available devices. <BC:#FFFF00>Action ap"
     "plies to all selected devices.</BC>"},
    {"ButtonDirectControlStop",
     "<B>Applies setpoint zero</B>, and makes the device go to idle mode. <BC:#FF0000>"
     "Multi device button.</BC> To select more than one device, use <b>ctrl</b> or <b>"
     "shift</b>-click functionality on available devices. <BC:#FFFF00>Action applies t"
     "o all selected devices.</BC> "},
    {"ButtonMixSegmentsAdd",
     "Add mixture as defined to all involved devices. This will <BC:#FFFF00>overwrite<"
     "/BC> any possibly existing segment at that time."},
    {"EditFlowUnitName",
     "Enter name for the flow unit: ml/min and ccm are interchangeable. Use of <B>N</B"
     ">ormalized or <B>S</B>tandard in the unit name is discouraged as their meaning i"
     "s disambiguous. Instead rely on the reference conditions or use <B>g/min</B>."},
    {"EditNoteMixture",
     "A note to be added to all device segments at this time. Accepts only <B>alphanum"
     "eric</B>, <B>%</B>, <B>*</B>, <B>@</B>, <B>/</B> or <B>space</B>. Other characte"
     "rs will be <BC:#FFFF00>ignored</BC>. If other characters are needed, ask."},
    {"ListViewSegmentProgram",
     "Right mouse click to load or save segment program to a (text) file, for the sele"
     "cted device."},
    {"ListViewDevices",
     "To select multiple devices use <B>ctrl</B> or <B>shift</B> with <B>left mouse</B"
     "> click. The last item selected has focus."},
};
const char* const FluidListTip =
    "All<SUB>1</SUB> gases and fluids available for this device are listed in this co"
    "ntrol. Listed items have tab-structure with following details:<BR><div:thick_top"
    "=1,thick_left=1,thick_bottom=1,lncolor=#000000, margin=2, pad_top=2><B>Shortname"
    "</B><BR><LINE:width=250><BR>First 9 characters long \"shortname\".<BR>Typed-in c"
    "haracters search entries based on this.<BR></div><div:thick_top=1,thick_left=1,t"
    "hick_bottom=1,lncolor=#000000, margin=2, pad_top=2><B>Formula</B><BR><LINE:width"
    "=200><BR>First 9 characters of formula<BR><BR></div><div:thick=1,lncolor=#000000"
    ", margin=2, pad_top=2><B>Longname</B> (or recipe)<BR><LINE:width=200><BR>Full na"
    "me or when lacking,<BR>the composition in partial pressure.<BR>Info on isomerism"
    " when relevant.</div><BR><BR><BC:#FFFF00>Beware!</BC> The software has no way of"
    " knowing if the selection made in software corresponds to what is connected in p"
    "hysical world. Check connections.<BR><BR><LINE:width=150><BR>1) Do note corrosiv"
    "e etc. gases are not shown for incompatible devices, liquids for MFC, or gases f"
    "or pump. Should you need gas for syringe pump, take contact.";
const char* const ReferenceConditionsTip =
    "<B>First rows in the dropdown menu are NTP, STP, and grams.</B> Gas flow can be "
    "measured by mass or by volume. Same amount of gas will be a different volume dep"
    "ending on both temperature and pressure. There are many definitions and standard"
    "s trying to pin down the \"right\" conditions, but volume measurements are prone"
    " to erros due to too many standards and the difference between actual conditions"
    " and the definition conditions: One might expect 20 sccm flow, but actually see "
    "28 ccm because actual conditions are not 0ºC at 1 bar but something else.<I>In o"
    "rder to get actual volume of gas desired, enter the actual conditions.</I> Other"
    "wise keep consistent and always use the same unit.";
const char* const GeneralHint =
    "Hover mouse over items (or adjacent labels) to see help, tips and information.";

bool IsSilent(const QWidget* widget) {
    // Drop-down lists and the colour picker report no pointer moves; the lists have tips of
    // their own on pointer entry, and the picker is covered by its label's tip.
    return qobject_cast<const QComboBox*>(widget) || qobject_cast<const TColorPickCombo*>(widget);
}

bool IsComposite(const QWidget* widget) {
    return IsSilent(widget) || qobject_cast<const TChart*>(widget) ||
           qobject_cast<const TDoubleEdit*>(widget);
}

} // namespace

void TFormOrvello::WireTips() {
    tipControls_.clear();
    const QList<QWidget*> all = findChildren<QWidget*>();
    for (QWidget* widget : all) {
        // A move reaches a widget without tracking only while a button is held.
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
        const QString name = widget->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            continue;
        bool inside = false;
        for (QWidget* parent = widget->parentWidget(); parent && !inside;
             parent = parent->parentWidget())
            inside = IsComposite(parent);
        if (!inside)
            tipControls_.insert(widget);
    }
}

void TFormOrvello::ShowTip(const QString& markup) {
    if (markup == shownTip_)
        return;
    shownTip_ = markup;
    DzHTMLTextTips->SetMarkup(markup);
}

void TFormOrvello::ShowHelp(QObject* sender) {
    if (!sender)
        return;
    const QByteArray name = sender->objectName().toUtf8();
    for (const TTip& tip : Tips) {
        if (std::strcmp(tip.Control, name.constData()) == 0) {
            ShowTip(QString::fromUtf8(tip.Markup));
            return;
        }
    }
    ShowTip(QString::fromUtf8(GeneralHint));
}

void TFormOrvello::PointerMovedOver(QWidget* watched, const QPointF& globalPosition) {
    // A move that a child leaves unhandled travels on to its parents; the control is therefore
    // found from the pointer's position, so every delivery of one move chooses the same tip.
    QWidget* top = watched->window();
    QWidget* under = top->childAt(top->mapFromGlobal(globalPosition.toPoint()));
    for (QWidget* widget = under ? under : watched; widget; widget = widget->parentWidget()) {
        if (!tipControls_.contains(widget))
            continue;
        if (!IsSilent(widget))
            ShowHelp(widget);
        return;
    }
}

bool TFormOrvello::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove && watched->isWidgetType()) {
        PointerMovedOver(static_cast<QWidget*>(watched),
                         static_cast<QMouseEvent*>(event)->globalPosition());
    } else if (event->type() == QEvent::Enter) {
        if (watched == ComboBoxDeviceFluid || watched == ComboBoxDeviceFluidPump)
            ShowTip(QString::fromUtf8(FluidListTip));
        else if (watched == ComboBoxFlowUnitPredefined)
            ShowTip(QString::fromUtf8(ReferenceConditionsTip));
    }
    return QMainWindow::eventFilter(watched, event);
}
