// varnel-decode as a person runs it: the bitmap, PNG and PPM files it writes, its errors (the
// reason for every file the decode gate refuses) and its --info, file names in Japanese
// included. Runs on Linux and, with varnel-decode.exe, under Wine.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#ifndef _WIN32
#include <png.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "target_program.h"
#include "temp_folder.h"
#include "gate_streams.h"

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

// Runs the tool with the arguments (UTF-8), its stdout and stderr together, or its stdout alone.
ToolRun Tool(const std::string& arguments, bool with_stderr = true) {
    ToolRun run;
#ifdef _WIN32
    const char* const discard = " 2>NUL";
#else
    const char* const discard = " 2>/dev/null";
#endif
#ifdef _WIN32
    const std::string program = "\"" + ToolPath() + "\"";
#else
    const std::string program = testsupport::TargetCommand(ToolPath());
#endif
    const std::string command = program + " " + arguments + (with_stderr ? " 2>&1" : discard);
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
            if (buffer[i] != '\r' || !with_stderr) run.out.push_back(buffer[i]);
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
    static const fs::path dir =
        testsupport::MakeTempFolderUntilExit(fs::temp_directory_path(), "varnel-decode");
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
    EXPECT_NE(help.out.find("Usage: varnel-decode [--format bmp|png|ppm] IN.jpg OUT"),
              std::string::npos);
    EXPECT_EQ(Tool("").status, 2);
    EXPECT_EQ(Tool("--bogus a b").status, 2);
}

TEST(VarnelDecode, VersionIsTheLibrarysVersionResource) {
    const ToolRun run = Tool("--version");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("varnel 1.0.1.0 (", 0), 0u) << run.out;
}

// An output name without a known extension, or an unknown --format, is refused in one line
// before anything is decoded or written.
TEST(VarnelDecode, UnknownFormatsAreUsageErrors) {
    struct Row {
        const char* options;
        const char* file;
        const char* words;
    };
    for (const Row& row : {Row{"", "out.gif", "name it .bmp, .png or .ppm"},
                           Row{"", "out", "name it .bmp, .png or .ppm"},
                           Row{"--format tiff", "out.bmp", "unknown format 'tiff'"}}) {
        const fs::path output = Dir() / row.file;
        const ToolRun run =
            Tool(std::string(row.options) + " " + Quoted(SampleJpeg()) + " " + Quoted(output));
        EXPECT_EQ(run.status, 2) << row.file;
        EXPECT_NE(run.out.find(row.words), std::string::npos) << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
        EXPECT_FALSE(fs::exists(output));
    }
}

// --- What the decode gate refuses, and why ---

struct RefusalRow {
    std::string name;
    std::function<fs::path()> file;
    std::string words;  // part of the line on stderr
};

void PrintTo(const RefusalRow& row, std::ostream* out) {
    *out << row.name;
}

std::vector<RefusalRow> RefusalRows() {
    std::vector<RefusalRow> rows = {
        {"ProgressiveByCjpeg", [] { return FromBuild(PROGRESSIVE_JPEG_PATH); },
         "progressive JPEG (SOF2): re-encode it as a baseline JPEG"},
        {"ArithmeticByCjpeg", [] { return FromBuild(ARITHMETIC_JPEG_PATH); },
         "arithmetic-coded JPEG (SOF9): re-encode it as a baseline JPEG"},
    };
    for (const stagetest::GateCase& row : stagetest::GateCases()) {
        if (row.reason == varnel::Refusal::kNone) continue;
        const stagetest::StreamSpec spec = row.spec;
        const std::string name = row.name;
        rows.push_back({name,
                        [spec, name] {
                            const fs::path path = Dir() / (name + ".jpg");
                            const stagetest::Bytes bytes = stagetest::BuildStream(spec);
                            std::ofstream(path, std::ios::binary)
                                .write(reinterpret_cast<const char*>(bytes.data()),
                                       static_cast<std::streamsize>(bytes.size()));
                            return path;
                        },
                        row.words});
    }
    return rows;
}

class VarnelDecodeRefusal : public testing::TestWithParam<RefusalRow> {};

TEST_P(VarnelDecodeRefusal, OneLineSaysWhyAndNoFileIsLeft) {
    const fs::path input = GetParam().file();
    const fs::path output = Dir() / (GetParam().name + ".png");
    const ToolRun run = Tool(Quoted(input) + " " + Quoted(output));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind("varnel-decode: cannot decode '" + Utf8(input) + "': ", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find(GetParam().words), std::string::npos) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(fs::exists(Utf8Path(Utf8(output) + ".partial")));

    const ToolRun info = Tool("--info " + Quoted(input));
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("decodable: no: "), std::string::npos) << info.out;
    EXPECT_NE(info.out.find(GetParam().words), std::string::npos) << info.out;
}

INSTANTIATE_TEST_SUITE_P(Reasons, VarnelDecodeRefusal, testing::ValuesIn(RefusalRows()),
                         [](const testing::TestParamInfo<RefusalRow>& row) {
                             return row.param.name;
                         });

// --- Output formats ---

// Pixels as 0x00RRGGBB, top row first.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> values;
};

Pixels FromBmp(const std::string& bytes) {
    Pixels pixels;
    pixels.width = static_cast<int>(Le32(bytes, 18));
    pixels.height = static_cast<int>(Le32(bytes, 22));
    const size_t stride = (static_cast<size_t>(pixels.width) * 3 + 3) & ~size_t{3};
    for (int y = 0; y < pixels.height; ++y) {
        const size_t row = 54 + static_cast<size_t>(pixels.height - 1 - y) * stride;
        for (int x = 0; x < pixels.width; ++x) {
            const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + row + x * 3);
            pixels.values.push_back(uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
        }
    }
    return pixels;
}

// A binary PPM with maxval 255 and single spaces or newlines between its header fields.
Pixels FromPpm(const std::string& bytes) {
    Pixels pixels;
    std::istringstream header(bytes);
    std::string magic;
    int maxval = 0;
    header >> magic >> pixels.width >> pixels.height >> maxval;
    if (magic != "P6" || maxval != 255) return Pixels{};
    const size_t start = static_cast<size_t>(header.tellg()) + 1;
    const size_t count = static_cast<size_t>(pixels.width) * static_cast<size_t>(pixels.height);
    if (bytes.size() != start + count * 3) return Pixels{};
    for (size_t i = 0; i < count; ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + start + i * 3);
        pixels.values.push_back(uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
    }
    return pixels;
}

bool operator==(const Pixels& a, const Pixels& b) {
    return a.width == b.width && a.height == b.height && a.values == b.values;
}

TEST(VarnelDecode, PpmHoldsTheBitmapsPixels) {
    const ToolRun bmp = Tool(Quoted(SampleJpeg()) + " " + Quoted(Dir() / "pixels.bmp"));
    const ToolRun ppm = Tool(Quoted(SampleJpeg()) + " " + Quoted(Dir() / "pixels.PPM"));
    ASSERT_EQ(bmp.status, 0) << bmp.out;
    ASSERT_EQ(ppm.status, 0) << ppm.out;
    const Pixels expected = FromBmp(Bytes(Dir() / "pixels.bmp"));
    ASSERT_EQ(expected.values.size(), 13u * 7);
    EXPECT_TRUE(FromPpm(Bytes(Dir() / "pixels.PPM")) == expected);
}

#ifndef _WIN32
TEST(VarnelDecode, PngHoldsTheBitmapsPixels) {
    ASSERT_EQ(Tool(Quoted(SampleJpeg()) + " " + Quoted(Dir() / "pixels.bmp")).status, 0);
    ASSERT_EQ(Tool(Quoted(SampleJpeg()) + " " + Quoted(Dir() / "pixels.png")).status, 0);
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (Dir() / "pixels.png").c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    Pixels png;
    png.width = static_cast<int>(image.width);
    png.height = static_cast<int>(image.height);
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        png.values.push_back(uint32_t{rgb[i]} << 16 | uint32_t{rgb[i + 1]} << 8 | rgb[i + 2]);
    EXPECT_TRUE(png == FromBmp(Bytes(Dir() / "pixels.bmp")));
}
#endif

// "-" writes to standard output what the file would hold: a bitmap by default, and whatever
// --format says, which also wins over the output name's extension.
TEST(VarnelDecode, DashWritesTheFileToStandardOutput) {
    struct Row {
        const char* options;
        const char* file;
    };
    for (const Row& row : {Row{"", "stdout.bmp"}, Row{"--format png", "stdout.png"},
                           Row{"--format ppm", "stdout.ppm"}, Row{"--format ppm", "ppm.bmp"}}) {
        const fs::path file = Dir() / row.file;
        const std::string options = row.options;
        ASSERT_EQ(Tool(options + " " + Quoted(SampleJpeg()) + " " + Quoted(file)).status, 0);
        const ToolRun piped = Tool(options + " " + Quoted(SampleJpeg()) + " -", false);
        EXPECT_EQ(piped.status, 0);
        EXPECT_EQ(piped.out, Bytes(file)) << row.options;
        EXPECT_FALSE(piped.out.empty());
    }
    EXPECT_EQ(Bytes(Dir() / "ppm.bmp").substr(0, 2), "P6");
}

}  // namespace
