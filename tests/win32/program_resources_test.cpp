// The resources of the built program, read back per language from the executable and compared
// with the catalogue and the layout the program relies on: string tables, dialogs, logo, icons,
// manifest, version information (its contents in version_info_test.cpp), and nothing else.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "program_resources.h"
#include "engine/catalogue.h"
#include "ui/resource_ids.h"

namespace {

constexpr WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);       // 0x0000
constexpr WORD kGerman = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);          // 0x0407
constexpr WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL);       // 0x0009
constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 0x0409

const std::uint16_t kIdsWithoutText[] = {40010, 40013, 40014, 40018, 40019, 40021, 40024, 60000};

struct Bytes {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

Bytes resource(LPCWSTR type, std::uint16_t id, WORD language) {
    const HMODULE module = programResources();
    const HRSRC info = FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
    if (info == nullptr) return {};
    const HGLOBAL loaded = LoadResource(module, info);
    return {static_cast<const std::uint8_t*>(LockResource(loaded)), SizeofResource(module, info)};
}

// Reads little-endian fields from a resource; past its end every read gives 0 and ok turns false.
struct Reader {
    Bytes bytes;
    std::size_t at = 0;
    bool ok = true;

    std::uint32_t number(std::size_t width) {
        if (at + width > bytes.size) {
            ok = false;
            at = bytes.size;
            return 0;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            value |= std::uint32_t{bytes.data[at + i]} << (8 * i);
        }
        at += width;
        return value;
    }
    std::uint8_t byte() { return static_cast<std::uint8_t>(number(1)); }
    std::uint16_t word() { return static_cast<std::uint16_t>(number(2)); }
    std::int16_t signedWord() { return static_cast<std::int16_t>(word()); }
    std::uint32_t dword() { return number(4); }
    void alignToDword() { at = std::min(bytes.size, (at + 3) & ~std::size_t{3}); }

    std::u16string string() {
        std::u16string text;
        for (char16_t c = word(); c != 0 && ok; c = word()) text += c;
        return text;
    }
    // A name or number field of a dialog template: empty, 0xFFFF and a number, or a string.
    std::u16string nameOrNumber() {
        const std::uint16_t first = word();
        if (first == 0) return {};
        if (first == 0xFFFF) return u"#" + std::u16string(numberText(word()));
        return char16_t(first) + string();
    }
    static std::u16string numberText(unsigned value) {
        const std::string digits = std::to_string(value);
        return std::u16string(digits.begin(), digits.end());
    }
};

// --- String tables --------------------------------------------------------------------------

// The string of id in the language's table: nullopt without a table block, empty without text.
std::optional<std::u16string> tableString(WORD language, std::uint16_t id) {
    Reader block{resource(RT_STRING, static_cast<std::uint16_t>(id / 16 + 1), language)};
    if (block.bytes.data == nullptr) return std::nullopt;
    std::u16string text;
    for (unsigned slot = 0; slot <= id % 16u; ++slot) {
        const std::uint16_t length = block.word();
        text.clear();
        for (std::uint16_t i = 0; i < length; ++i) text += char16_t(block.word());
    }
    if (!block.ok) return std::nullopt;
    return text;
}

std::size_t occurrences(const std::u16string& text, const std::u16string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::u16string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

struct LanguageCase {
    const char* name;
    WORD language;
    Language catalogueLanguage;
};

const LanguageCase kLanguages[] = {{"German", kGerman, Language::german},
                                   {"English", kEnglish, Language::english}};

class StringTable : public ::testing::TestWithParam<LanguageCase> {
protected:
    void SetUp() override { ASSERT_NE(programResources(), nullptr) << UPDATER_PROGRAM_FILE; }
    std::u16string text(std::uint16_t id) {
        return tableString(GetParam().language, id).value_or(u"<no table block>");
    }
};

TEST_P(StringTable, HoldsEveryCatalogueTextExactly) {
    for (std::size_t i = 0; i < kCatalogueSize; ++i) {
        const CatalogueEntry& entry = kCatalogue[i];
        EXPECT_EQ(text(entry.id), catalogueText(entry.id, GetParam().catalogueLanguage))
            << "text " << entry.id;
    }
}

TEST_P(StringTable, HoldsNothingOutsideTheCatalogue) {
    std::set<std::uint16_t> blocks;
    for (std::size_t i = 0; i < kCatalogueSize; ++i) blocks.insert(kCatalogue[i].id / 16);
    for (const std::uint16_t block : blocks) {
        for (unsigned slot = 0; slot < 16; ++slot) {
            const auto id = static_cast<std::uint16_t>(block * 16 + slot);
            if (catalogueText(id, GetParam().catalogueLanguage) == nullptr) {
                EXPECT_EQ(text(id), u"") << "text " << id;
            }
        }
    }
    for (const std::uint16_t id : kIdsWithoutText) EXPECT_EQ(text(id), u"") << "text " << id;
}

TEST_P(StringTable, FitsEveryTextIntoTheTextBuffer) {
    for (std::size_t i = 0; i < kCatalogueSize; ++i) {
        // With its terminating zero.
        EXPECT_LE(text(kCatalogue[i].id).size() + 1, static_cast<std::size_t>(kTextBufferSize))
            << "text " << kCatalogue[i].id;
    }
}

TEST_P(StringTable, FormatTextsTakeTheirArguments) {
    const std::u16string notice = text(kTextIncompatibleNotice);
    EXPECT_EQ(occurrences(notice, u"%"), 1u);
    EXPECT_EQ(occurrences(notice, u"'%s'"), 1u);
    const std::u16string errorLine = text(kTextErrorCodeLine);
    EXPECT_EQ(occurrences(errorLine, u"%"), 2u);
    EXPECT_EQ(occurrences(errorLine, u"0x%08x"), 2u);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Languages, StringTable, ::testing::ValuesIn(kLanguages),
                         [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// --- Dialogs --------------------------------------------------------------------------------

struct DialogItem {
    std::uint32_t helpId = 0;
    std::uint32_t exStyle = 0;
    std::uint32_t style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::int32_t id = 0;
    std::u16string className;
    std::u16string text;
};

struct Dialog {
    bool extended = false;
    std::uint16_t version = 0;
    std::uint32_t helpId = 0;
    std::uint32_t exStyle = 0;
    std::uint32_t style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::u16string menu, className, caption;
    std::uint16_t pointSize = 0, weight = 0;
    std::uint8_t italic = 0, charset = 0;
    std::u16string font;
    std::vector<DialogItem> items;
    bool ok = false;
};

// The predefined classes that a template names by number.
std::u16string className(const std::u16string& field) {
    const std::map<std::u16string, std::u16string> predefined = {
        {u"#128", u"button"},  {u"#129", u"edit"},      {u"#130", u"static"},
        {u"#131", u"listbox"}, {u"#132", u"scrollbar"}, {u"#133", u"combobox"}};
    const auto found = predefined.find(field);
    if (found != predefined.end()) return found->second;
    std::u16string lower = field;
    for (char16_t& c : lower) c = (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
    return lower;
}

DialogItem readItem(Reader& in, bool extended) {
    DialogItem item;
    in.alignToDword();
    if (extended) {
        item.helpId = in.dword();
        item.exStyle = in.dword();
        item.style = in.dword();
    } else {
        item.style = in.dword();
        item.exStyle = in.dword();
    }
    item.x = in.signedWord();
    item.y = in.signedWord();
    item.cx = in.signedWord();
    item.cy = in.signedWord();
    item.id = extended ? static_cast<std::int32_t>(in.dword()) : in.signedWord();
    item.className = className(in.nameOrNumber());
    item.text = in.nameOrNumber();
    in.at += in.word();  // creation data, none expected
    return item;
}

Dialog readDialog(std::uint16_t id, WORD language) {
    Reader in{resource(RT_DIALOG, id, language)};
    Dialog dialog;
    if (in.bytes.data == nullptr) return dialog;
    std::uint16_t count = 0;
    dialog.extended = in.bytes.size >= 4 && in.bytes.data[2] == 0xFF && in.bytes.data[3] == 0xFF;
    if (dialog.extended) {
        dialog.version = in.word();
        in.word();  // signature
        dialog.helpId = in.dword();
        dialog.exStyle = in.dword();
        dialog.style = in.dword();
    } else {
        dialog.style = in.dword();
        dialog.exStyle = in.dword();
    }
    count = in.word();
    dialog.x = in.signedWord();
    dialog.y = in.signedWord();
    dialog.cx = in.signedWord();
    dialog.cy = in.signedWord();
    dialog.menu = in.nameOrNumber();
    dialog.className = in.nameOrNumber();
    dialog.caption = in.string();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = in.word();
        if (dialog.extended) {
            dialog.weight = in.word();
            dialog.italic = in.byte();
            dialog.charset = in.byte();
        }
        dialog.font = in.string();
    }
    for (std::uint16_t i = 0; i < count; ++i) dialog.items.push_back(readItem(in, dialog.extended));
    dialog.ok = in.ok;
    return dialog;
}

struct ControlLayout {
    std::int32_t id;
    const char16_t* className;
    std::uint32_t style;
    std::int16_t x, y, cx, cy;
    std::uint32_t exStyle;
    const char16_t* german;
    const char16_t* english;
};

constexpr std::uint32_t kLabel = 0x50020000;
constexpr std::uint32_t kAlignRight = WS_EX_RIGHT;

// Dialog 110's controls in template order, which is also the tab order.
const ControlLayout kMainDialogControls[] = {
    {kCloseButton, u"button", 0x50030001, 157, 199, 50, 14, 0, u"Beenden", u"Close"},
    {kUpdateButton, u"button", 0x58010000, 61, 199, 50, 14, 0, u"Update", u"Update"},
    {kRow1Caption, u"static", kLabel, 22, 24, 60, 8, 0, u"Firmware 1:", u"Firmware 1:"},
    {kRow2Caption, u"static", kLabel, 22, 37, 60, 8, 0, u"Firmware 2:", u"Firmware 2:"},
    {kRow1Version, u"static", kLabel, 90, 24, 50, 8, kAlignRight, u"0.00.00", u"0.00.00"},
    {kRow2Version, u"static", kLabel, 90, 37, 50, 8, kAlignRight, u"0.00.00", u"0.00.00"},
    {kHintBox, u"edit", 0x50A00844, 15, 89, 271, 101, 0, u"", u""},
    {-1, u"static", kLabel, 15, 79, 49, 8, 0, u"Hinweisfenster:", u"Hint:"},
    {kVersionGroupBox, u"button", 0x50020007, 15, 10, 135, 57, 0,
     u"Installierte Firmware Versionen", u"Installed firmware version"},
    {kRow3Caption, u"static", kLabel, 22, 50, 60, 8, 0, u"Firmware 3:", u"Firmware 3:"},
    {kRow3Version, u"static", kLabel, 90, 50, 50, 8, kAlignRight, u"0.00.00", u"0.00.00"},
};

class MainDialog : public ::testing::TestWithParam<LanguageCase> {
protected:
    void SetUp() override {
        ASSERT_NE(programResources(), nullptr) << UPDATER_PROGRAM_FILE;
        dialog = readDialog(kMainDialogId, GetParam().language);
        ASSERT_TRUE(dialog.ok) << "dialog 110 missing or cut short";
    }
    bool german() const { return GetParam().catalogueLanguage == Language::german; }
    Dialog dialog;
};

TEST_P(MainDialog, IsAnExtendedTemplateWithItsFrameAndFont) {
    EXPECT_TRUE(dialog.extended);
    EXPECT_EQ(dialog.version, 1);
    EXPECT_EQ(dialog.helpId, 0u);
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.style, 0x80C808C8u);
    EXPECT_EQ(std::make_tuple(dialog.x, dialog.y, dialog.cx, dialog.cy),
              std::make_tuple(0, 0, 300, 228));
    EXPECT_EQ(dialog.menu, u"");
    EXPECT_EQ(dialog.className, u"");
    EXPECT_EQ(dialog.caption,
              german() ? u"BELMARODA Firmware Updater" : u"BELMARODA firmware updater");
    EXPECT_EQ(dialog.font, u"MS Shell Dlg");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.weight, 0);
    EXPECT_EQ(dialog.italic, 0);
    EXPECT_EQ(dialog.charset, 1);
}

TEST_P(MainDialog, HoldsItsControlsInTemplateOrder) {
    ASSERT_EQ(dialog.items.size(), std::size(kMainDialogControls));
    for (std::size_t i = 0; i < dialog.items.size(); ++i) {
        const DialogItem& item = dialog.items[i];
        const ControlLayout& expected = kMainDialogControls[i];
        SCOPED_TRACE("control " + std::to_string(i) + ", ID " + std::to_string(expected.id));
        EXPECT_EQ(item.id, expected.id);
        EXPECT_EQ(item.className, expected.className);
        EXPECT_EQ(item.style, expected.style);
        EXPECT_EQ(item.exStyle, expected.exStyle);
        EXPECT_EQ(std::make_tuple(item.x, item.y, item.cx, item.cy),
                  std::make_tuple(expected.x, expected.y, expected.cx, expected.cy));
        EXPECT_EQ(item.text, german() ? expected.german : expected.english);
        EXPECT_EQ(item.helpId, 0u);
    }
}

TEST_P(MainDialog, MakesOnlyTheTwoButtonsTabStops) {
    std::vector<std::int32_t> tabStops;
    for (const DialogItem& item : dialog.items) {
        if (item.style & WS_TABSTOP) tabStops.push_back(item.id);
    }
    EXPECT_EQ(tabStops, (std::vector<std::int32_t>{kCloseButton, kUpdateButton}));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Languages, MainDialog, ::testing::ValuesIn(kLanguages),
                         [](const auto& info) { return std::string(info.param.name); });
// clang-format on

class ProgressDialog : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(ProgressDialog, IsAPlainTemplateWithOneProgressBar) {
    ASSERT_NE(programResources(), nullptr) << UPDATER_PROGRAM_FILE;
    const Dialog dialog = readDialog(kProgressDialogId, GetParam().language);
    ASSERT_TRUE(dialog.ok) << "dialog 113 missing or cut short";
    EXPECT_FALSE(dialog.extended);
    EXPECT_EQ(dialog.style, 0x50C008CCu);
    EXPECT_EQ(std::make_tuple(dialog.cx, dialog.cy), std::make_tuple(289, 22));
    EXPECT_EQ(dialog.caption, GetParam().catalogueLanguage == Language::german
                                  ? u"Update Fortschritt"
                                  : u"Update progress");
    EXPECT_EQ(dialog.font, u"Ms Shell Dlg 2");
    EXPECT_EQ(dialog.pointSize, 8);
    ASSERT_EQ(dialog.items.size(), 1u);
    const DialogItem& bar = dialog.items[0];
    EXPECT_EQ(bar.id, 1002);
    EXPECT_EQ(bar.className, u"msctls_progress32");
    EXPECT_EQ(bar.style, static_cast<std::uint32_t>(WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(std::make_tuple(bar.x, bar.y, bar.cx, bar.cy), std::make_tuple(-1, 0, 290, 22));
    EXPECT_EQ(bar.text, u"");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Languages, ProgressDialog, ::testing::ValuesIn(kLanguages),
                         [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// --- Logo and icons -------------------------------------------------------------------------

constexpr int kLogoWidth = 1772;
constexpr int kLogoHeight = 263;
constexpr std::size_t kLogoRowBytes = 5316;

class Images : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(programResources(), nullptr) << UPDATER_PROGRAM_FILE; }
};

TEST_F(Images, LogoIsAnUncompressedBottomUp24BitBitmap) {
    Reader logo{resource(RT_BITMAP, kLogoBitmapId, kGerman)};
    ASSERT_NE(logo.bytes.data, nullptr);
    ASSERT_EQ(logo.bytes.size, 40u + kLogoRowBytes * kLogoHeight);
    EXPECT_EQ(logo.dword(), 40u);  // information header only
    EXPECT_EQ(static_cast<int>(logo.dword()), kLogoWidth);
    EXPECT_EQ(static_cast<int>(logo.dword()), kLogoHeight);  // positive: bottom-up
    EXPECT_EQ(logo.word(), 1);                               // planes
    EXPECT_EQ(logo.word(), 24);                              // bits per pixel
    EXPECT_EQ(logo.dword(), static_cast<std::uint32_t>(BI_RGB));
    logo.dword();                 // image size, may be given or 0
    EXPECT_EQ(logo.dword(), 0u);  // horizontal resolution
    EXPECT_EQ(logo.dword(), 0u);  // vertical resolution
    EXPECT_EQ(logo.dword(), 0u);  // colours used: no colour table
    EXPECT_EQ(logo.dword(), 0u);  // important colours
}

TEST_F(Images, LogoHasAGreenKeyBackgroundWithoutAGreenFringe) {
    const Bytes logo = resource(RT_BITMAP, kLogoBitmapId, kGerman);
    ASSERT_EQ(logo.size, 40u + kLogoRowBytes * kLogoHeight);
    std::size_t keyPixels = 0;
    std::size_t greenTinted = 0;  // pixels that would show as a green edge around the shapes
    for (int row = 0; row < kLogoHeight; ++row) {
        const std::uint8_t* pixel = logo.data + 40 + row * kLogoRowBytes;
        for (int column = 0; column < kLogoWidth; ++column, pixel += 3) {
            const int blue = pixel[0], green = pixel[1], red = pixel[2];
            if (red == 0 && green == 255 && blue == 0) {
                ++keyPixels;
            } else if (green > std::max(red, blue) + 24) {
                ++greenTinted;
            }
        }
    }
    const double keyShare = double(keyPixels) / (kLogoWidth * kLogoHeight);
    EXPECT_GT(keyShare, 0.35);
    EXPECT_LT(keyShare, 0.47);
    EXPECT_EQ(greenTinted, 0u);
}

TEST_F(Images, LogoAndIconsExistOnceWhateverTheLanguage) {
    EXPECT_EQ(resource(RT_BITMAP, kLogoBitmapId, kEnglish).data, nullptr);
    EXPECT_EQ(resource(RT_GROUP_ICON, kIconGroupId, kEnglish).data, nullptr);
    EXPECT_NE(FindResourceW(programResources(), MAKEINTRESOURCEW(kLogoBitmapId), RT_BITMAP),
              nullptr);
    EXPECT_NE(FindResourceW(programResources(), MAKEINTRESOURCEW(kIconGroupId), RT_GROUP_ICON),
              nullptr);
}

struct IconLayout {
    std::uint8_t side;
    std::uint32_t bytes;
    std::uint16_t id;
};

const IconLayout kIcons[] = {
    {16, 1128, 1}, {32, 4264, 2}, {48, 9640, 3}, {64, 16936, 4}, {128, 67624, 5}};

// Checks one icon image: header, and a mask that marks exactly the fully transparent pixels.
void expectIconImage(const IconLayout& expected) {
    SCOPED_TRACE("icon " + std::to_string(expected.id));
    Reader image{resource(RT_ICON, expected.id, kGerman)};
    ASSERT_NE(image.bytes.data, nullptr);
    ASSERT_EQ(image.bytes.size, expected.bytes);
    EXPECT_EQ(image.dword(), 40u);
    EXPECT_EQ(image.dword(), expected.side);
    EXPECT_EQ(image.dword(), 2u * expected.side);  // colour and mask
    EXPECT_EQ(image.word(), 1);
    EXPECT_EQ(image.word(), 32);
    EXPECT_EQ(image.dword(), static_cast<std::uint32_t>(BI_RGB));

    const std::size_t side = expected.side;
    const std::uint8_t* colour = image.bytes.data + 40;
    const std::uint8_t* mask = colour + side * side * 4;
    const std::size_t maskRow = (side + 31) / 32 * 4;
    std::set<int> alphas;
    std::size_t maskMismatches = 0;
    for (std::size_t y = 0; y < side; ++y) {
        for (std::size_t x = 0; x < side; ++x) {
            const int alpha = colour[(y * side + x) * 4 + 3];
            const bool masked = (mask[y * maskRow + x / 8] & (0x80 >> (x % 8))) != 0;
            alphas.insert(alpha);
            if (masked != (alpha == 0)) ++maskMismatches;
        }
    }
    // Opaque inside, see-through at the rounded corners: a real alpha channel, not all zeros.
    EXPECT_TRUE(alphas.count(255) && *alphas.begin() < 255) << "no real alpha channel";
    EXPECT_EQ(maskMismatches, 0u);
}

TEST_F(Images, IconGroupHoldsFiveSquare32BitImages) {
    Reader group{resource(RT_GROUP_ICON, kIconGroupId, kGerman)};
    ASSERT_NE(group.bytes.data, nullptr);
    EXPECT_EQ(group.word(), 0);  // reserved
    EXPECT_EQ(group.word(), 1);  // icons, not cursors
    ASSERT_EQ(group.word(), std::size(kIcons));
    for (const IconLayout& expected : kIcons) {
        SCOPED_TRACE("entry for icon " + std::to_string(expected.id));
        EXPECT_EQ(group.byte(), expected.side % 256);  // width
        EXPECT_EQ(group.byte(), expected.side % 256);  // height
        EXPECT_EQ(group.byte(), 0);                    // no palette
        group.byte();
        EXPECT_EQ(group.word(), 1);   // planes
        EXPECT_EQ(group.word(), 32);  // bits per pixel
        EXPECT_EQ(group.dword(), expected.bytes);
        EXPECT_EQ(group.word(), expected.id);
    }
    EXPECT_TRUE(group.ok);
    for (const IconLayout& expected : kIcons) expectIconImage(expected);
}

// --- Manifest and inventory -----------------------------------------------------------------

TEST(Manifest, AsksOnlyForTheInvokersRights) {
    ASSERT_NE(programResources(), nullptr) << UPDATER_PROGRAM_FILE;
    const Bytes manifest = resource(RT_MANIFEST, 1, kEnglishUs);
    ASSERT_NE(manifest.data, nullptr);
    const std::string text(reinterpret_cast<const char*>(manifest.data), manifest.size);
    EXPECT_NE(text.find("<trustInfo"), std::string::npos);
    EXPECT_NE(text.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
              std::string::npos);
    for (const char* absent : {"dependency", "Common-Controls", "dpiAware", "dpiAwareness",
                               "compatibility", "supportedOS"}) {
        EXPECT_EQ(text.find(absent), std::string::npos) << absent;
    }
}

using Inventory = std::set<std::tuple<std::uintptr_t, std::uintptr_t, WORD>>;

BOOL CALLBACK addLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR inventory) {
    // Every resource of this program is numbered; a named one shows as number 0x10000.
    const auto number = [](LPCWSTR id) {
        return IS_INTRESOURCE(id) ? reinterpret_cast<std::uintptr_t>(id) : std::uintptr_t{0x10000};
    };
    reinterpret_cast<Inventory*>(inventory)->insert({number(type), number(name), language});
    return TRUE;
}

BOOL CALLBACK addName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR inventory) {
    return EnumResourceLanguagesW(module, type, name, addLanguage, inventory);
}

BOOL CALLBACK addType(HMODULE module, LPWSTR type, LONG_PTR inventory) {
    return EnumResourceNamesW(module, type, addName, inventory);
}

// Resource type numbers as the inventory holds them.
std::uintptr_t typeNumber(LPCWSTR type) { return reinterpret_cast<std::uintptr_t>(type); }

TEST(Inventory, HoldsNothingButTheseResources) {
    ASSERT_NE(programResources(), nullptr) << UPDATER_PROGRAM_FILE;
    Inventory found;
    EnumResourceTypesW(programResources(), addType, reinterpret_cast<LONG_PTR>(&found));
    // The firmware images are raw data of their own, checked where they are made.
    for (auto it = found.begin(); it != found.end();) {
        it = std::get<0>(*it) == typeNumber(RT_RCDATA) ? found.erase(it) : std::next(it);
    }

    Inventory expected;
    for (const WORD language : {kGerman, kEnglish}) {
        for (std::size_t i = 0; i < kCatalogueSize; ++i) {
            expected.insert({typeNumber(RT_STRING), kCatalogue[i].id / 16u + 1, language});
        }
        expected.insert({typeNumber(RT_DIALOG), kMainDialogId, language});
        expected.insert({typeNumber(RT_DIALOG), kProgressDialogId, language});
    }
    expected.insert({typeNumber(RT_BITMAP), kLogoBitmapId, kGerman});
    expected.insert({typeNumber(RT_GROUP_ICON), kIconGroupId, kGerman});
    for (const IconLayout& icon : kIcons) expected.insert({typeNumber(RT_ICON), icon.id, kGerman});
    expected.insert({typeNumber(RT_MANIFEST), 1, kEnglishUs});
    expected.insert({typeNumber(RT_VERSION), 1, kNeutral});

    EXPECT_EQ(found, expected);
}

}  // namespace
