#include "hid_test_support.h"

#include <QEventLoop>

using hidplatform::SimAccess;
using hidtest::ControllerTest;
using hidtest::Flush;
using hidtest::PumpUntil;
using hidtest::Station;
using Strings = std::vector<std::string>;

TEST_F(ControllerTest, FirstRescanRunsFromTheEventLoopAndCountsAsAChange)
{
    CreateController();
    EXPECT_TRUE(Log.empty()); // posted, not run during construction
    ASSERT_TRUE(PumpUntil([&] { return !Log.empty(); }));
    Flush();
    EXPECT_EQ(Log, Strings{"change"});
    EXPECT_EQ(Controller->DeviceCount(), 0);
    EXPECT_EQ(Controller->Version(), "1.0.34");
}

TEST_F(ControllerTest, DevicesPresentAtStartArriveInOrderThenOneChange)
{
    Sim.PlugDevice(Station("/dev/a"));
    Sim.PlugDevice(Station("/dev/b"));
    Flush(); // notices from before the program started are not ours
    CreateController();
    ASSERT_TRUE(PumpUntil([&] { return Log.size() >= 3; }));
    Flush();
    EXPECT_EQ(Log, (Strings{"arrival /dev/a", "arrival /dev/b", "change"}));
    ASSERT_EQ(Controller->DeviceCount(), 2);
    // An idle free device holds no handle.
    EXPECT_EQ(Sim.OpenHandleCount(1), 0);
}

TEST_F(ControllerTest, RemovalsRunLastToFirstBeforeArrivalsWithUnplugBeforeRemoval)
{
    const auto a = Sim.PlugDevice(Station("/dev/a"));
    Sim.PlugDevice(Station("/dev/b"));
    const auto c = Sim.PlugDevice(Station("/dev/c"));
    StartAndSettle();
    Sim.UnplugDevice(a);
    Sim.UnplugDevice(c);
    Sim.PlugDevice(Station("/dev/d"));
    ASSERT_TRUE(PumpUntil([&] { return !Log.empty() && Log.back() == "change"; }));
    EXPECT_EQ(
        Log,
        (Strings{"unplug /dev/c", "removal /dev/c", "unplug /dev/a", "removal /dev/a", "arrival /dev/d", "change"}));
    ASSERT_EQ(Controller->DeviceCount(), 2);
    EXPECT_EQ(Controller->Device(0)->PnPInfo().DevicePath, "/dev/b");
    EXPECT_EQ(Controller->Device(1)->PnPInfo().DevicePath, "/dev/d");
    EXPECT_EQ(Sim.PostedNotices(), 2); // the burst of three changes came as one notice
}

TEST_F(ControllerTest, DeviceDestroyedByItsUnplugHandlerIsNeverTouchedAgain)
{
    Sim.PlugDevice(Station("/dev/a"));
    const auto b = Sim.PlugDevice(Station("/dev/b"));
    StartAndSettle();
    THidDevice* station = CheckOutPath("/dev/b");
    ASSERT_NE(station, nullptr);
    DestroyOnUnplug = true;
    Sim.UnplugDevice(b);
    ASSERT_TRUE(PumpUntil([&] { return !Log.empty() && Log.back() == "change"; }));
    // No OnRemoval for the destroyed device; its entry left the list with it.
    EXPECT_EQ(Log, (Strings{"unplug /dev/b", "change"}));
    EXPECT_TRUE(Owned.empty());
    ASSERT_EQ(Controller->DeviceCount(), 1);
    EXPECT_EQ(Controller->Device(0)->PnPInfo().DevicePath, "/dev/a");
}

TEST_F(ControllerTest, UnpluggedCheckedOutDeviceStaysListedAndIsGoneAtEveryRescan)
{
    const auto a = Sim.PlugDevice(Station("/dev/a"));
    StartAndSettle();
    THidDevice* old = CheckOutPath("/dev/a");
    ASSERT_NE(old, nullptr);
    Sim.UnplugDevice(a);
    ASSERT_TRUE(PumpUntil([&] { return !Log.empty() && Log.back() == "change"; }));
    EXPECT_EQ(Log, (Strings{"unplug /dev/a", "removal /dev/a", "change"}));
    EXPECT_FALSE(old->PluggedIn());
    EXPECT_FALSE(old->CheckOut());
    Log.clear();

    // Plugged in again: a new object arrives beside the old unplugged one, which is gone again
    // (removal, but its unplug handler was used up).
    Sim.PlugDevice(Station("/dev/a"));
    ASSERT_TRUE(PumpUntil([&] { return !Log.empty() && Log.back() == "change"; }));
    EXPECT_EQ(Log, (Strings{"removal /dev/a", "arrival /dev/a", "change"}));
    ASSERT_EQ(Controller->DeviceCount(), 2);
    EXPECT_EQ(Controller->Device(0), old);
    EXPECT_TRUE(Controller->Device(1)->PluggedIn());
    // Not offered by an enumeration; destroying it takes it off the list.
    int offered = 0;
    Controller->SetOnEnumerate(THidEnumerateEvent::FromCallable([&](THidDevice* d, int index) {
        EXPECT_EQ(index, 1);
        EXPECT_NE(d, old);
        ++offered;
        return true;
    }));
    EXPECT_EQ(Controller->EnumerateDevices(), 1);
    EXPECT_EQ(offered, 1);
    Release(old);
    EXPECT_EQ(Controller->DeviceCount(), 1);
}

TEST_F(ControllerTest, CheckInPutsAFreshObjectInTheSamePlace)
{
    Sim.PlugDevice(Station("/dev/a"));
    const auto b = Sim.PlugDevice(Station("/dev/b"));
    Sim.PlugDevice(Station("/dev/c"));
    StartAndSettle();
    THidDevice* station = CheckOutPath("/dev/b");
    ASSERT_NE(station, nullptr);
    station->SetReadWaitSlice(250);
    Release(station);
    ASSERT_EQ(Controller->DeviceCount(), 3);
    THidDevice* fresh = Controller->Device(1);
    EXPECT_EQ(fresh->PnPInfo().DevicePath, "/dev/b");
    EXPECT_EQ(fresh->PnPInfo().DeviceInstance, Sim.Instance(b));
    EXPECT_FALSE(fresh->CheckedOut());
    EXPECT_EQ(fresh->ReadThread(), nullptr);
    EXPECT_EQ(fresh->ReadWaitSlice(), 250);
    EXPECT_TRUE(fresh->DataHandler().SameFunction(Controller->OnDeviceData()));
    // The next enumeration offers the new object, which can be checked out again.
    EXPECT_EQ(CheckOutPath("/dev/b"), fresh);
    Flush();
    EXPECT_TRUE(Log.empty());

    // When the device can no longer be opened at check-in, its entry leaves the list.
    Sim.SetAccess(b, SimAccess::NoAccess);
    Release(fresh);
    ASSERT_EQ(Controller->DeviceCount(), 2);
    EXPECT_EQ(Controller->Device(1)->PnPInfo().DevicePath, "/dev/c");
}

TEST_F(ControllerTest, EnumerationCountsOfferedDevicesAndStopsOnFalse)
{
    StartAndSettle();
    EXPECT_EQ(Controller->EnumerateDevices(), 0);
    Sim.PlugDevice(Station("/dev/a"));
    Sim.PlugDevice(Station("/dev/b"));
    ASSERT_TRUE(PumpUntil([&] { return Controller->DeviceCount() == 2; }));
    EXPECT_EQ(Controller->EnumerateDevices(), 1); // no handler: the first offer answers stop
    std::vector<int> offered;
    Controller->SetOnEnumerate(THidEnumerateEvent::FromCallable([&](THidDevice* d, int index) {
        offered.push_back(index);
        EXPECT_TRUE(d->InNotification());
        // A free device may be queried during the offer; its handle is closed afterwards.
        EXPECT_EQ(d->QueryProductName(), u"Метеостанция");
        return false;
    }));
    EXPECT_EQ(Controller->EnumerateDevices(), 1);
    EXPECT_EQ(offered, std::vector<int>{0});
    EXPECT_FALSE(Controller->Device(0)->InNotification());
    EXPECT_EQ(Sim.OpenHandleCount(1), 0);
}

TEST_F(ControllerTest, NoticeDuringARescanIsDroppedNotQueued)
{
    StartAndSettle();
    Controller->SetOnArrival(THidPlugEvent::FromCallable([&](THidDevice* d) {
        Log.push_back("arrival " + d->PnPInfo().DevicePath);
        if (d->PnPInfo().DevicePath == "/dev/a") {
            Sim.PlugDevice(Station("/dev/b"));
            // The handler runs a nested event loop: the notice arrives while the rescan runs. The
            // quit is posted after the notice, so the loop ends only once the notice is delivered.
            QEventLoop nested;
            QMetaObject::invokeMethod(&nested, &QEventLoop::quit, Qt::QueuedConnection);
            nested.exec();
        }
    }));
    Sim.PlugDevice(Station("/dev/a"));
    ASSERT_TRUE(PumpUntil([&] { return !Log.empty() && Log.back() == "change"; }));
    Flush();
    EXPECT_EQ(Log, (Strings{"arrival /dev/a", "change"}));
    Log.clear();
    Sim.PlugDevice(Station("/dev/c"));
    ASSERT_TRUE(PumpUntil([&] { return !Log.empty() && Log.back() == "change"; }));
    EXPECT_EQ(Log, (Strings{"arrival /dev/b", "arrival /dev/c", "change"}));
}

TEST_F(ControllerTest, OnDeviceChangeAssignedAfterLoadingRescansAtOnce)
{
    Controller = std::make_unique<THidDeviceController>(nullptr, Sim);
    int changes = 0;
    Controller->SetOnDeviceChange(TNotifyEvent::FromCallable([&](QObject*) { ++changes; }));
    EXPECT_EQ(changes, 0); // still loading
    Controller->Loaded();
    ASSERT_TRUE(PumpUntil([&] { return changes == 1; }));
    // A different function after loading: rescan now, and the last notice handled (the first,
    // -1) makes it count as a change.
    Sim.PlugDevice(Station("/dev/a"));
    Controller->SetOnDeviceChange(TNotifyEvent::FromCallable([&](QObject*) { changes += 10; }));
    EXPECT_EQ(changes, 11);
    EXPECT_EQ(Controller->DeviceCount(), 1);
    Flush(); // the sim's own notice finds nothing new
    EXPECT_EQ(changes, 11);
}

TEST_F(ControllerTest, DevThreadSleepTimeReachesOnlyDevicesStillAtTheOldValue)
{
    Sim.PlugDevice(Station("/dev/a"));
    Sim.PlugDevice(Station("/dev/b"));
    Controller = std::make_unique<THidDeviceController>(nullptr, Sim);
    Controller->SetDevThreadSleepTime(1); // while loading: reaches no device, and new ones keep 100
    Controller->Loaded();
    ASSERT_TRUE(PumpUntil([&] { return Controller->DeviceCount() == 2; }));
    THidDevice* a = Controller->Device(0);
    THidDevice* b = Controller->Device(1);
    EXPECT_EQ(a->ReadWaitSlice(), 100);
    Controller->SetDevThreadSleepTime(100);
    b->SetReadWaitSlice(300);
    Controller->SetDevThreadSleepTime(50);
    EXPECT_EQ(a->ReadWaitSlice(), 50);
    EXPECT_EQ(b->ReadWaitSlice(), 300);
    // Out of range: no device changes, but the controller keeps the value, so a no longer follows.
    Controller->SetDevThreadSleepTime(5);
    EXPECT_EQ(a->ReadWaitSlice(), 50);
    EXPECT_EQ(Controller->DevThreadSleepTime(), 5);
    Controller->SetDevThreadSleepTime(70);
    EXPECT_EQ(a->ReadWaitSlice(), 50);
}

TEST_F(ControllerTest, UnplugAndDataErrorHandlersReachOnlyDevicesThatStillFollow)
{
    Sim.PlugDevice(Station("/dev/a"));
    Sim.PlugDevice(Station("/dev/b"));
    StartAndSettle();
    THidDevice* a = Controller->Device(0);
    THidDevice* b = Controller->Device(1);
    // b gets handlers of its own (another function), a keeps the controller's.
    b->SetUnplugHandler(THidPlugEvent::FromCallable([](THidDevice*) {}));
    b->SetDataErrorHandler(THidDataErrorEvent::FromCallable([](THidDevice*, std::uint32_t) {}));
    const THidPlugEvent ownUnplug = b->UnplugHandler();
    const THidDataErrorEvent ownError = b->DataErrorHandler();
    const THidPlugEvent unplug = THidPlugEvent::FromCallable([this](THidDevice*) { Log.push_back("new unplug"); });
    const THidDataErrorEvent error = THidDataErrorEvent::FromCallable([](THidDevice*, std::uint32_t) {});
    Controller->SetOnDeviceUnplug(unplug);
    Controller->SetOnDeviceDataError(error);
    EXPECT_TRUE(a->UnplugHandler().SameFunction(unplug));
    EXPECT_TRUE(a->DataErrorHandler().SameFunction(error));
    EXPECT_TRUE(b->UnplugHandler().SameFunction(ownUnplug));
    EXPECT_TRUE(b->DataErrorHandler().SameFunction(ownError));
    // None passes on the same way.
    Controller->SetOnDeviceUnplug(nullptr);
    Controller->SetOnDeviceDataError(nullptr);
    EXPECT_FALSE(a->UnplugHandler());
    EXPECT_FALSE(a->DataErrorHandler());
    EXPECT_TRUE(b->UnplugHandler().SameFunction(ownUnplug));
}

TEST_F(ControllerTest, InertWhenThePlatformCannotLoad)
{
    Sim.SetLoadFails(true);
    Sim.PlugDevice(Station("/dev/a"));
    CreateController();
    EXPECT_FALSE(Controller->HidLibraryLoaded());
    Sim.PlugDevice(Station("/dev/b"));
    Flush();
    Controller->DeviceChange();
    EXPECT_TRUE(Log.empty());
    EXPECT_EQ(Controller->DeviceCount(), 0);
    EXPECT_EQ(Controller->EnumerateDevices(), 0);
}

TEST_F(ControllerTest, ScanSkipsDevicesThatCannotBeOpenedOrIdentifiedAndFailedListsRemoveAll)
{
    auto closed = Station("/dev/closed");
    closed.Access = SimAccess::NoAccess;
    auto mute = Station("/dev/mute");
    mute.AttributesFail = true;
    Sim.PlugDevice(closed);
    Sim.PlugDevice(mute);
    Sim.PlugDevice(Station("/dev/ok"));
    StartAndSettle();
    ASSERT_EQ(Controller->DeviceCount(), 1);
    EXPECT_EQ(Controller->Device(0)->PnPInfo().DevicePath, "/dev/ok");
    Sim.SetEnumerateFails(true);
    Controller->DeviceChange();
    EXPECT_EQ(Log, (Strings{"unplug /dev/ok", "removal /dev/ok", "change"}));
    EXPECT_EQ(Controller->DeviceCount(), 0);
}

TEST_F(ControllerTest, DestroyingTheControllerUnplugsCheckedOutDevicesAndLeavesThemToTheOwner)
{
    Sim.PlugDevice(Station("/dev/a"));
    Sim.PlugDevice(Station("/dev/b"));
    StartAndSettle();
    THidDevice* station = CheckOutPath("/dev/b");
    ASSERT_NE(station, nullptr);
    ASSERT_NE(station->ReadThread(), nullptr);
    Controller.reset();
    EXPECT_EQ(Log, Strings{"unplug /dev/b"});
    EXPECT_FALSE(station->PluggedIn());
    EXPECT_EQ(station->Controller(), nullptr);
    Release(station); // no list to return to: nothing is touched
    EXPECT_EQ(Sim.OpenHandleCount(1) + Sim.OpenHandleCount(2), 0);
}
