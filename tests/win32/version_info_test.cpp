// The version information of the built terval-updater.exe, read through version.dll as Explorer's
// Details tab and a browser's download check read it: the fixed part, the translations, and each
// string of each block that the translations name.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "engine/program_title.h"
#include "program_resources.h"

namespace {

struct Translation {
    WORD language;
    WORD codePage;
};

// The one block: the program's name is the same in German and English (the title), so the
// strings are language-neutral, in UTF-16.
constexpr Translation kNeutralUnicode = {0x0000, 1200};

struct StringCase {
    const wchar_t* name;
    const wchar_t* value;
};

const StringCase kStrings[] = {
    {L"CompanyName", L"BELMARODA"},
    {L"FileDescription", L"BELMARODA TERVAL 160 LX FW Updater"},
    {L"FileVersion", L"1.0"},
    {L"InternalName", L"terval-updater.exe"},
    {L"OriginalFilename", L"terval-updater.exe"},
    {L"ProductName", L"BELMARODA TERVAL 160 LX FW Updater"},
    {L"ProductVersion", L"1.0"},
};

// The program's texts carry no copyright line, and no build is a private or special one.
const wchar_t* const kAbsentStrings[] = {L"LegalCopyright", L"PrivateBuild", L"SpecialBuild"};

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class VersionInfo : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring path = programPath();
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_NE(size, 0u) << "no version information in " << UPDATER_PROGRAM_FILE << ", error "
                            << GetLastError();
        data.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
            << "error " << GetLastError();
    }

    // The value at a path of the information; null if there is none.
    const void* value(const std::wstring& path, UINT* length = nullptr) {
        void* found = nullptr;
        UINT size = 0;
        if (!VerQueryValueW(data.data(), path.c_str(), &found, &size)) return nullptr;
        if (length != nullptr) *length = size;
        return found;
    }

    std::vector<Translation> translations() {
        UINT bytes = 0;
        const auto* list =
            static_cast<const Translation*>(value(L"\\VarFileInfo\\Translation", &bytes));
        if (list == nullptr) return {};
        return std::vector<Translation>(list, list + bytes / sizeof(Translation));
    }

    // The string's text in the block of the translation; null if the block lacks it.
    const wchar_t* string(const Translation& block, const wchar_t* name) {
        wchar_t path[64];
        std::swprintf(path, std::size(path), L"\\StringFileInfo\\%04x%04x\\%ls", block.language,
                      block.codePage, name);
        UINT length = 0;
        const auto* text = static_cast<const wchar_t*>(value(path, &length));
        return length == 0 ? nullptr : text;
    }

    std::vector<unsigned char> data;
};

TEST_F(VersionInfo, FixedPartNamesVersionOneZeroOfAWindowsApplication) {
    UINT length = 0;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value(L"\\", &length));
    ASSERT_NE(fixed, nullptr);
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwStrucVersion, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);  // 1.0
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);           // .0.0
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileFlagsMask, static_cast<DWORD>(VS_FFI_FILEFLAGSMASK));
    // Not debug, pre-release, patched, private or special.
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileSubtype, static_cast<DWORD>(VFT2_UNKNOWN));
    // No build date: two builds of one commit give the same bytes.
    EXPECT_EQ(fixed->dwFileDateMS, 0u);
    EXPECT_EQ(fixed->dwFileDateLS, 0u);
}

TEST_F(VersionInfo, ListsOneLanguageNeutralUnicodeBlock) {
    const std::vector<Translation> list = translations();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].language, kNeutralUnicode.language);
    EXPECT_EQ(list[0].codePage, kNeutralUnicode.codePage);
}

TEST_F(VersionInfo, EachListedBlockHoldsTheProgramsStrings) {
    const std::vector<Translation> list = translations();
    ASSERT_FALSE(list.empty());
    for (const Translation& block : list) {
        SCOPED_TRACE(testing::Message() << "block " << std::hex << block.language << " " << std::dec
                                        << block.codePage);
        for (const StringCase& expected : kStrings) {
            const wchar_t* text = string(block, expected.name);
            ASSERT_NE(text, nullptr) << narrow(expected.name) << " missing";
            EXPECT_EQ(std::wstring(text), expected.value) << narrow(expected.name);
        }
        for (const wchar_t* name : kAbsentStrings) {
            EXPECT_EQ(string(block, name), nullptr) << narrow(name) << " present";
        }
    }
}

// The version that Explorer shows is the one in the window's title, which starts with the
// product's name and version.
TEST_F(VersionInfo, NamesTheProductAndVersionAsTheTitleDoes) {
    const std::vector<Translation> list = translations();
    ASSERT_FALSE(list.empty());
    const wchar_t* name = string(list[0], L"ProductName");
    const wchar_t* version = string(list[0], L"ProductVersion");
    ASSERT_NE(name, nullptr);
    ASSERT_NE(version, nullptr);
    wchar_t title[kTitleBufferSize];
    ASSERT_GT(buildProgramTitle(title, kTitleBufferSize), 0);
    const std::wstring start = std::wstring(name) + L" " + version + L" ";
    EXPECT_EQ(std::wstring(title).compare(0, start.size(), start), 0)
        << "title " << narrow(title) << ", version information " << narrow(start);
}

}  // namespace
