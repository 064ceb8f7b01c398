// today-host options as a person runs it: the message boxes it prints (UTF-8), whether the
// dialog closed, its exit status, and the settings and registration in the registry file
// afterwards, read back through the layer.
#include <windows.h>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "target_program.h"
#include "registry_fixture.h"
#include "win32/host_services.h"

namespace {

struct HostRun {
    int status;
    std::string output;
};

// The host program gets the test's database with --registry.
class HostOptionsTest : public testsupport::TempRegistryTest {
protected:
    HostOptionsTest() : TempRegistryTest(false) {}
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TempRegistryTest::SetUp());
        registry_ = registry_path_.string();
        ASSERT_EQ(Host("install").status, 0);
    }

    HostRun Host(const std::string& arguments) {
        std::string command = testsupport::TargetCommand(TODAY_HOST_PATH) + " " + arguments +
                              " --registry '" + registry_ + "' 2>&1";
        HostRun run{-1, {}};
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return run;
        char buffer[512];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) run.output.append(buffer, n);
        int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    // Reads a REG_DWORD setting from the registry file; -999 when it is missing.
    int32_t Setting(const char16_t* name) {
        Win32LayerSetRegistryPath(registry_.c_str());
        HKEY key = nullptr;
        int32_t value = -999;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta", 0, KEY_READ, &key) ==
            ERROR_SUCCESS) {
            DWORD size = 4;
            RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
            RegCloseKey(key);
        }
        Win32LayerSetRegistryPath(nullptr);
        return value;
    }

    std::string registry_;
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(HostOptionsTest, ConfirmedSettingsAreSavedAndShown) {
    HostRun run = Host(std::string("options --path '") + SAMPLE_JPEG + "' --mode tile --height 60");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Contains(run.output, "Dialog closed with result 1")) << run.output;
    EXPECT_FALSE(Contains(run.output, "Message box")) << run.output;
    EXPECT_EQ(Setting(u"Mode"), 2);
    EXPECT_EQ(Setting(u"Height"), 60);
    HostRun show = Host("show --out '" + (folder_ / "today.png").string() + "'");
    EXPECT_EQ(show.status, 0) << show.output;
    EXPECT_TRUE(Contains(show.output, "1 item")) << show.output;
}

TEST_F(HostOptionsTest, RefusedHeightsPrintTheWarningAndFail) {
    for (const char* height : {"0", "321", "''", "abc"}) {
        SCOPED_TRACE(height);
        HostRun run = Host(std::string("options --path '") + SAMPLE_JPEG + "' --height " + height);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_TRUE(Contains(run.output, "ｳｲﾝﾄﾞｳの高さは1～320の間で設定してください。"))
            << run.output;
        EXPECT_TRUE(Contains(run.output, "caption: Error (none given")) << run.output;
        EXPECT_TRUE(Contains(run.output, "type: 0x30")) << run.output;
        EXPECT_TRUE(Contains(run.output, "Dialog stayed open")) << run.output;
        EXPECT_EQ(Setting(u"Height"), -999);
    }
    // On a taller screen 321 is a height like any other.
    HostRun tall =
        Host(std::string("options --path '") + SAMPLE_JPEG + "' --height 321 --screen 240x400");
    EXPECT_EQ(tall.status, 0) << tall.output;
    EXPECT_EQ(Setting(u"Height"), 321);
}

TEST_F(HostOptionsTest, AMissingFileIsReported) {
    HostRun run = Host("options --path '" + (folder_ / "missing.bmp").string() + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.output, "ﾌｧｲﾙが存在しません。ﾌｧｲﾙ名を正しく入力してください。"))
        << run.output;
}

TEST_F(HostOptionsTest, RemovalAsksAndOnlyAConfirmedOneRemovesTheItem) {
    HostRun cancelled = Host("options --remove");
    EXPECT_EQ(cancelled.status, 1);
    EXPECT_TRUE(Contains(cancelled.output,
                         "情報を削除すると再ｲﾝｽﾄｰﾙするまで使用できなくなります。よろしいですか？"))
        << cancelled.output;
    EXPECT_TRUE(Contains(cancelled.output, "caption: 確認\n")) << cancelled.output;
    EXPECT_TRUE(Contains(cancelled.output, "type: 0x11, answered: Cancel")) << cancelled.output;
    EXPECT_TRUE(
        Contains(Host("show --out '" + (folder_ / "a.png").string() + "'").output, "1 item"));

    HostRun confirmed = Host("options --browse '" + std::string(SAMPLE_JPEG) + "' --remove --yes");
    EXPECT_EQ(confirmed.status, 0) << confirmed.output;
    EXPECT_TRUE(Contains(confirmed.output, "情報を削除しました。ｱﾝｲﾝｽﾄｰﾙを行ってください。"))
        << confirmed.output;
    EXPECT_TRUE(Contains(confirmed.output, "type: 0x40")) << confirmed.output;
    EXPECT_TRUE(Contains(confirmed.output, "Dialog closed with result 1")) << confirmed.output;
    EXPECT_EQ(Setting(u"Mode"), -999);  // the browse saved nothing
    EXPECT_TRUE(
        Contains(Host("show --out '" + (folder_ / "b.png").string() + "'").output, "0 items"));
}

// What the height field keeps of what is typed (digits only, three at most) is said when it
// differs, and is what is saved.
TEST_F(HostOptionsTest, TheHeightFieldSaysWhatItKept) {
    struct Row {
        const char* typed;
        int32_t saved;
        const char* line;  // empty: no line
    };
    for (const Row& row :
         {Row{"-50", 50, "Height field: typed \"-50\", it kept \"50\""},
          Row{"1x2", 12, "Height field: typed \"1x2\", it kept \"12\""},
          Row{"1000", 100, "Height field: typed \"1000\", it kept \"100\""}, Row{"60", 60, ""}}) {
        SCOPED_TRACE(row.typed);
        HostRun run =
            Host(std::string("options --path '") + SAMPLE_JPEG + "' --height " + row.typed);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(Setting(u"Height"), row.saved);
        EXPECT_EQ(Contains(run.output, "Height field:"), row.line[0] != 0) << run.output;
        if (row.line[0] != 0) {
            EXPECT_TRUE(Contains(run.output, row.line)) << run.output;
        }
    }
}

// `set --height` accepts exactly the heights that the options dialog accepts on the same screen.
class HeightRule : public HostOptionsTest,
                   public testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(HeightRule, SetAndTheDialogAgree) {
    const std::string height = GetParam().first;
    const std::string screen = GetParam().second;
    const HostRun set = Host("set --height " + height + " --screen " + screen);
    const HostRun dialog = Host(std::string("options --path '") + SAMPLE_JPEG + "' --height " +
                                height + " --screen " + screen);
    EXPECT_EQ(set.status == 0, dialog.status == 0) << set.output << dialog.output;
}

INSTANTIATE_TEST_SUITE_P(
    Heights, HeightRule,
    testing::Values(std::make_pair("0", "240x320"), std::make_pair("1", "240x320"),
                    std::make_pair("320", "240x320"), std::make_pair("321", "240x320"),
                    std::make_pair("321", "240x400"), std::make_pair("400", "240x400"),
                    std::make_pair("401", "240x400"), std::make_pair("999", "240x1200"),
                    std::make_pair("17", "240x16")),
    [](const testing::TestParamInfo<std::pair<const char*, const char*>>& row) {
        return std::string("Height") + row.param.first + "On" + row.param.second;
    });

#ifndef _WIN32
// On Linux nobody can reach the dialog: --help says what happens without actions.
TEST_F(HostOptionsTest, HelpSaysWhatHappensWithoutActions) {
    const HostRun help = Host("options --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(Contains(help.output, "Without actions it presses OK at once")) << help.output;
    const HostRun run = Host("options");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(Contains(run.output, "ﾌｧｲﾙが存在しません。")) << run.output;
}
#endif

TEST_F(HostOptionsTest, UsageErrors) {
    EXPECT_EQ(Host("options --yes").status, 2);
    EXPECT_EQ(Host("options --mode sideways").status, 2);
}

}  // namespace
