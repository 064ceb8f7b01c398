// varnel-decode as a person runs it: the bitmap file it writes, its errors and its --info, file
// names in Japanese included. Runs on Linux and, with varnel-decode.exe, under Wine.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifndef VARNEL_DECODE_PATH
#error "VARNEL_DECODE_PATH names the tool under test"
#endif
#ifndef SAMPLE_JPEG_PATH
#error "SAMPLE_JPEG_PATH names a 13 x 7 4:2:0 JPEG file with a comment and restart interval 1"
#endif

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;
};

// Paths in UTF-8 whatever the platform's narrow code page.
fs::path Utf8Path(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

#ifdef _WIN32
std::wstring Wide(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
    wide.pop_back();
    return wide;
}

// A Unix path of the build as Wine's drive Z: shows it.
fs::path FromBuild(const char* unix_path) {
    std::string path = std::string("Z:") + unix_path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return Utf8Path(path);
}

// The tool beside this program.
std::string ToolPath() {
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    return Utf8(fs::path(program).parent_path() / "varnel-decode.exe");
}
#else
fs::path FromBuild(const char* path) {
    return fs::path(path);
}

std::string ToolPath() {
    return VARNEL_DECODE_PATH;
}
#endif

// Runs the tool with the arguments (UTF-8), its stdout and stderr together.
ToolRun Tool(const std::string& arguments) {
    ToolRun run;
    const std::string command = "\"" + ToolPath() + "\" " + arguments + " 2>&1";
#ifdef _WIN32
    // The command processor takes the outer quotes off; UTF-16 carries any file name.
    FILE* pipe = _wpopen(Wide("\"" + command + "\"").c_str(), L"rb");
#else
    FILE* pipe = popen(command.c_str(), "r");
#endif
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        for (size_t i = 0; i < got; ++i)
            if (buffer[i] != '\r') run.out.push_back(buffer[i]);
    }
#ifdef _WIN32
    run.status = _pclose(pipe);
#else
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return run;
}

std::string Quoted(const fs::path& path) {
    return "\"" + Utf8(path) + "\"";
}

fs::path Dir() {
    static const fs::path dir = [] {
#ifdef _WIN32
        const std::string name = "varnel-decode-" + std::to_string(GetCurrentProcessId());
#else
        const std::string name = "varnel-decode-" + std::to_string(getpid());
#endif
        const fs::path path = fs::temp_directory_path() / name;
        fs::create_directories(path);
        return path;
    }();
    return dir;
}

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le32(const std::string& bytes, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

// A 13 x 7 picture in 4:2:0 with a comment and a restart interval, made by cjpeg at build time.
fs::path SampleJpeg() {
    return FromBuild(SAMPLE_JPEG_PATH);
}

TEST(VarnelDecode, WritesHeadersAndBitsAsLoadJpegReturnsThem) {
    ASSERT_FALSE(SampleJpeg().empty());
    const fs::path bmp = Dir() / "out.bmp";
    const ToolRun run = Tool(Quoted(SampleJpeg()) + " " + Quoted(bmp));
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string bytes = Bytes(bmp);
    const size_t stride = 40;  // 13 pixels x 3 bytes, rounded up to 4
    ASSERT_EQ(bytes.size(), 14 + 40 + stride * 7);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(Le32(bytes, 2), bytes.size());
    EXPECT_EQ(Le32(bytes, 10), 54u);
    EXPECT_EQ(Le32(bytes, 14), 40u);  // biSize
    EXPECT_EQ(Le32(bytes, 18), 13u);  // biWidth
    EXPECT_EQ(Le32(bytes, 22), 7u);   // biHeight, bottom-up
    EXPECT_EQ(bytes[28], 24);         // biBitCount
    for (size_t row = 0; row < 7; ++row) {
        EXPECT_EQ(bytes[54 + row * stride + 39], 0) << "padding of row " << row;
    }
}

TEST(VarnelDecode, FailureNamesTheFileAndWritesNothing) {
    const fs::path bmp = Dir() / "never.bmp";
    const fs::path not_jpeg = Dir() / "text.jpg";
    std::ofstream(not_jpeg) << "not a picture";
    for (const fs::path& input : {Dir() / "missing.jpg", not_jpeg}) {
        const ToolRun run = Tool(Quoted(input) + " " + Quoted(bmp));
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.out.find(Utf8(input)), std::string::npos) << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
        EXPECT_FALSE(fs::exists(bmp));
    }
}

TEST(VarnelDecode, JapaneseFileNamesWork) {
    const fs::path jpeg = Dir() / Utf8Path("写真 テスト.jpg");
    fs::copy_file(SampleJpeg(), jpeg, fs::copy_options::overwrite_existing);
    const fs::path bmp = Dir() / Utf8Path("出力.bmp");
    const ToolRun run = Tool(Quoted(jpeg) + " " + Quoted(bmp));
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, Utf8(jpeg) + ": 13 x 7 -> " + Utf8(bmp) + "\n");
    EXPECT_EQ(Bytes(bmp).size(), 14u + 40 + 40 * 7);

    const ToolRun info = Tool("--info " + Quoted(jpeg));
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("file: " + Utf8(jpeg)), std::string::npos) << info.out;

    const fs::path missing = Dir() / Utf8Path("無い.jpg");
    const ToolRun failed = Tool(Quoted(missing) + " " + Quoted(bmp));
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.out.find(Utf8(missing)), std::string::npos) << failed.out;
}

TEST(VarnelDecode, InfoReportsTheHeaderParse) {
    ASSERT_FALSE(SampleJpeg().empty());
    const ToolRun run = Tool("--info " + Quoted(SampleJpeg()));
    ASSERT_EQ(run.status, 0) << run.out;
    for (const char* expected :
         {"size: 13 x 7", "precision: 8 bits", "components: 3", "sampling 2 x 2",
          "restart interval: 1", "JFIF: version 1.01", "comment: \"hello varnel\"",
          "segments seen: DHT DQT JFIF APP0 COM SOS", "decodable: yes"}) {
        EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
    }
}

TEST(VarnelDecode, HelpAndBadUsage) {
    const ToolRun help = Tool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: varnel-decode IN.jpg OUT.bmp"), std::string::npos);
    EXPECT_EQ(Tool("").status, 2);
    EXPECT_EQ(Tool("--bogus a b").status, 2);
}

}  // namespace
