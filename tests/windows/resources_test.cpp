// The resources of the Windows DLLs, read as Windows reads them: the version resources of
// varnel.dll and lumetta.dll (block "041104b0", fixed and string versions, names) and
// lumetta.dll's dialog template 500 (style, font, and every control's id, class, place, style
// and text).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct VersionExpectation {
    const wchar_t* dll;
    WORD parts[4];
    const wchar_t* version_text;
    const wchar_t* name;
};

std::wstring ModuleDirectoryFile(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring file(path, length);
    file.erase(file.find_last_of(L"\\/") + 1);
    return file + name;
}

std::string Narrow(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

std::wstring QueryString(const std::vector<uint8_t>& info, const wchar_t* key) {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\041104b0\\") + key;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), query.c_str(), &value, &length) || value == nullptr) {
        return L"<missing>";
    }
    return std::wstring(static_cast<const wchar_t*>(value));
}

void PrintTo(const VersionExpectation& expected, std::ostream* out) {
    *out << Narrow(expected.dll);
}

class VersionResourceTest : public ::testing::TestWithParam<VersionExpectation> {};

TEST_P(VersionResourceTest, JapaneseUnicodeBlockWithTheVersions) {
    const VersionExpectation& expected = GetParam();
    const std::wstring path = ModuleDirectoryFile(expected.dll);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u) << Narrow(path) << " has no version resource";
    std::vector<uint8_t> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size));
    ASSERT_EQ(fixed_size, sizeof(VS_FIXEDFILEINFO));
    const DWORD ms = MAKELONG(expected.parts[1], expected.parts[0]);
    const DWORD ls = MAKELONG(expected.parts[3], expected.parts[2]);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, ms);
    EXPECT_EQ(fixed->dwFileVersionLS, ls);
    EXPECT_EQ(fixed->dwProductVersionMS, ms);
    EXPECT_EQ(fixed->dwProductVersionLS, ls);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    WORD* translation = nullptr;
    UINT translation_size = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &translation_size));
    ASSERT_GE(translation_size, 4u);
    EXPECT_EQ(translation[0], 0x0411);  // Japanese
    EXPECT_EQ(translation[1], 1200);    // UTF-16

    EXPECT_EQ(Narrow(QueryString(info, L"FileVersion")), Narrow(expected.version_text));
    EXPECT_EQ(Narrow(QueryString(info, L"ProductVersion")), Narrow(expected.version_text));
    for (const wchar_t* key : {L"FileDescription", L"InternalName", L"ProductName"}) {
        EXPECT_EQ(Narrow(QueryString(info, key)), Narrow(expected.name)) << Narrow(key);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Dlls, VersionResourceTest,
    ::testing::Values(VersionExpectation{L"varnel.dll", {1, 0, 1, 0}, L"1, 0, 1, 0", L"varnel"},
                      VersionExpectation{L"lumetta.dll", {1, 0, 2, 1}, L"1, 0, 2, 1", L"Lumetta"}),
    [](const ::testing::TestParamInfo<VersionExpectation>& param_info) {
        return param_info.param.parts[2] == 1 ? std::string("varnel") : std::string("lumetta");
    });

// A reader over a DLGTEMPLATE (the DIALOG statement's binary form).
struct TemplateReader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool ok = true;

    uint16_t Word() {
        if (at + 2 > size) {
            ok = false;
            return 0;
        }
        uint16_t value;
        std::memcpy(&value, data + at, 2);
        at += 2;
        return value;
    }
    uint32_t Dword() {
        const uint32_t low = Word();
        return low | (static_cast<uint32_t>(Word()) << 16);
    }
    int16_t Short() { return static_cast<int16_t>(Word()); }
    std::wstring String() {
        std::wstring text;
        for (uint16_t unit = Word(); ok && unit != 0; unit = Word()) text.push_back(unit);
        return text;
    }
    // A name or ordinal: 0xFFFF followed by a number, or a string.
    std::wstring NameOrOrdinal() {
        const uint16_t first = Word();
        if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
        std::wstring text;
        for (uint16_t unit = first; ok && unit != 0; unit = Word()) text.push_back(unit);
        return text;
    }
    void AlignDword() { at = (at + 3) & ~size_t{3}; }
};

struct Control {
    int id;
    const wchar_t* class_name;  // the predefined class's atom as windres and rc write it
    short x, y, cx, cy;
    uint32_t style;
    const wchar_t* text;  // null: left to the maker (credits); checked only for presence
};

// Atoms of the predefined control classes in a template.
const wchar_t* ClassOfAtom(const std::wstring& name) {
    if (name == L"#128") return L"BUTTON";
    if (name == L"#129") return L"EDIT";
    if (name == L"#130") return L"STATIC";
    if (name == L"#133") return L"COMBOBOX";
    return nullptr;
}

TEST(DialogTemplateTest, Template500IsTheOptionsDialog) {
    HMODULE module = LoadLibraryExW(ModuleDirectoryFile(L"lumetta.dll").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    const struct FreeOnExit {
        HMODULE module;
        ~FreeOnExit() { FreeLibrary(module); }
    } free_on_exit{module};
    HRSRC resource = FindResourceExW(module, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(500),
                                     MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    ASSERT_NE(resource, nullptr) << "lumetta.dll has no Japanese dialog 500";
    HGLOBAL loaded = LoadResource(module, resource);
    ASSERT_NE(loaded, nullptr);
    TemplateReader in{static_cast<const uint8_t*>(LockResource(loaded)),
                      SizeofResource(module, resource)};

    EXPECT_EQ(in.Dword(), 0x90C00440u) << "dialog style";
    EXPECT_EQ(in.Dword(), 0u) << "extended style";
    const uint16_t count = in.Word();
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 15);
    EXPECT_EQ(in.Short(), 135);
    EXPECT_EQ(in.Short(), 181);
    EXPECT_EQ(Narrow(in.NameOrOrdinal()), "") << "menu";
    EXPECT_EQ(Narrow(in.NameOrOrdinal()), "") << "class";
    EXPECT_EQ(Narrow(in.String()), "設定");
    EXPECT_EQ(in.Word(), 9) << "font size";
    EXPECT_EQ(Narrow(in.String()), "ＭＳ Ｐゴシック");

    const Control expected[] = {
        {-1, L"STATIC", 8, 91, 95, 21, 0x50020080, nullptr},
        {-1, L"STATIC", 8, 115, 114, 18, 0x50020000, nullptr},
        {1000, L"BUTTON", 67, 158, 61, 14, 0x50010000, L"登録情報の削除"},
        {-1, L"STATIC", 6, 8, 34, 8, 0x50020000, L"Bmpﾌｧｲﾙ: "},
        {1001, L"EDIT", 46, 8, 82, 14, 0x50810080, L""},
        {1002, L"BUTTON", 93, 26, 36, 14, 0x50010000, L"参照..."},
        {-1, L"STATIC", 6, 45, 32, 8, 0x50020000, L"表示方法: "},
        {1003, L"COMBOBOX", 46, 45, 82, 72, 0x50210003, L""},
        {-1, L"STATIC", 6, 70, 46, 8, 0x50020000, L"ｳｲﾝﾄﾞｳの高さ: "},
        {1004, L"EDIT", 57, 70, 40, 14, 0x50812080, L""},
        {-1, L"STATIC", 8, 136, 121, 20, 0x50020000, nullptr},
    };
    ASSERT_EQ(count, std::size(expected));
    for (const Control& control : expected) {
        SCOPED_TRACE("control " + std::to_string(control.id) + " at " + std::to_string(control.x) +
                     "," + std::to_string(control.y));
        in.AlignDword();
        EXPECT_EQ(in.Dword(), control.style);
        EXPECT_EQ(in.Dword(), 0u) << "extended style";
        EXPECT_EQ(in.Short(), control.x);
        EXPECT_EQ(in.Short(), control.y);
        EXPECT_EQ(in.Short(), control.cx);
        EXPECT_EQ(in.Short(), control.cy);
        EXPECT_EQ(static_cast<int16_t>(in.Word()), control.id);
        const wchar_t* class_name = ClassOfAtom(in.NameOrOrdinal());
        EXPECT_EQ(Narrow(class_name != nullptr ? class_name : L"?"), Narrow(control.class_name));
        const std::wstring text = in.NameOrOrdinal();
        if (control.text != nullptr) {
            EXPECT_EQ(Narrow(text), Narrow(control.text));
        } else {
            EXPECT_FALSE(text.empty());
        }
        const uint16_t extra = in.Word();
        in.at += extra;
        ASSERT_TRUE(in.ok) << "template ends early";
    }
}

}  // namespace
