// varnel-decode as a person runs it: the bitmap, PNG and PPM files it writes, its errors (the
// reason for every file the decode gate refuses) and its --info, file names in Japanese
// included. Runs on Linux and, with varnel-decode.exe, under Wine.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
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

// --- The command line ---

// Replaces every "IN" in the arguments with the sample's quoted name and every "OUT" with the
// quoted name of `output` in the test's folder.
std::string Expand(const std::string& arguments, const std::string& output) {
    std::string expanded;
    for (size_t i = 0; i < arguments.size();) {
        if (arguments.compare(i, 2, "IN") == 0) {
            expanded += Quoted(SampleJpeg());
            i += 2;
        } else if (arguments.compare(i, 3, "OUT") == 0) {
            expanded += Quoted(Dir() / output);
            i += 3;
        } else {
            expanded += arguments[i++];
        }
    }
    return expanded;
}

struct CommandLineRow {
    const char* name;
    const char* arguments;  // IN and OUT as Expand replaces them
    const char* output;     // the file that OUT names
    int status;
    const char* words;  // part of the one line printed
};

void PrintTo(const CommandLineRow& row, std::ostream* out) {
    *out << row.name;
}

// Whatever is wrong with a command line is said in one line that names the problem and points
// at --help, before anything is decoded or written; a run that works prints its one line too.
const CommandLineRow kCommandLineRows[] = {
    {"NoArguments", "", "none.bmp", 2, "give the JPEG file to read and the file to write"},
    {"UnknownOption", "--bogus IN OUT", "bogus.bmp", 2, "unknown option '--bogus'"},
    {"FormatWithoutValue", "IN OUT --format", "novalue.bmp", 2, "--format needs a value"},
    {"UnknownFormat", "--format tiff IN OUT", "tiff.bmp", 2, "unknown format 'tiff'"},
    {"UnknownFormatWithEquals", "--format=tiff IN OUT", "tiff2.bmp", 2, "unknown format 'tiff'"},
    {"FormatTwice", "--format bmp --format png IN OUT", "twice.bmp", 2, "--format is given twice"},
    {"FormatWithEquals", "--format=ppm IN OUT", "equals.out", 0, "13 x 7 -> "},
    {"OnlyIn", "IN", "none.bmp", 2, "give the file to write after"},
    {"ThreeNames", "IN OUT OUT", "three.bmp", 2, "too many names"},
    {"UnknownExtension", "IN OUT", "out.gif", 2, "name it .bmp, .png or .ppm"},
    {"NoExtension", "IN OUT", "out", 2, "name it .bmp, .png or .ppm"},
    {"InfoWithoutFile", "--info", "none.bmp", 2, "--info needs the JPEG file to read"},
    {"InfoWithFormat", "--info IN --format png", "none.bmp", 2, "--format does not apply"},
};

class VarnelDecodeCommandLine : public testing::TestWithParam<CommandLineRow> {};

TEST_P(VarnelDecodeCommandLine, OneLineSaysWhat) {
    const CommandLineRow& row = GetParam();
    const std::string before = Bytes(SampleJpeg());
    const ToolRun run = Tool(Expand(row.arguments, row.output));
    EXPECT_EQ(run.status, row.status) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    EXPECT_NE(run.out.find(row.words), std::string::npos) << run.out;
    if (row.status == 2) {
        EXPECT_NE(run.out.find("see 'varnel-decode --help'"), std::string::npos) << run.out;
        EXPECT_FALSE(fs::exists(Dir() / row.output));
    } else {
        EXPECT_TRUE(fs::exists(Dir() / row.output));
    }
    EXPECT_EQ(Bytes(SampleJpeg()), before);
}

INSTANTIATE_TEST_SUITE_P(Rows, VarnelDecodeCommandLine, testing::ValuesIn(kCommandLineRows),
                         [](const testing::TestParamInfo<CommandLineRow>& row) {
                             return std::string(row.param.name);
                         });

// --- Where the picture goes ---

// A file that is there already is replaced whole, on every platform.
TEST(VarnelDecode, AnExistingFileIsReplaced) {
    const fs::path bmp = Dir() / "again.bmp";
    std::ofstream(bmp) << "an older file, longer than nothing";
    ASSERT_EQ(Tool(Quoted(SampleJpeg()) + " " + Quoted(bmp)).status, 0);
    EXPECT_EQ(Bytes(bmp).size(), 14u + 40 + 40 * 7);
    EXPECT_FALSE(fs::exists(Utf8Path(Utf8(bmp) + ".partial")));
}

#ifndef _WIN32
struct TargetRow {
    const char* name;
    // Makes OUT in the folder and returns its name; `expected` is what must end up written
    // where the row's check looks.
    fs::path (*make)(const fs::path& folder);
    // Reads back what OUT received: the bytes of the file that holds the picture now.
    std::string (*written)(const fs::path& folder, const fs::path& out);
    // Anything else that must hold afterwards; empty when all is well.
    std::string (*check)(const fs::path& folder, const fs::path& out);
};

void PrintTo(const TargetRow& row, std::ostream* out) {
    *out << row.name;
}

std::string Nothing(const fs::path&, const fs::path&) {
    return "";
}

mode_t ModeOf(const fs::path& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

const TargetRow kTargetRows[] = {
    {"NewFile", [](const fs::path& folder) { return folder / "new.bmp"; },
     [](const fs::path&, const fs::path& out) { return Bytes(out); }, Nothing},
    {"ExistingFileKeepsItsMode",
     [](const fs::path& folder) {
         std::ofstream(folder / "mode.bmp") << "old";
         fs::permissions(folder / "mode.bmp", fs::perms(0640));
         return folder / "mode.bmp";
     },
     [](const fs::path&, const fs::path& out) { return Bytes(out); },
     [](const fs::path&, const fs::path& out) -> std::string {
         return ModeOf(out) == 0640 ? "" : "mode " + std::to_string(ModeOf(out));
     }},
    {"LinkIsFollowed",
     [](const fs::path& folder) {
         fs::create_directory(folder / "real");
         std::ofstream(folder / "real" / "target.bmp") << "old";
         fs::create_symlink("real/target.bmp", folder / "link.bmp");
         return folder / "link.bmp";
     },
     [](const fs::path& folder, const fs::path&) { return Bytes(folder / "real" / "target.bmp"); },
     [](const fs::path&, const fs::path& out) -> std::string {
         return fs::is_symlink(out) ? "" : "the link was replaced";
     }},
    {"DanglingLinkCreatesItsTarget",
     [](const fs::path& folder) {
         fs::create_symlink("made.bmp", folder / "dangling.bmp");
         return folder / "dangling.bmp";
     },
     [](const fs::path& folder, const fs::path&) { return Bytes(folder / "made.bmp"); },
     [](const fs::path&, const fs::path& out) -> std::string {
         return fs::is_symlink(out) ? "" : "the link was replaced";
     }},
};

class VarnelDecodeTarget : public testing::TestWithParam<TargetRow> {};

TEST_P(VarnelDecodeTarget, ThePictureGoesWhereOutLeads) {
    const fs::path folder = Dir() / GetParam().name;
    fs::create_directory(folder);
    const fs::path out = GetParam().make(folder);
    const ToolRun run = Tool("--format bmp " + Quoted(SampleJpeg()) + " " + Quoted(out));
    ASSERT_EQ(run.status, 0) << run.out;
    const ToolRun piped = Tool(Quoted(SampleJpeg()) + " -", false);
    EXPECT_EQ(GetParam().written(folder, out), piped.out);
    EXPECT_EQ(GetParam().check(folder, out), "");
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        EXPECT_EQ(entry.path().string().find(".partial"), std::string::npos) << entry.path();
}

INSTANTIATE_TEST_SUITE_P(Rows, VarnelDecodeTarget, testing::ValuesIn(kTargetRows),
                         [](const testing::TestParamInfo<TargetRow>& row) {
                             return std::string(row.param.name);
                         });

// A FIFO is written, not replaced: the reader at its other end gets the picture. The reader
// is open before the tool runs (the picture fits the pipe's buffer), so nothing waits forever
// if the FIFO is not written.
TEST(VarnelDecode, AFifoIsWrittenInPlace) {
    const fs::path fifo = Dir() / "pipe.bmp";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const ToolRun run = Tool(Quoted(SampleJpeg()) + " " + Quoted(fifo));
    std::string received;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(reader, buffer, sizeof(buffer))) > 0)
        received.append(buffer, static_cast<size_t>(got));
    close(reader);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(received, Tool(Quoted(SampleJpeg()) + " -", false).out);
    EXPECT_TRUE(fs::is_fifo(fifo));
}

// /dev/stdout is whatever standard output is (here a pipe): written in place.
TEST(VarnelDecode, DevStdoutIsWrittenInPlace) {
    const ToolRun run = Tool("--format bmp " + Quoted(SampleJpeg()) + " /dev/stdout", false);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.substr(0, 2), "BM");
    EXPECT_EQ(run.out.substr(0, 14u + 40 + 40 * 7), Tool(Quoted(SampleJpeg()) + " -", false).out);
}

#endif

// The input itself, or under another name (another spelling, a link, a hard link), is refused
// as OUT, and the input stays as it was.
TEST(VarnelDecode, TheInputUnderAnotherNameIsRefused) {
    const fs::path input = Dir() / "self.jpg";
    fs::copy_file(SampleJpeg(), input, fs::copy_options::overwrite_existing);
    std::vector<fs::path> names = {input, Dir() / "." / "self.jpg"};
#ifndef _WIN32
    fs::create_symlink(input, Dir() / "self-link.bmp");
    fs::create_hard_link(input, Dir() / "self-hard.bmp");
    names.push_back(Dir() / "self-link.bmp");
    names.push_back(Dir() / "self-hard.bmp");
#endif
    for (const fs::path& out : names) {
        const ToolRun run = Tool("--format bmp " + Quoted(input) + " " + Quoted(out));
        EXPECT_EQ(run.status, 2) << run.out;
        EXPECT_NE(run.out.find("is the input file"), std::string::npos) << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    }
    EXPECT_EQ(Bytes(input), Bytes(SampleJpeg()));
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
    // Other kinds of file, named from their first bytes before any marker-like bytes in them.
    const struct {
        const char* name;
        std::string bytes;
        const char* words;
    } kKinds[] = {
        {"Png", std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\xFF\xD8\xFF\xC7", 20),
         "a PNG file, not a JPEG: convert it to a baseline JPEG"},
        {"Gif", "GIF89a\x01\0\x01\0\xFF\xD8\xFF\xC3", "a GIF file, not a JPEG"},
        {"Bitmap", std::string("BM\x3A\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\xFF\xD8", 20),
         "a Windows bitmap file, not a JPEG: convert it to a baseline JPEG"},
        {"Tiff", std::string("II*\0\x08\0\0\0", 8), "a TIFF file"},
        {"Webp", std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), "a WebP file"},
        {"Heic",
         std::string("\0\0\0\x18"
                     "ftypheic\0\0\0\0",
                     16),
         "a HEIF file"},
        {"Avif",
         std::string("\0\0\0\x1C"
                     "ftypavif\0\0\0\0",
                     16),
         "an AVIF file"},
        {"Pdf", "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n", "a PDF document"},
        {"Ppm", "P6\n2 1\n255\n\xFF\xD8\xFF\xC3\0\0", "a Netpbm file"},
        {"Text", "just some words\n", "a text file, not a JPEG"},
        {"Html", "<!DOCTYPE html>\n<html><body>Not found</body></html>\n", "an HTML page"},
        {"Empty", "", "an empty file (0 bytes)"},
    };
    for (const auto& kind : kKinds) {
        const std::string name = kind.name;
        const std::string bytes = kind.bytes;
        rows.push_back({name,
                        [name, bytes] {
                            const fs::path path = Dir() / (name + ".jpg");
                            std::ofstream(path, std::ios::binary) << bytes;
                            return path;
                        },
                        kind.words});
    }
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
    EXPECT_EQ(info.status, 1);
    EXPECT_NE(info.out.find("decodable: no: "), std::string::npos) << info.out;
    EXPECT_NE(info.out.find(GetParam().words), std::string::npos) << info.out;
}

INSTANTIATE_TEST_SUITE_P(Reasons, VarnelDecodeRefusal, testing::ValuesIn(RefusalRows()),
                         [](const testing::TestParamInfo<RefusalRow>& row) {
                             return row.param.name;
                         });

// Bytes before the start-of-image marker are passed over, text included: such a file decodes
// to the same picture.
TEST(VarnelDecode, AJpegAfterOtherBytesStillDecodes) {
    for (const std::string& prefix : {std::string(100, '\0'), std::string("some text first\n")}) {
        const fs::path input = Dir() / "prefixed.jpg";
        std::ofstream(input, std::ios::binary) << prefix << Bytes(SampleJpeg());
        const ToolRun run = Tool("--format bmp " + Quoted(input) + " -", false);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, Tool(Quoted(SampleJpeg()) + " -", false).out);
    }
}

// --- A picture whose data ends early ---

struct DataEndRow {
    const char* name;
    std::string (*change)(const std::string& jpeg);  // the damage done to the sample
    const char* words;                               // part of the warning
};

void PrintTo(const DataEndRow& row, std::ostream* out) {
    *out << row.name;
}

fs::path Ladybird() {
    return FromBuild(LADYBIRD_JPEG_PATH);
}

const DataEndRow kDataEndRows[] = {
    {"Whole", [](const std::string& jpeg) { return jpeg; }, ""},
    {"CutShort", [](const std::string& jpeg) { return jpeg.substr(0, 5000); },
     "the picture data ends before its last block, at rows 81 to 96 of 360: the file is cut "
     "short"},
    {"CutShortWithEndMarker",
     [](const std::string& jpeg) { return jpeg.substr(0, 5000) + "\xFF\xD9"; },
     "a marker (FFD9, EOI) interrupts the picture data before its last block, at rows 81 to 96 "
     "of 360"},
    {"RestartMarkerInside",
     [](const std::string& jpeg) { return jpeg.substr(0, 8000) + "\xFF\xD3" + jpeg.substr(8000); },
     "a marker (FFD3, RST3) interrupts the picture data before its last block, at rows 129 to "
     "144 of 360"},
};

class VarnelDecodeDataEnd : public testing::TestWithParam<DataEndRow> {};

// The picture is written as LoadJpeg decodes it, with a warning and exit status 0.
TEST_P(VarnelDecodeDataEnd, AWarningSaysWhereTheDataEnded) {
    const DataEndRow& row = GetParam();
    const fs::path input = Dir() / (std::string(row.name) + ".jpg");
    std::ofstream(input, std::ios::binary) << row.change(Bytes(Ladybird()));
    const fs::path output = Dir() / (std::string(row.name) + ".bmp");
    const ToolRun run = Tool(Quoted(input) + " " + Quoted(output));
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(fs::exists(output));
    EXPECT_NE(run.out.find(": 480 x 360 -> "), std::string::npos) << run.out;
    const size_t warning = run.out.find("varnel-decode: warning: '" + Utf8(input) + "': ");
    if (row.words[0] == 0) {
        EXPECT_EQ(warning, std::string::npos) << run.out;
    } else {
        EXPECT_NE(warning, std::string::npos) << run.out;
        EXPECT_NE(run.out.find(row.words), std::string::npos) << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, VarnelDecodeDataEnd, testing::ValuesIn(kDataEndRows),
                         [](const testing::TestParamInfo<DataEndRow>& row) {
                             return std::string(row.param.name);
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
