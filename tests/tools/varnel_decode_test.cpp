// varnel-decode as a person runs it: the bitmap file it writes, its errors and its --info.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifndef VARNEL_DECODE_PATH
#error "VARNEL_DECODE_PATH names the tool under test"
#endif

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;
};

// Runs the tool with the arguments, its stdout and stderr together.
ToolRun Tool(const std::string& arguments) {
    ToolRun run;
    const std::string command = std::string(VARNEL_DECODE_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) run.out.append(buffer, got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

fs::path Dir() {
    static const fs::path dir = [] {
        std::string pattern = (fs::temp_directory_path() / "varnel-decode-XXXXXX").string();
        return fs::path(mkdtemp(pattern.data()));
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

// A 13 x 7 picture in 4:2:0 with a comment and a restart interval, made by cjpeg.
fs::path SampleJpeg() {
    static const fs::path jpeg = [] {
        const fs::path ppm = Dir() / "sample.ppm";
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n13 7\n255\n";
        for (int i = 0; i < 13 * 7; ++i) out << static_cast<char>(i * 2) << 'x' << static_cast<char>(255 - i);
        out.close();
        const fs::path path = Dir() / "sample.jpg";
        const std::string command = "cjpeg -sample 2x2 -restart 1 " + ppm.string() +
                                    " | wrjpgcom -comment 'hello varnel' > " + path.string();
        return std::system(command.c_str()) == 0 ? path : fs::path();
    }();
    return jpeg;
}

TEST(VarnelDecode, WritesHeadersAndBitsAsLoadJpegReturnsThem) {
    ASSERT_FALSE(SampleJpeg().empty());
    const fs::path bmp = Dir() / "out.bmp";
    const ToolRun run = Tool(SampleJpeg().string() + " " + bmp.string());
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
        const ToolRun run = Tool(input.string() + " " + bmp.string());
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.out.find(input.string()), std::string::npos) << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
        EXPECT_FALSE(fs::exists(bmp));
    }
}

TEST(VarnelDecode, InfoReportsTheHeaderParse) {
    ASSERT_FALSE(SampleJpeg().empty());
    const ToolRun run = Tool("--info " + SampleJpeg().string());
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
