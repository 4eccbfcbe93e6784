#pragma once
// What the console's window tests share: a fresh window in a temporary working folder with the
// operator's message boxes recorded, and the operator's ways of clicking and typing.
#include "console/automation/FindControl.h"
#include "console/widgets/DeviceListView.h"
#include "console/window/GUIOrvello.h"
#include "platform/RecordingMessages.h"
#include "registry/DeviceWorkers.h"
#include "registry/Orvello_DeviceInfo.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>

// One window per test, started in an empty folder so its "Logs" and "Segment Programs" are its
// own. Message boxes go to a recorder installed after the window's own sink, so none blocks.
class TConsoleFixture {
public:
    explicit TConsoleFixture(std::vector<TDeviceInfo> devices = {MakeDemoDevice()}) {
        previousFolder_ = QDir::currentPath();
        QDir::setCurrent(folder_.path());
        DevicesLocal = std::move(devices);
        window = std::make_unique<TFormOrvello>();
        messages = std::make_unique<ScopedRecordingMessages>();
        // The engine runs faster than once a second so the tests wait less; its rules do not
        // depend on the period.
        Control<QTimer>(*window, "TimerEngine")->setInterval(200);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    ~TConsoleFixture() {
        if (window) {
            window->close();
            messages.reset();
            window.reset();
        }
        DevicesLocal = {MakeDemoDevice()};
        QDir::setCurrent(previousFolder_);
    }

    QString Folder() const { return folder_.path(); }
    std::vector<std::string> Messages() const { return messages->recorder.Messages(); }

    template <typename T> T* Find(const char* name) const {
        T* found = window->findChild<T*>(QString::fromUtf8(name));
        if (!found)
            qWarning("no control named %s", name);
        return found;
    }

    QTreeWidgetItem* Row(const QString& port) const {
        for (int i = 0;
             i < Control<TDeviceListView>(*window, "ListViewDevices")->topLevelItemCount(); ++i)
            if (Control<TDeviceListView>(*window, "ListViewDevices")->topLevelItem(i)->text(0) ==
                port)
                return Control<TDeviceListView>(*window, "ListViewDevices")->topLevelItem(i);
        return nullptr;
    }

    // A click on a row as the operator makes it; Ctrl extends the selection.
    void ClickRow(const QString& port, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const {
        QTreeWidget* list = Control<TDeviceListView>(*window, "ListViewDevices");
        QTreeWidgetItem* row = Row(port);
        QVERIFY2(row, qPrintable("no row " + port));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                          list->visualItemRect(row).center());
    }

    static void Click(QWidget* widget) {
        QVERIFY(widget);
        QTest::mouseClick(widget, Qt::LeftButton);
    }

    // Replaces a field's text as the operator does: select all, type, press Enter.
    static void TypeInto(QLineEdit* field, const QString& text) {
        QVERIFY(field);
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }

    TDeviceInfo Device(const std::string& port) const {
        TDeviceInfo device;
        FindDeviceByPort(port, device);
        return device;
    }

    QStringList LogLines() const {
        return Control<QPlainTextEdit>(*window, "MemoMain")->toPlainText().split(QLatin1Char('\n'));
    }

    std::unique_ptr<TFormOrvello> window;
    std::unique_ptr<ScopedRecordingMessages> messages;

private:
    QTemporaryDir folder_;
    QString previousFolder_;
};

// Serves events until done() holds or the time passes; on failure the message names what was
// awaited and what was seen last.
inline bool WaitUntil(const std::function<bool()>& done, int timeout_ms, QString& lastSeen,
                      const std::function<QString()>& describe) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout_ms) {
            lastSeen = describe();
            return false;
        }
        QTest::qWait(20);
    }
    return true;
}

#define WAIT_UNTIL(condition, timeout_ms, what, describe)                                          \
    do {                                                                                           \
        QString lastSeen_;                                                                         \
        const bool reached_ = WaitUntil([&] { return (condition); }, (timeout_ms), lastSeen_,      \
                                        [&]() -> QString { return (describe); });                  \
        QVERIFY2(reached_, qPrintable(QStringLiteral("waited %1 ms for %2; last seen: %3")         \
                                          .arg(timeout_ms)                                         \
                                          .arg(QStringLiteral(what))                               \
                                          .arg(lastSeen_)));                                       \
    } while (false)

// The whole text of a file as it is now; empty when it cannot be read.
inline QByteArray ReadAll(QFile& file) {
    file.close();
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A second simulated controller, for tests that need two devices.
inline TDeviceInfo MakeSecondDemoDevice() {
    TDeviceInfo device = MakeDemoDevice();
    device.COMPort = "X-COM2";
    device.NameRole = "Second Demo";
    device.Color = 0x0000FF;
    return device;
}

// Replaces the recipe as the operator does: select all, then type line by line.
inline void TypeRecipe(QPlainTextEdit* memo, const QStringList& lines) {
    QVERIFY(memo);
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(memo, Qt::Key_Return);
        QTest::keyClicks(memo, lines[i]);
    }
}

// Brings a tab to the front by clicking its tab.
inline void ShowTab(TFormOrvello& window, const char* tabName) {
    QTabWidget* tabs = Control<QTabWidget>(window, "PageControl1");
    for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->widget(i)->objectName() == QLatin1String(tabName)) {
            QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, Qt::NoModifier,
                              tabs->tabBar()->tabRect(i).center());
            return;
        }
    }
    QFAIL(tabName);
}

// Picks the first gas after the heading when the list shows the heading or nothing, with the
// keyboard, then applies the configuration of the focused device.
inline void ConfigureFocusedDevice(TFormOrvello& window) {
    ShowTab(window, "TabSheetConfigure");
    QComboBox* gases = Control<QComboBox>(window, "ComboBoxDeviceFluid");
    if (gases->currentIndex() <= 0) {
        gases->setFocus();
        if (gases->currentIndex() < 0)
            QTest::keyClick(gases, Qt::Key_Home);
        QTest::keyClick(gases, Qt::Key_Down);
    }
    QTest::mouseClick(Control<QPushButton>(window, "ButtonApplyConfiguration"), Qt::LeftButton);
}

// The pump's fluid after the heading, then "Apply configuration"; the pump is initialised before
// its worker starts, so this returns once the worker runs.
inline void ConfigureFocusedPump(TFormOrvello& window) {
    ShowTab(window, "TabSheetConfigure");
    QComboBox* fluids = Control<QComboBox>(window, "ComboBoxDeviceFluidPump");
    if (fluids->currentIndex() <= 0) {
        fluids->setFocus();
        if (fluids->currentIndex() < 0)
            QTest::keyClick(fluids, Qt::Key_Home);
        QTest::keyClick(fluids, Qt::Key_Down);
    }
    QTest::mouseClick(Control<QPushButton>(window, "ButtonApplyConfiguration"), Qt::LeftButton);
}
