// The window's account of the programming unit: every state of the Hint box, the Update button,
// the session and the Version panel, reached by the start-up probe and by device notices.
#include <array>
#include <vector>

#include "ui/device_presence.h"
#include "ui/main_window.h"
#include "ui/ui_fixture.h"

namespace {

constexpr std::uint32_t kTypeCodeA = 0x110FA0FA;
constexpr std::uint32_t kTypeCodeB = 0x0A0640FA;
constexpr std::uint32_t kDeviceQueryRemove = 0x8001;
constexpr std::uint32_t kDeviceTypeVolume = 2;
constexpr std::uint32_t kDeviceTypePort = 3;

// What a device plugged into the bench is.
struct Plug {
    enum Kind { nothing, mouse, unit } kind = unit;
    std::uint16_t productId = 2;
    std::uint8_t mode = 0;
    std::uint16_t escStatus = 3;
    std::uint32_t typeCode = kTypeCodeA;
    std::uint16_t escFirmware = 0x0009;
    bool identifyFails = false;  // opened, then the first query is not answered
    const wchar_t* path = L"";
};

Plug nothing() { return Plug{Plug::nothing}; }
Plug mouse() { return Plug{Plug::mouse}; }
Plug accepted(std::uint32_t typeCode = kTypeCodeA) {
    Plug plug;
    plug.typeCode = typeCode;
    return plug;
}
Plug linkwave() {
    Plug plug;
    plug.productId = 1;
    return plug;
}
Plug wrongMode() {
    Plug plug;
    plug.mode = 1;
    return plug;
}
Plug escStatus(std::uint16_t status) {
    Plug plug;
    plug.escStatus = status;
    return plug;
}
Plug noFirmware() {
    Plug plug;
    plug.escFirmware = 0xFFFF;
    return plug;
}
Plug notIdentified() {
    Plug plug;
    plug.identifyFails = true;
    return plug;
}
// A unit whose path holds a letter outside A to Z.
Plug umlautPath() {
    Plug plug;
    plug.path =
        L"\\\\?\\hid#vid_5ea7&pid_0002#7&ger\u00e4t&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    return plug;
}

enum class Do {
    startup,                // plug `plug` in, then the window's initialisation and start-up probe
    arrive,                 // plug `plug` in, then its interface's arrival
    arriveAsVolume,         // plug `plug` in, then an arrival of type 2 (a volume)
    removeFirst,            // unplug the device plugged first; its interface's removal
    removeFirstAsciiCase,   // the same, the path's letters A to Z in the other case
    removeFirstUmlautCase,  // the same, only the path's letter a-umlaut in the other case
    removeNewest,           // unplug the device plugged last; its interface's removal
    removeAsPort,           // a removal of type 3 (a port) with the first device's path
    queryRemove,            // DBT_DEVICEQUERYREMOVE for the first device: not handled
};

struct Step {
    Do what;
    Plug plug = nothing();
};

// The Version panel's three labels, its row-1 caption (null: text 40039) and whether its six
// controls are enabled.
struct Panel {
    std::array<const wchar_t*, 3> labels;
    const wchar_t* row1Caption;
    bool enabled;
};
const Panel kClosedFresh{{L"0.0.0", L"0.0.0", L"0.0.0"}, nullptr, false};
const Panel kClosedLinkCube{{L"0.0.0", L"0.0.0", L"0.0.0"}, L"LINK-CUBE", false};
const Panel kReadyLinkCube{{L"1.2", L"1.5", L"0.9"}, L"LINK-CUBE", true};
const Panel kReadyLinkwave{{L"1.2", L"1.5", L"0.9"}, L"LINKWAVE", true};
const Panel kReadyNoFirmware{{L"1.2", L"1.5", L"----------"}, L"LINK-CUBE", true};

struct PresenceCase {
    const char* name;
    std::vector<Step> steps;
    std::uint16_t hint;  // 40000 alone; any other status with the instructions
    bool updateEnabled;
    int openPlug;  // which plugged device the session holds open, counted from 0; -1 closed
    Panel panel;
    unsigned notices = 0;  // incompatible-controller boxes shown
};

class DevicePresence : public UiTest, public ::testing::WithParamInterface<PresenceCase> {
protected:
    void plug(const Plug& plug) {
        if (plug.kind == Plug::nothing) return;
        if (plug.kind == Plug::mouse) {
            const sim::Device mouse = sim::otherDevice(0x046D, 0xC077);
            paths.push_back(widePath(mouse.path));
            plugged.push_back(sim::plugIn(mouse));
            return;
        }
        sim::Device device = sim::programmingUnit(plug.productId, narrowPath(plug.path));
        device.unit.mode = plug.mode;
        device.unit.esc.status = plug.escStatus;
        device.unit.esc.typeCode = plug.typeCode;
        device.unit.esc.firmwareVersion = plug.escFirmware;
        if (plug.identifyFails) sim::addFault({sim::exchangeCount(), sim::FaultKind::readFails, 0});
        paths.push_back(*plug.path != L'\0' ? std::wstring(plug.path) : widePath(device.path));
        plugged.push_back(sim::plugIn(device));
    }

    std::wstring pathOf(std::size_t index) { return paths.at(index); }

    int notify(std::uint32_t event, std::uint32_t deviceType, const std::wstring& path) {
        const DeviceEventRecord record{deviceType, path.c_str()};
        return onDeviceChange(event, &record);
    }

    void run(const Step& step) {
        switch (step.what) {
            case Do::startup:
                plug(step.plug);
                showWindowTexts();
                runStartupProbe();
                return;
            case Do::arrive:
                plug(step.plug);
                EXPECT_EQ(notify(kDeviceArrival, kDeviceTypeInterface, paths.back()), 1);
                return;
            case Do::arriveAsVolume:
                plug(step.plug);
                EXPECT_EQ(notify(kDeviceArrival, kDeviceTypeVolume, L"\\\\?\\STORAGE#Volume#1"), 1);
                return;
            case Do::removeFirst:
            case Do::removeFirstAsciiCase:
            case Do::removeFirstUmlautCase:
                sim::unplug(plugged.front());
                EXPECT_EQ(notify(kDeviceRemoveComplete, kDeviceTypeInterface,
                                 recased(pathOf(0), step.what)),
                          1);
                return;
            case Do::removeNewest:
                sim::unplug(plugged.back());
                EXPECT_EQ(notify(kDeviceRemoveComplete, kDeviceTypeInterface, paths.back()), 1);
                return;
            case Do::removeAsPort:
                EXPECT_EQ(notify(kDeviceRemoveComplete, kDeviceTypePort, pathOf(0)), 1);
                return;
            case Do::queryRemove:
                EXPECT_EQ(notify(kDeviceQueryRemove, kDeviceTypeInterface, pathOf(0)), 0);
                return;
        }
    }

    static std::wstring recased(std::wstring path, Do how) {
        for (wchar_t& c : path) {
            if (how == Do::removeFirstAsciiCase && c >= L'a' && c <= L'z') c = c - L'a' + L'A';
            if (how == Do::removeFirstUmlautCase && c == L'\u00e4') c = L'\u00c4';
        }
        return path;
    }

    std::vector<unsigned> plugged;  // bench ids, in the order plugged in
    std::vector<std::wstring> paths;
};

TEST_P(DevicePresence, EndsInItsState) {
    const PresenceCase& c = GetParam();
    for (const Step& step : c.steps) run(step);

    const std::wstring hint =
        c.hint == kTextReady ? fake::text(kTextReady) : withInstructions(c.hint);
    EXPECT_EQ(fake::controlText(kHintBox), hint);
    EXPECT_EQ(fake::isEnabled(kUpdateButton), c.updateEnabled);
    if (c.openPlug < 0) {
        EXPECT_FALSE(isOpen(appSession()));
    } else {
        ASSERT_TRUE(isOpen(appSession()));
        EXPECT_EQ(appSession().devicePath,
                  narrowPath(pathOf(static_cast<std::size_t>(c.openPlug))));
    }

    EXPECT_EQ(fake::controlText(kRow1Version), c.panel.labels[0]);
    EXPECT_EQ(fake::controlText(kRow2Version), c.panel.labels[1]);
    EXPECT_EQ(fake::controlText(kRow3Version), c.panel.labels[2]);
    const std::wstring row1 =
        c.panel.row1Caption ? c.panel.row1Caption : fake::text(kTextRow1Caption);
    EXPECT_EQ(fake::controlText(kRow1Caption), row1);
    for (int control :
         {kRow1Version, kRow2Version, kRow3Version, kRow1Caption, kRow2Caption, kRow3Caption}) {
        EXPECT_EQ(fake::isEnabled(control), c.panel.enabled) << "control " << control;
    }

    EXPECT_EQ(fake::state().boxes.size(), c.notices);
    for (const fake::MessageBox& box : fake::state().boxes) {
        EXPECT_EQ(box.caption, fake::text(kTextIncompatibleCaption));
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    States, DevicePresence,
    ::testing::Values(
        // The start-up probe.
        PresenceCase{"NoUnit", {{Do::startup}}, kTextNoUnit, false, -1, kClosedFresh},
        PresenceCase{"OnlyAMouse", {{Do::startup, mouse()}}, kTextNoUnit, false, -1, kClosedFresh},
        PresenceCase{"WrongMode", {{Do::startup, wrongMode()}}, kTextWrongMode, false, -1,
                     kClosedFresh},
        PresenceCase{"EscStatus0", {{Do::startup, escStatus(0)}}, kTextNoController, false, -1,
                     kClosedFresh},
        PresenceCase{"EscStatus1", {{Do::startup, escStatus(1)}}, kTextNoController, false, -1,
                     kClosedFresh},
        PresenceCase{"EscStatus2", {{Do::startup, escStatus(2)}}, kTextNoController, false, -1,
                     kClosedFresh},
        PresenceCase{"EscStatus4", {{Do::startup, escStatus(4)}}, kTextNoController, false, -1,
                     kClosedFresh},
        PresenceCase{"ReadyTypeCodeA", {{Do::startup, accepted(kTypeCodeA)}}, kTextReady, true, 0,
                     kReadyLinkCube},
        PresenceCase{"ReadyTypeCodeB", {{Do::startup, accepted(kTypeCodeB)}}, kTextReady, true, 0,
                     kReadyLinkCube},
        PresenceCase{"ReadyLinkwave", {{Do::startup, linkwave()}}, kTextReady, true, 0,
                     kReadyLinkwave},
        PresenceCase{"ReadyNoFirmwareInstalled", {{Do::startup, noFirmware()}}, kTextReady, true,
                     0, kReadyNoFirmware},
        PresenceCase{"IncompatibleOneBitOff", {{Do::startup, accepted(kTypeCodeA ^ 0x00000100)}},
                     kTextIncompatible, false, -1, kClosedFresh, 1},
        PresenceCase{"IncompatibleOtherCode", {{Do::startup, accepted(0x0A0640FB)}},
                     kTextIncompatible, false, -1, kClosedFresh, 1},
        PresenceCase{"NotIdentifiedAtStartupIsNoUnit", {{Do::startup, notIdentified()}},
                     kTextNoUnit, false, -1, kClosedFresh},
        // Arrivals while the session is closed.
        PresenceCase{"ArrivalReady", {{Do::startup}, {Do::arrive, accepted()}}, kTextReady, true,
                     0, kReadyLinkCube},
        PresenceCase{"ArrivalWrongMode", {{Do::startup}, {Do::arrive, wrongMode()}},
                     kTextWrongMode, false, -1, kClosedFresh},
        PresenceCase{"ArrivalNoController", {{Do::startup}, {Do::arrive, escStatus(0)}},
                     kTextNoController, false, -1, kClosedFresh},
        PresenceCase{"ArrivalIncompatible", {{Do::startup}, {Do::arrive, accepted(kTypeCodeA + 1)}},
                     kTextIncompatible, false, -1, kClosedFresh, 1},
        PresenceCase{"ArrivalOfAMouseChangesNothing", {{Do::startup}, {Do::arrive, mouse()}},
                     kTextNoUnit, false, -1, kClosedFresh},
        PresenceCase{"ArrivalOfAVolumeIsNotSearched", {{Do::startup}, {Do::arriveAsVolume, accepted()}},
                     kTextNoUnit, false, -1, kClosedFresh},
        PresenceCase{"ArrivalNotIdentified", {{Do::startup}, {Do::arrive, notIdentified()}},
                     kTextNoUnit, false, 0, kClosedFresh},
        PresenceCase{"ArrivalAfterIncompatible",
                     {{Do::startup, accepted(0x12345678)}, {Do::removeFirst}, {Do::arrive, accepted()}},
                     kTextReady, true, 1, kReadyLinkCube, 1},
        PresenceCase{"ArrivalAfterConnectionLost",
                     {{Do::startup, accepted()}, {Do::removeFirst}, {Do::arrive, linkwave()}},
                     kTextReady, true, 1, kReadyLinkwave},
        PresenceCase{"RemovalWhileClosedIgnored", {{Do::startup, wrongMode()}, {Do::removeFirst}},
                     kTextWrongMode, false, -1, kClosedFresh},
        // The unit opened but not identified.
        PresenceCase{"NotIdentifiedIgnoresArrivals",
                     {{Do::startup}, {Do::arrive, notIdentified()}, {Do::arrive, accepted()}},
                     kTextNoUnit, false, 0, kClosedFresh},
        PresenceCase{"NotIdentifiedRemoved",
                     {{Do::startup}, {Do::arrive, notIdentified()}, {Do::removeFirst}},
                     kTextConnectionLost, false, -1, kClosedFresh},
        // The ready state.
        PresenceCase{"ReadyRemoved", {{Do::startup, accepted()}, {Do::removeFirst}},
                     kTextConnectionLost, false, -1, kClosedLinkCube},
        PresenceCase{"ReadyRemovedPathInOtherCase",
                     {{Do::startup, accepted()}, {Do::removeFirstAsciiCase}}, kTextConnectionLost,
                     false, -1, kClosedLinkCube},
        PresenceCase{"ReadyRemovalDifferingBeyondAToZIgnored",
                     {{Do::startup, umlautPath()}, {Do::removeFirstUmlautCase}}, kTextReady, true,
                     0, kReadyLinkCube},
        PresenceCase{"ReadyIgnoresSecondUnit", {{Do::startup, accepted()}, {Do::arrive, linkwave()}},
                     kTextReady, true, 0, kReadyLinkCube},
        PresenceCase{"ReadyIgnoresSecondUnitsRemoval",
                     {{Do::startup, accepted()}, {Do::arrive, linkwave()}, {Do::removeNewest}},
                     kTextReady, true, 0, kReadyLinkCube},
        PresenceCase{"ReadyIgnoresVolumeArrival",
                     {{Do::startup, accepted()}, {Do::arriveAsVolume, linkwave()}}, kTextReady,
                     true, 0, kReadyLinkCube},
        PresenceCase{"ReadyIgnoresPortRemoval", {{Do::startup, accepted()}, {Do::removeAsPort}},
                     kTextReady, true, 0, kReadyLinkCube},
        PresenceCase{"ReadyQueryRemoveNotHandled", {{Do::startup, accepted()}, {Do::queryRemove}},
                     kTextReady, true, 0, kReadyLinkCube}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace

namespace {

class IncompatibleNotice : public UiTest, public ::testing::WithParamInterface<Language> {};

TEST_P(IncompatibleNotice, NamesTheModelBetweenTheQuotes) {
    fake::reset(GetParam());
    sim::plugIn(sim::programmingUnit());
    sim::devices().back().unit.esc.typeCode = 0x110FA0FB;
    runStartupProbe();

    ASSERT_EQ(fake::state().boxes.size(), 1u);
    const fake::MessageBox& box = fake::state().boxes[0];
    EXPECT_EQ(box.caption, fake::text(kTextIncompatibleCaption));
    EXPECT_EQ(box.box, window::Box::information);
    std::wstring expected = fake::text(kTextIncompatibleNotice);
    const std::size_t placeholder = expected.find(L"'%s'");
    ASSERT_NE(placeholder, std::wstring::npos);
    expected.replace(placeholder, 4, L"'TERVAL 160 LX'");
    EXPECT_EQ(box.text, expected);
    EXPECT_EQ(fake::controlText(kHintBox), withInstructions(kTextIncompatible));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Languages, IncompatibleNotice,
                         ::testing::Values(Language::german, Language::english),
                         [](const auto& info) {
                             return info.param == Language::german ? "German" : "English";
                         });
// clang-format on

// Notices that come while the unit is being opened and judged, the notice's own message loop
// included, are held and handled once the judgement has been shown, in order: the incompatible
// unit's removal, then the ready unit's arrival, which ends in the ready state rather than under
// the incompatible status.
TEST_F(UiTest, ArrivalWhileTheNoticeIsOpenIsHandledAfterIt) {
    const unsigned incompatible = sim::plugIn(sim::programmingUnit());
    sim::findDevice(incompatible)->unit.esc.typeCode = 0x12345678;
    const std::wstring incompatiblePath = widePath(sim::findDevice(incompatible)->path);
    const std::wstring readyPath = L"\\\\?\\hid#vid_5ea7&pid_0001#7&second&0&0000#{x}";
    fake::state().whileBoxOpen = [&] {
        sim::unplug(incompatible);
        DeviceEventRecord removal{kDeviceTypeInterface, incompatiblePath.c_str()};
        EXPECT_EQ(onDeviceChange(kDeviceRemoveComplete, &removal), 1);
        sim::plugIn(sim::programmingUnit(1, narrowPath(readyPath)));
        DeviceEventRecord arrival{kDeviceTypeInterface, readyPath.c_str()};
        EXPECT_EQ(onDeviceChange(kDeviceArrival, &arrival), 1);
        EXPECT_FALSE(isOpen(appSession())) << "held while the box is open";
    };
    runStartupProbe();

    EXPECT_EQ(fake::controlText(kHintBox), fake::text(kTextReady));
    ASSERT_TRUE(isOpen(appSession()));
    EXPECT_EQ(appSession().devicePath, narrowPath(readyPath));
    EXPECT_TRUE(fake::isEnabled(kUpdateButton));
    EXPECT_EQ(fake::controlText(kRow1Caption), L"LINKWAVE");
}

// A controller that never answers keeps the identification waiting for its bound. The waits let
// device notices through; they are held, the window takes no commands meanwhile, and the notices
// are handled in order once the unit has been judged.
struct SilentCase {
    const char* name;
    bool atStartup;
    std::uint16_t statusAfterRemoval;  // once the held removal of the silent unit is handled
};

class SilentController : public UiTest, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(SilentController, NoticesDuringItsIdentificationAreHeldAndHandledAfter) {
    const SilentCase& c = GetParam();
    if (!c.atStartup) runStartupProbe();
    sim::Device unit = sim::programmingUnit();
    unit.unit.controllerSilent = true;
    const unsigned id = sim::plugIn(unit);
    const std::wstring path = widePath(sim::findDevice(id)->path);
    const DeviceEventRecord record{kDeviceTypeInterface, path.c_str()};

    std::vector<bool> heldWhileWaiting;
    sim::setWhileWaiting([&](std::uint32_t) {
        heldWhileWaiting.push_back(deviceNoticesHeld());
        if (heldWhileWaiting.size() != 1) return;
        sim::unplug(id);
        EXPECT_EQ(onDeviceChange(kDeviceRemoveComplete, &record), 1);
        EXPECT_TRUE(isOpen(appSession())) << "the removal is held until the unit is judged";
    });
    if (c.atStartup) {
        runStartupProbe();
    } else {
        EXPECT_EQ(onDeviceChange(kDeviceArrival, &record), 1);
    }

    EXPECT_EQ(heldWhileWaiting, std::vector<bool>{true}) << "one wait, at the query's bound";
    EXPECT_FALSE(deviceNoticesHeld());
    EXPECT_FALSE(isOpen(appSession()));
    EXPECT_FALSE(fake::isEnabled(kUpdateButton));
    EXPECT_EQ(fake::controlText(kHintBox), withInstructions(c.statusAfterRemoval));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, SilentController,
    ::testing::Values(
        // At start-up the unit is not usable and closed at once; its removal finds nothing open.
        SilentCase{"AtStartUp", true, kTextNoUnit},
        // On an arrival the unit stays open unidentified; its removal loses the connection.
        SilentCase{"OnArrival", false, kTextConnectionLost}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(UiTest, AppendingToAnEmptyHintBoxLeavesExactlyTheText) {
    appendHintText(L"first");
    EXPECT_EQ(fake::controlText(kHintBox), L"first");
    appendHintText(L" second");
    EXPECT_EQ(fake::controlText(kHintBox), L"first second");
    setHintText(L"replaced");
    EXPECT_EQ(fake::controlText(kHintBox), L"replaced");
}

// A status that fills its whole buffer leaves no room for the separator: the separator is cut,
// the instructions still follow.
TEST_F(UiTest, StatusFillingItsBufferCutsTheSeparator) {
    const std::wstring longest(kTextBufferSize - 1, L'x');
    fake::state().textOverrides[kTextNoUnit] = longest + L"beyond the buffer";
    runStartupProbe();
    EXPECT_EQ(fake::controlText(kHintBox), longest + fake::text(kTextInstructions));

    fake::state().textOverrides[kTextNoUnit] = longest.substr(1);
    runStartupProbe();
    EXPECT_EQ(fake::controlText(kHintBox),
              longest.substr(1) + L"\r" + fake::text(kTextInstructions));
}

}  // namespace
