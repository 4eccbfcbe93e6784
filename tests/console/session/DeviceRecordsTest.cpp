// The record owner on its own: a stored copy keeps what only others change in the list meanwhile
// (lamp and curves, the tick's LastHandled, the workers), and nothing else of the list's.
#include "console/session/DeviceRecords.h"
#include "console/widgets/Chart.h"
#include "console/widgets/Lamp.h"
#include "mfc/AlicatMFCThread.h"

#include <QTest>

class DeviceRecordsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { DevicesLocal = {MakeDemoDevice()}; }
    void cleanup() { DevicesLocal = {MakeDemoDevice()}; }

    void AStoredCopyKeepsWhatOthersChangedMeanwhile() {
        TDeviceRecords records;
        TDeviceInfo copy;
        QVERIFY(records.Fetch("X-COM", copy));
        QVERIFY(!records.Fetch("COM9", copy) && copy.COMPort == "X-COM");

        // Meanwhile (a box's event loop): a curve and a lamp come, the tick handles a status,
        // a worker starts and is stopped and freed again by others.
        TChart chart;
        TLamp lamp;
        TDeviceObjects& objects = records.Objects("X-COM");
        objects.SerieFlow = chart.AddCurve(Qt::red, TChartSymbol::Circle, false);
        objects.Led = &lamp;
        DevicesLocal[0].LastHandled = 46000.5;
        TMFCThread freed;
        copy.ThreadMFC = &freed; // a copy that still refers to a freed worker

        copy.NameRole = "Renamed by the handler";
        QVERIFY(records.Store(copy));
        const TDeviceInfo& stored = DevicesLocal[0];
        QCOMPARE(stored.NameRole, std::string("Renamed by the handler"));
        QCOMPARE(stored.LastHandled, 46000.5);
        QVERIFY(stored.SerieFlow == objects.SerieFlow);
        QVERIFY(stored.Led == &lamp);
        QVERIFY(stored.ThreadMFC == nullptr);
    }

    void WorkersStartInTheListAndNoCopyChangesThem() {
        TDeviceRecords records;
        TDeviceInfo copy;
        QVERIFY(records.Fetch("X-COM", copy));
        QVERIFY(records.StartWorker("X-COM")); // the demonstration device's simulated worker
        TMFCThread* started = DevicesLocal[0].ThreadMFC;
        QVERIFY(started);
        QVERIFY(!records.StartWorker("X-COM"));
        QVERIFY(!records.StartWorker("COM9"));

        QVERIFY(records.Store(copy)); // made before the start: it knows of no worker
        QVERIFY(DevicesLocal[0].ThreadMFC == started);
        started->GUIOut.ToTerminate = true;
        DevicesLocal[0].ThreadMFC = nullptr;
        delete started; // its stop request lets it go without anybody serving its hand-over
    }

    void AStoreForAPortNotInTheListChangesNothing() {
        TDeviceRecords records;
        TDeviceInfo stranger = MakeDemoDevice();
        stranger.COMPort = "COM9";
        stranger.NameRole = "Stranger";
        QVERIFY(!records.Store(stranger));
        QCOMPARE(DevicesLocal.size(), std::size_t(1));
        QCOMPARE(DevicesLocal[0].NameRole, MakeDemoDevice().NameRole);
    }
};

QTEST_MAIN(DeviceRecordsTest)
#include "DeviceRecordsTest.moc"
