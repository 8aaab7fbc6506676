// Each situation that shows a text, with the English text the user must read there, typed out
// here rather than taken from the catalogue or the text IDs: a text ID swapped in the code, or a
// catalogue entry under the wrong number, shows up as the wrong words in its situation.
#include <functional>
#include <string>

#include "ui/update.h"
#include "ui/device_presence.h"
#include "ui/main_window.h"
#include "ui/ui_fixture.h"

namespace {

const std::wstring kInstructions =
    L"1.)\r\nDisconnect the BELMARODA ESC from the receiver (Master and Slave Port) and connect "
    L"the "
    L"Master Port with the female connector of the LinkCUBE/LINKWAVE. NOTE: a BEC or male to male "
    L"cable required. \r\nThe SALVINO-Q needs instead a program-cable.\r\n\r\n 2.)\r\nConnect the "
    L"BELMARODA ESC to an appropriate battery. As soon as the connection is established the LEDs "
    L"of the BELMARODA ESC and the LinkCUBE starts flashing.\r\n\r\n 3.)\r\n Now connect the "
    L"LinkCUBE/LINKWAVE with the supplied USB cable to your PC. If you use a LINKWAVE, please push "
    L"the button once.\r\n\r\n 4.)\r\n If the programming unit and the ESC were found and ready to "
    L"update, you can click on the 'Update'-Button to update the firmware.";

std::wstring lead(const wchar_t* status) {
    return status + std::wstring(L"\r\n\r\n") + kInstructions;
}

// Where a situation's text is read.
enum class Shown {
    hint,
    lastBoxText,
    lastBoxCaption,
    firstBoxText,
    firstBoxCaption,
    progressTitle
};

struct Situation {
    const char* name;
    std::function<void()> bring;  // brings the window into the situation
    Shown where;
    std::wstring expected;
};

// The bench's unit, changed by change, plugged in before the start-up probe.
std::function<void()> startWith(std::function<void(sim::Device&)> change) {
    return [change] {
        sim::Device unit = sim::programmingUnit();
        change(unit);
        sim::plugIn(unit);
        runStartupProbe();
    };
}

void keep(sim::Device&) {}

// A ready unit, updated with the fault given (none: a whole update).
std::function<void()> updateWith(sim::FaultKind kind, unsigned exchangeAfterProbe,
                                 std::uint16_t installed = 0x0009) {
    return [=] {
        sim::Device unit = sim::programmingUnit();
        unit.unit.esc.firmwareVersion = installed;
        const unsigned id = sim::plugIn(unit);
        runStartupProbe();
        if (kind != sim::FaultKind::none) {
            // After the identification that the update runs again behind its questions.
            constexpr unsigned kIdentificationQueries = 3;
            sim::addFault(
                {sim::exchangeCount() + kIdentificationQueries + exchangeAfterProbe, kind, 0x107});
        }
        fake::state().answers = {window::Answer::ok, window::Answer::yes};
        runUpdate();
        (void)id;
    };
}

std::wstring shown(Shown where) {
    const auto& boxes = fake::state().boxes;
    switch (where) {
        case Shown::hint: return fake::controlText(kHintBox);
        case Shown::lastBoxText: return boxes.empty() ? L"" : boxes.back().text;
        case Shown::lastBoxCaption: return boxes.empty() ? L"" : boxes.back().caption;
        case Shown::firstBoxText: return boxes.empty() ? L"" : boxes.front().text;
        case Shown::firstBoxCaption: return boxes.empty() ? L"" : boxes.front().caption;
        case Shown::progressTitle:
            for (const std::string& call : fake::state().windowCalls) {
                if (call.rfind("create 2 ", 0) == 0) {  // "create 2 <x>,<y> <w>x<h> <title>"
                    const std::string title =
                        call.substr(call.find(' ', call.find(' ', 9) + 1) + 1);
                    return std::wstring(title.begin(), title.end());
                }
            }
            return L"";
    }
    return L"";
}

class SituationTexts : public UiTest, public ::testing::WithParamInterface<Situation> {
protected:
    void SetUp() override {
        UiTest::SetUp();
        acceptPlaceholderImage(true);  // the unit is simulated
    }
};

TEST_P(SituationTexts, ShowTheirOwnWords) {
    GetParam().bring();
    EXPECT_EQ(shown(GetParam().where), GetParam().expected);
}

const Situation kSituations[] = {
    {"NoUnitAtStartUp", [] { runStartupProbe(); }, Shown::hint,
     lead(L"No programming unit was found on the USB Port. To update the ESC do the following:")},
    {"WrongMode", startWith([](sim::Device& d) { d.unit.mode = 1; }), Shown::hint,
     lead(L"A programming unit was found on the USB Port which is in the wrong mode. To update "
          L"the ESC do the following:")},
    {"NoUpdatableController", startWith([](sim::Device& d) { d.unit.esc.status = 0; }), Shown::hint,
     lead(L"No updatable ESC connected. Follow the steps below to update ESC software:")},
    {"IncompatibleNoticeCaption", startWith([](sim::Device& d) { d.unit.esc.typeCode = 1; }),
     Shown::lastBoxCaption, L"ESC incompatible"},
    {"IncompatibleNotice", startWith([](sim::Device& d) { d.unit.esc.typeCode = 1; }),
     Shown::lastBoxText,
     L"With this updater you can only update the firmware of BELMARODA ESCs with the type "
     L"'TERVAL 160 LX'. Other models are not supported. Please check BELMARODA website "
     L"(www.belmaroda.de) to see if there is an updater for your ESC."},
    {"IncompatibleStatus", startWith([](sim::Device& d) { d.unit.esc.typeCode = 1; }), Shown::hint,
     lead(L"The connected ESC is not compatible with this updater. Connect compatible ESC and "
          L"follow steps below to update ESC Software:")},
    {"Ready", startWith(keep), Shown::hint,
     L"A programming unit was found and is ready to update. To update to new ESC firmware, "
     L"please click on the 'Update'-Button.\r\n\r\n!!!  NOTE: Do not disconnect Programming Unit "
     L"from Computer until update is complete. If disconnected before complete Programming Unit "
     L"or ESC may no longer function  !!!"},
    {"ConnectionLost",
     [] {
         const unsigned id = sim::plugIn(sim::programmingUnit());
         const std::wstring path = widePath(sim::findDevice(id)->path);
         runStartupProbe();
         sim::unplug(id);
         const DeviceEventRecord removal{kDeviceTypeInterface, path.c_str()};
         onDeviceChange(kDeviceRemoveComplete, &removal);
     },
     Shown::hint,
     lead(L"The USB Connection between programming unit and PC was lost. To update the ESC do "
          L"the following:")},
    {"WarningCaption", updateWith(sim::FaultKind::none, 0), Shown::firstBoxCaption,
     L"important note"},
    {"Warning", updateWith(sim::FaultKind::none, 0), Shown::firstBoxText,
     L"IMPORTANT: Don't interrupt update process! As long as the LEDs at the programming unit / "
     L"ESC are flashing, the update is working! You will informed, if the update finished!"},
    {"OlderOrSameCaption", updateWith(sim::FaultKind::none, 0, 0x0100), Shown::lastBoxCaption,
     L"Newer firmware found."},
    {"OlderOrSame", updateWith(sim::FaultKind::none, 0, 0x0100), Shown::lastBoxText,
     L"The firmware version is older or the same as the installed firmware version.  If you "
     L"continue you will be permanently deleting the current Firmware?"},
    {"ProgressWindow", updateWith(sim::FaultKind::none, 0), Shown::progressTitle,
     L"Firmware update in progress, please wait..."},
    {"UpdateSucceeded", updateWith(sim::FaultKind::none, 0), Shown::hint,
     L"The update of the ESC was successful!"},
    {"UpdateWithoutUnit", [] { runUpdate(); }, Shown::lastBoxText,
     L"Update is interrupted, programming unit is not detected. Please verify connection "
     L"between computer and programming unit."},
    {"FailureCaption", updateWith(sim::FaultKind::writeFails, 0), Shown::lastBoxCaption,
     L"Update failed!"},
    {"LockFailed", updateWith(sim::FaultKind::dropEcho, 0), Shown::lastBoxText,
     L"System-Lock of programming unit couldn't be set. Update process cancelled.\r\n"
     L"The system shows following errorcode: 0x0000065b-0x00000000"},
    {"UnprotectFailed", updateWith(sim::FaultKind::refuse, 1), Shown::lastBoxText,
     L"Writing to Flash memory of ESC was not possible. Data writing cancelled.\r\n"
     L"The system shows following errorcode: 0x00000107-0x00000000"},
    {"EraseFailed", updateWith(sim::FaultKind::refuse, 2), Shown::lastBoxText,
     L"Error deleting old firmware. New data can't be written. Update cancelled.\r\n"
     L"The system shows following errorcode: 0x00000107-0x00000000"},
    {"AddressFailed", updateWith(sim::FaultKind::refuse, 3), Shown::lastBoxText,
     L"Address for new firmware couldn't be set. Update cancelled.\r\n"
     L"The system shows following errorcode: 0x00000107-0x00000000"},
    {"BlockFailed", updateWith(sim::FaultKind::writeFails, 7), Shown::lastBoxText,
     L"Error when writing last firmware data block. Update cancelled.\r\n"
     L"The system shows following errorcode: 0xfffffffe-0x0000001f"},
    {"AfterAFailure", updateWith(sim::FaultKind::refuse, 2), Shown::hint,
     L"Update failed. Please try again. If the error still appears, please contact the "
     L"BELMARODA Service"},
    {"RegistrationFailedCaption", [] { reportRegistrationFailure(); }, Shown::lastBoxCaption,
     L"Error in the application."},
    {"RegistrationFailed", [] { reportRegistrationFailure(); }, Shown::lastBoxText,
     L"Failed to register Windows Device Manager. New devices on USB port cannot be detected.The "
     L"program is closed."},
};

// clang-format off
INSTANTIATE_TEST_SUITE_P(English, SituationTexts, ::testing::ValuesIn(kSituations),
                         [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The three row captions, which the panel shows beside the versions.
TEST_F(UiTest, RowCaptionsShowTheirOwnWords) {
    showWindowTexts();
    EXPECT_EQ(fake::controlText(kRow1Caption), L"programming unit");
    EXPECT_EQ(fake::controlText(kRow2Caption), L"ESC-bootloader");
    EXPECT_EQ(fake::controlText(kRow3Caption), L"ESC");
}

}  // namespace
