// The fast kernels against the reference kernels: every file, valid or damaged, must give the
// same bitmap bytes, the same failures and the same final reader state on both paths, with
// every kernel set that the build has and the processor runs.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "differential_decode.h"
#include "encoded_files.h"
#include "fast_color.h"
#include "fast_huffman.h"
#include "fast_idct.h"
#include "jpeg_decoder.h"
#include "load_jpeg_kernels.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Decodes with the reference and every kernel set and returns the first difference, if any.
std::string Differs(const Bytes& image) {
    return differential::CompareAllKernelSets(image.data(), image.size(), nullptr);
}

// Collects the differences of many variants into one readable failure.
struct Findings {
    int checked = 0;
    int decoded = 0;
    std::vector<std::string> lines;
    void Check(const Bytes& image, const std::string& what) {
        ++checked;
        bool reference_decoded = false;
        const std::string difference =
            differential::CompareAllKernelSets(image.data(), image.size(), &reference_decoded);
        if (reference_decoded) ++decoded;
        if (!difference.empty() && lines.size() < 10) lines.push_back(what + ": " + difference);
    }
    std::string Report() const {
        std::string text;
        for (const std::string& line : lines) text += line + "\n";
        return text;
    }
};

Bytes Encode(int width, int height, const std::string& options) {
    std::string name = "diff-" + std::to_string(width) + "x" + std::to_string(height);
    for (char c : options) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    const std::filesystem::path path = testfiles::EncodeWithCjpeg(
        testfiles::MakePicture(width, height, static_cast<uint32_t>(width * 7 + height)), options,
        name);
    if (path.empty()) return {};
    return testfiles::ReadBytes(path);
}

// The encoder settings of the file tests: every sampling, restart intervals, optimised
// tables, the highest quality and a low one with baseline tables.
const char* const kOptions[] = {
    "-sample 2x2",
    "-sample 1x1",
    "-sample 2x1",
    "-sample 1x2",
    "-sample 4x1",
    "-sample 2x2,2x1,1x1",
    "-sample 1x1,2x2,2x2",
    "-grayscale",
    "-grayscale -sample 2x2",
    "-sample 2x2 -restart 1B",
    "-sample 1x1 -restart 3B",
    "-sample 2x2 -optimize",
    "-sample 1x1 -quality 100",
    "-sample 2x2 -quality 100 -optimize",
    "-sample 2x2 -quality 3 -baseline",
    "-grayscale -quality 3 -baseline -restart 2B",
};

// A file of each setting at a size that ends inside a block and inside an MCU, and for
// every fifth setting one wide enough for the fast path to decode its MCU rows in several
// strips.
std::vector<Bytes> SmallFiles() {
    std::vector<Bytes> files;
    int n = 0;
    for (const char* options : kOptions) {
        Bytes file = Encode(37, 21, options);
        if (!file.empty()) files.push_back(std::move(file));
        if (n++ % 5 != 0) continue;
        file = Encode(1601, 3, options);
        if (!file.empty()) files.push_back(std::move(file));
    }
    return files;
}

// Offset of the first byte of entropy-coded data (after the first SOS header), or 0.
size_t ScanStart(const Bytes& file) {
    for (size_t i = 0; i + 3 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == 0xDA) {
            return i + 2 + ((size_t{file[i + 2]} << 8) | file[i + 3]);
        }
    }
    return 0;
}

TEST(Differential, EncodedFilesOfEverySettingAndOddSizesDecodeAlike) {
    Findings findings;
    // The last is wider than a strip of the fast path's MCU rows.
    const int sizes[][2] = {{1, 1}, {9, 7}, {16, 16}, {17, 33}, {63, 5}, {70, 47}, {1601, 9}};
    for (const char* options : kOptions) {
        for (const auto& size : sizes) {
            const Bytes file = Encode(size[0], size[1], options);
            ASSERT_FALSE(file.empty()) << "cjpeg " << options;
            findings.Check(file, std::string(options) + " " + std::to_string(size[0]) + "x" +
                                     std::to_string(size[1]));
        }
    }
    EXPECT_EQ(findings.decoded, findings.checked);
    EXPECT_TRUE(findings.lines.empty()) << findings.Report();
}

TEST(Differential, TruncatedFilesDecodeAlike) {
    Findings findings;
    for (const Bytes& file : SmallFiles()) {
        const size_t step = file.size() / 25 + 1;
        for (size_t cut = 0; cut < file.size(); cut += step) {
            findings.Check(Bytes(file.begin(), file.begin() + cut), "cut " + std::to_string(cut));
        }
        // Every length within the last bytes: cuts inside the final codes and the EOI.
        for (size_t cut = file.size() > 12 ? file.size() - 12 : 0; cut < file.size(); ++cut) {
            findings.Check(Bytes(file.begin(), file.begin() + cut), "cut " + std::to_string(cut));
        }
    }
    EXPECT_GT(findings.decoded, 0);
    EXPECT_TRUE(findings.lines.empty()) << findings.Report();
}

TEST(Differential, FilesWithFlippedBitsDecodeAlike) {
    Findings findings;
    std::mt19937 random(5);
    for (const Bytes& file : SmallFiles()) {
        const size_t scan = ScanStart(file);
        for (int i = 0; i < 40; ++i) {
            Bytes damaged = file;
            // Mostly in the entropy-coded data, sometimes in the headers.
            const size_t from = i % 4 == 0 ? 0 : scan;
            const size_t at = from + random() % (file.size() - from);
            damaged[at] ^= static_cast<uint8_t>(1u << (random() % 8));
            if (i % 5 == 0) damaged[(at + 1) % file.size()] ^= 0x10;
            findings.Check(damaged, "flip at " + std::to_string(at));
        }
    }
    EXPECT_GT(findings.decoded, 0);
    EXPECT_TRUE(findings.lines.empty()) << findings.Report();
}

TEST(Differential, InsertedAndRemovedMarkersDecodeAlike) {
    Findings findings;
    std::mt19937 random(11);
    for (const Bytes& file : SmallFiles()) {
        const size_t scan = ScanStart(file);
        ASSERT_GT(scan, 0u);
        for (int i = 0; i < 30; ++i) {
            const size_t at = scan + random() % (file.size() - scan);
            Bytes damaged = file;
            switch (i % 5) {
                case 0:  // a restart marker out of order
                    damaged.insert(damaged.begin() + at, {0xFF, uint8_t(0xD0 + random() % 8)});
                    break;
                case 1:  // another marker: EOI, SOS, DHT, a reserved code, a fill byte
                {
                    const uint8_t codes[] = {0xD9, 0xDA, 0xC4, 0x05, 0xFF, 0x01};
                    damaged.insert(damaged.begin() + at, {0xFF, codes[random() % 6]});
                    break;
                }
                case 2:  // a lone 0xFF in the entropy-coded data
                    damaged.insert(damaged.begin() + at, 0xFF);
                    break;
                case 3:  // a stuffed zero taken away, making a marker of a data byte 0xFF
                {
                    for (size_t j = at; j + 1 < damaged.size(); ++j) {
                        if (damaged[j] == 0xFF && damaged[j + 1] == 0x00) {
                            damaged.erase(damaged.begin() + j + 1);
                            break;
                        }
                    }
                    break;
                }
                default:  // a marker removed (restart markers and the EOI)
                {
                    for (size_t j = at; j + 1 < damaged.size(); ++j) {
                        if (damaged[j] == 0xFF && damaged[j + 1] >= 0xD0 &&
                            damaged[j + 1] <= 0xD9) {
                            damaged.erase(damaged.begin() + j, damaged.begin() + j + 2);
                            break;
                        }
                    }
                    break;
                }
            }
            findings.Check(damaged,
                           "marker edit " + std::to_string(i % 5) + " at " + std::to_string(at));
        }
    }
    EXPECT_GT(findings.decoded, 0);
    EXPECT_TRUE(findings.lines.empty()) << findings.Report();
}

TEST(Differential, OddSamplingFactorsAndPrecisionsDecodeAlike) {
    // Sampling factors that do not divide the largest one, Y below the chroma factors, zero
    // factors, and precisions other than 8, patched into the frame header.
    Findings findings;
    const Bytes file = Encode(40, 24, "-sample 2x2,2x1,1x1");
    ASSERT_FALSE(file.empty());
    size_t sof = 0;
    for (size_t i = 0; i + 1 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == 0xC0) sof = i;
    }
    ASSERT_GT(sof, 0u);
    const uint8_t factors[] = {0x11, 0x12, 0x21, 0x22, 0x31, 0x32, 0x23, 0x33, 0x41, 0x14, 0x10};
    for (int component = 0; component < 3; ++component) {
        for (uint8_t f : factors) {
            Bytes damaged = file;
            damaged[sof + 11 + 3 * component] = f;
            findings.Check(damaged, "component " + std::to_string(component) + " factors " +
                                        std::to_string(f));
        }
    }
    for (uint8_t precision : {12, 0, 16}) {
        Bytes damaged = file;
        damaged[sof + 4] = precision;
        findings.Check(damaged, "precision " + std::to_string(precision));
    }
    EXPECT_GT(findings.decoded, 10);
    EXPECT_TRUE(findings.lines.empty()) << findings.Report();
}

// Hand-built streams: tables that no encoder makes (oversubscribed code counts up to
// 16 x 255, a single code, gaps, undefined tables), 16-bit quantisation values that make the
// inverse DCT wrap, and entropy-coded data of random bytes with stuffed zeros and markers.
class StreamBuilder {
public:
    void Byte(int value) { bytes_.push_back(static_cast<uint8_t>(value)); }
    void Word(int value) {
        Byte(value >> 8);
        Byte(value & 0xFF);
    }
    void Marker(int code) {
        Byte(0xFF);
        Byte(code);
    }
    Bytes& bytes() { return bytes_; }

private:
    Bytes bytes_;
};

Bytes RandomStream(std::mt19937& random) {
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); };
    StreamBuilder s;
    s.Marker(0xD8);
    // Quantisation tables 0 to 2: 8-bit or 16-bit entries.
    for (int id = 0; id < 3; ++id) {
        const bool wide = pick(3) == 0;
        s.Marker(0xDB);
        s.Word(2 + 1 + 64 * (wide ? 2 : 1));
        s.Byte((wide ? 0x10 : 0) | id);
        for (int k = 0; k < 64; ++k) {
            if (wide) {
                s.Word(pick(4) == 0 ? 40000 + pick(25535) : 1 + pick(300));
            } else {
                s.Byte(1 + pick(255));
            }
        }
    }
    // Huffman tables: DC and AC, identifiers 0 and 1.
    for (int table_class = 0; table_class < 2; ++table_class) {
        for (int id = 0; id < 2; ++id) {
            int counts[16] = {};
            switch (pick(5)) {
                case 0:  // the usual shape
                    for (int l = 1; l < 16; ++l) counts[l] = pick(l < 8 ? l + 1 : 6);
                    break;
                case 1:  // oversubscribed
                    for (int& c : counts) c = pick(4) == 0 ? pick(256) : pick(4);
                    break;
                case 2:  // one code
                    counts[pick(16)] = 1;
                    break;
                case 3:  // every count at its largest
                    for (int& c : counts) c = 255;
                    break;
                default:  // undefined
                    break;
            }
            int total = 0;
            for (int c : counts) total += c;
            s.Marker(0xC4);
            s.Word(2 + 1 + 16 + total);
            s.Byte(table_class << 4 | id);
            for (int c : counts) s.Byte(c);
            for (int k = 0; k < total; ++k) {
                s.Byte(table_class == 0 ? (pick(8) == 0 ? pick(256) : pick(12)) : pick(256));
            }
        }
    }
    const bool colour = pick(3) != 0;
    const int components = colour ? 3 : 1;
    s.Marker(0xC0);
    s.Word(8 + 3 * components);
    s.Byte(pick(6) == 0 ? 12 : 8);
    s.Word(1 + pick(40));
    s.Word(1 + pick(40));
    s.Byte(components);
    for (int i = 0; i < components; ++i) {
        s.Byte(i + 1);
        s.Byte((1 + pick(pick(2) == 0 ? 4 : 2)) << 4 | (1 + pick(pick(2) == 0 ? 4 : 2)));
        s.Byte(pick(3));
    }
    if (pick(3) == 0) {
        s.Marker(0xDD);
        s.Word(4);
        s.Word(1 + pick(4));
    }
    s.Marker(0xDA);
    s.Word(6 + 2 * components);
    s.Byte(components);
    for (int i = 0; i < components; ++i) {
        s.Byte(i + 1);
        s.Byte(pick(2) << 4 | pick(2));
    }
    s.Byte(0);
    s.Byte(63);
    s.Byte(0);
    const int length = pick(600);
    for (int k = 0; k < length; ++k) {
        const int kind = pick(60);
        if (kind == 0) {
            s.Marker(0xD0 + pick(8));
        } else if (kind == 1) {
            s.Marker(pick(256));
        } else if (kind < 5) {
            s.Byte(0xFF);
            s.Byte(0x00);
        } else {
            s.Byte(pick(256));
        }
    }
    if (pick(2) == 0) s.Marker(0xD9);
    return s.bytes();
}

TEST(Differential, HandBuiltStreamsWithOddTablesDecodeAlike) {
    Findings findings;
    std::mt19937 random(2024);
    for (int i = 0; i < 400; ++i)
        findings.Check(RandomStream(random), "stream " + std::to_string(i));
    EXPECT_GT(findings.decoded, 200);
    EXPECT_TRUE(findings.lines.empty()) << findings.Report();
}

TEST(Differential, TablesWithOneCodeAndDuplicateLengthsDecodeAlike) {
    // A 1-bit code 0 only: every 1 bit is a string that matches no code (symbol 0 after one
    // bit). Data of all ones and all zeros, ending in a marker inside a symbol.
    for (uint8_t fill : {0x00, 0xFF, 0x55}) {
        StreamBuilder s;
        s.Marker(0xD8);
        s.Marker(0xDB);
        s.Word(67);
        s.Byte(0);
        for (int k = 0; k < 64; ++k) s.Byte(1);
        for (int table_class = 0; table_class < 2; ++table_class) {
            s.Marker(0xC4);
            s.Word(2 + 1 + 16 + 1);
            s.Byte(table_class << 4);
            s.Byte(1);
            for (int l = 1; l < 16; ++l) s.Byte(0);
            s.Byte(table_class == 0 ? 3 : 0x13);
        }
        s.Marker(0xC0);
        s.Word(11);
        s.Byte(8);
        s.Word(16);
        s.Word(16);
        s.Byte(1);
        s.Byte(1);
        s.Byte(0x11);
        s.Byte(0);
        s.Marker(0xDA);
        s.Word(8);
        s.Byte(1);
        s.Byte(1);
        s.Byte(0);
        s.Byte(0);
        s.Byte(63);
        s.Byte(0);
        for (int k = 0; k < 7; ++k) {
            s.Byte(fill);
            if (fill == 0xFF) s.Byte(0);
        }
        s.Marker(0xD9);
        EXPECT_EQ(Differs(s.bytes()), "") << "fill " << int{fill};
    }
}

TEST(Differential, FuzzRegressionFilesDecodeAlike) {
    const std::filesystem::path folder = VARNEL_FUZZ_REGRESSIONS;
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
        ++files;
        EXPECT_EQ(Differs(testfiles::ReadBytes(entry.path())), "") << entry.path();
    }
    EXPECT_GT(files, 0);
}

// What the combined lookup must hold for a lookahead string, from the search's symbol and
// length (`searched`) and the magnitude bits after the code: the end of block, a run of
// sixteen zeros, or a coefficient after its run, where code and magnitude fit the lookahead.
varnel::FastHuffman::Combined CombinedFromSearch(uint32_t searched, uint32_t prefix) {
    const int length = static_cast<int>(searched >> 8);
    const int rs = static_cast<int>(searched & 0xFF);
    const int size = rs & 15;
    const auto bits = static_cast<uint8_t>(length);
    if (length > varnel::kLookaheadBits) return {0, 0, varnel::kSearchNeeded};
    if (rs == 0) return {0, varnel::kEndOfBlockRun, bits};
    if (rs == 0xF0) return {0, 15, bits};
    if (size == 0 || length + size > varnel::kLookaheadBits) return {0, 0, varnel::kSearchNeeded};
    const auto raw = static_cast<int32_t>((prefix >> (varnel::kLookaheadBits - length - size)) &
                                          ((1u << size) - 1));
    return {static_cast<int16_t>(varnel::ExtendValue(raw, size)), static_cast<uint8_t>(rs >> 4),
            static_cast<uint8_t>(length + size)};
}

// The lookahead tables give, for every string of lookahead bits, what the search gives for
// the strings that start with it, on tables with odd, oversubscribed and crowded code counts:
// symbol and bits taken where they fit, otherwise a referral to the search; and the combined
// lookup agrees with the search and the magnitude bits; where the lookup refers to the
// search, the search from the longer lengths alone gives the same.
TEST(Differential, LookaheadTablesAgreeWithTheSearch) {
    std::mt19937 random(5);
    auto fast = std::make_unique<varnel::FastHuffman>();
    for (int trial = 0; trial < 300; ++trial) {
        Bytes counts(16);
        int total = 0;
        const int longest = 1 + static_cast<int>(random() % 16);
        for (int length = 0; length < longest; ++length) {
            const int kind = static_cast<int>(random() % 4);
            counts[length] = static_cast<uint8_t>(kind == 0 ? 0 : random() % (kind == 3 ? 9 : 4));
            if (trial % 10 == 0 && length == static_cast<int>(random() % 10)) counts[length] = 255;
            total += counts[length];
        }
        Bytes bytes = {0xFF, 0xD8, 0xFF, 0xC4};
        const int length_field = 2 + 1 + 16 + total;
        bytes.push_back(static_cast<uint8_t>(length_field >> 8));
        bytes.push_back(static_cast<uint8_t>(length_field & 0xFF));
        bytes.push_back(0x10);
        bytes.insert(bytes.end(), counts.begin(), counts.end());
        for (int k = 0; k < total; ++k) bytes.push_back(static_cast<uint8_t>(random()));
        bytes.insert(bytes.end(), {0xFF, 0xD9});

        varnel::JpegDecoder decoder;
        varnel::ConstructDecoder(&decoder);
        varnel::Attach(&decoder, bytes.data(), static_cast<int32_t>(bytes.size()));
        varnel::BuildFastHuffman(fast.get(), &decoder.huffman[1][0]);
        for (uint32_t prefix = 0; prefix < (1u << varnel::kLookaheadBits); ++prefix) {
            const uint32_t rest = static_cast<uint32_t>(random()) >> (16 + varnel::kLookaheadBits);
            const uint32_t window = prefix << (16 - varnel::kLookaheadBits) | rest;
            const uint32_t searched = varnel::SearchCode(fast.get(), window);
            const uint32_t looked_up = fast->lookup[prefix];
            if ((searched >> 8) > static_cast<uint32_t>(varnel::kLookaheadBits)) {
                ASSERT_EQ(looked_up, varnel::kLongerCode) << "trial " << trial << " " << prefix;
            }
            if (looked_up == varnel::kLongerCode) {
                ASSERT_EQ(varnel::SearchLongCode(fast.get(), window), searched)
                    << "trial " << trial << " prefix " << prefix;
            } else {
                ASSERT_EQ(looked_up, searched) << "trial " << trial << " prefix " << prefix;
            }
            const varnel::FastHuffman::Combined expected = CombinedFromSearch(searched, prefix);
            const varnel::FastHuffman::Combined& combined = fast->combined[prefix];
            ASSERT_EQ(combined.total, expected.total) << "trial " << trial << " prefix " << prefix;
            if (expected.total != varnel::kSearchNeeded) {
                ASSERT_EQ(combined.run, expected.run) << "trial " << trial << " prefix " << prefix;
                ASSERT_EQ(combined.value, expected.value)
                    << "trial " << trial << " prefix " << prefix;
            }
        }
        varnel::DestroyDecoder(&decoder);
    }
}

// Runs every inverse-DCT kernel this machine can run against InverseDCT (which reads
// idct_matrix) on blocks with few and many coefficients, on the columns that lack the mirror
// symmetry alone, and on small values and values whose products and sums wrap around 32
// bits. Returns the first difference. `decoder` is a constructed record whose coef and
// samples serve the reference.
std::string CompareIdctKernels(varnel::JpegDecoder* decoder, const varnel::IdctTables* tables,
                               uint32_t seed) {
    std::vector<std::pair<const char*, varnel::IdctKernel>> kernels;
    for (const varnel::KernelSet set : differential::RunnableKernelSets()) {
        kernels.push_back({varnel::KernelSetName(set), varnel::KernelsOf(set).idct});
    }
    constexpr int kEdges[] = {4, 32, 36};
    std::mt19937 random(seed);
    std::string difference;
    for (int trial = 0; trial < 3000 && difference.empty(); ++trial) {
        int32_t coef[64] = {};
        uint64_t mask = 0;
        // 0: DC only, 1: the asymmetric columns, 2: the first row, 3: the first column, else
        // anywhere.
        const int kind = trial % 7;
        const int filled = kind <= 1 ? 1 + trial % 3 : 1 + static_cast<int>(random() % 64);
        const int range = trial % 3;
        for (int k = 0; k < filled; ++k) {
            const int i = kind == 0   ? 0
                          : kind == 1 ? kEdges[random() % 3]
                          : kind == 2 ? static_cast<int>(random() % 8)
                          : kind == 3 ? 8 * static_cast<int>(random() % 8)
                                      : static_cast<int>(random() % 64);
            int32_t value = static_cast<int32_t>(random() % 4096) - 2048;
            if (range == 1) value = static_cast<int32_t>(random() % 65536) - 32768;
            if (range == 2) value = static_cast<int32_t>(random());
            coef[i] = value;
            mask |= uint64_t{1} << i;
        }
        if (trial % 11 == 0) {
            // Sums on and next to multiples of 40000 up to the ends of the 32-bit range: the
            // DC coefficient alone (weight 5000 everywhere), with a zero one also in the mask
            // so that the kernels take their general path.
            constexpr int32_t kEdgesOfDivision[] = {
                8, -8, 7, -7, 9, -9, 429496, -429496, 429497, -429497, 858993, -858993, 1, -1, 0};
            std::fill(std::begin(coef), std::end(coef), 0);
            coef[0] = kEdgesOfDivision[(trial / 11) % 15];
            mask = 1 | uint64_t{1} << (1 + random() % 63);
        }
        std::memcpy(decoder->coef, coef, sizeof(coef));
        decoder->precision = trial % 5 == 0 ? 12 : 8;
        varnel::InverseDCT(decoder);
        for (const auto& [name, kernel] : kernels) {
            int32_t out[8 * 10];
            kernel(tables, coef, mask, decoder->precision == 8 ? 128 : 2048, out, 10);
            for (int p = 0; p < 64 && difference.empty(); ++p) {
                if (out[(p / 8) * 10 + p % 8] != decoder->samples[p]) {
                    difference = std::string(name) + " trial " + std::to_string(trial) +
                                 " output " + std::to_string(p);
                }
            }
        }
    }
    return difference;
}

TEST(Differential, EveryInverseDctKernelMatchesTheMatrixProduct) {
    varnel::JpegDecoder decoder;
    varnel::ConstructDecoder(&decoder);  // builds idct_matrix
    auto tables = std::make_unique<varnel::IdctTables>();
    varnel::BuildIdctTables(tables.get());
    // The table has the symmetry that the quadrant kernels use and the repetition that the
    // first-row and first-column shortcuts use, so they are the ones tested.
    EXPECT_TRUE(tables->symmetric);
    EXPECT_TRUE(tables->rows_repeat);
    EXPECT_TRUE(tables->columns_repeat);
    // The butterflies of the portable kernel give every entry but the 100 truncated ones of
    // (4, 0), (0, 4) and (4, 4); those are its corrections: one row of (4, 0), one column of
    // (0, 4), and the 36 entries of (4, 4) one by one.
    EXPECT_EQ(tables->corrected_by_row, uint64_t{1} << 4);
    EXPECT_EQ(tables->corrected_by_column, uint64_t{1} << 32);
    EXPECT_EQ(tables->corrected, uint64_t{1} << 36);
    EXPECT_EQ(tables->correction_start[64], 36);
    EXPECT_EQ(CompareIdctKernels(&decoder, tables.get(), 77), "");
    // The SIMD kernels adding every column in full.
    tables->symmetric = false;
    EXPECT_EQ(CompareIdctKernels(&decoder, tables.get(), 78), "");
    varnel::DestroyDecoder(&decoder);
}

// A table whose clean columns lose the symmetry (or the repetition along the first row or
// column) is recognised as such, and the kernels still give InverseDCT's result for it; the
// portable kernel keeps its butterflies and corrects what they miss, as a row, a column or
// entry by entry.
TEST(Differential, InverseDctKernelsFallBackWhenTheTableIsNotSymmetric) {
    struct RestoreMatrix {
        ~RestoreMatrix() {
            varnel::JpegDecoder decoder;
            varnel::ConstructDecoder(&decoder);  // rebuilds idct_matrix as it was
            varnel::DestroyDecoder(&decoder);
        }
    } restore;
    // Entries 64 p + i (output p = 8y + x, coefficient i = 8v + u) raised by one.
    auto every_row = [](int i, int x) {
        std::vector<int> entries;
        for (int y = 0; y < 8; ++y) entries.push_back(64 * (8 * y + x) + i);
        return entries;
    };
    auto every_column = [](int i, int y) {
        std::vector<int> entries;
        for (int x = 0; x < 8; ++x) entries.push_back(64 * (8 * y + x) + i);
        return entries;
    };
    struct Case {
        const char* name;
        std::vector<int> entries;
        uint64_t by_row;
        uint64_t by_column;
        int listed;
        bool symmetric = false;  // the SIMD kernels' symmetry, of the clean columns only
    };
    constexpr uint64_t k40 = uint64_t{1} << 4;
    constexpr uint64_t k04 = uint64_t{1} << 32;
    const Case cases[] = {
        {"(1, 0) at (7, 0)", {64 * 7 + 1}, k40, k04, 37},
        {"(1, 1) at (7, 7)", {64 * 63 + 9}, k40, k04, 37},
        {"(2, 3) at (0, 7)", {64 * 56 + 8 * 3 + 2}, k40, k04, 37},
        {"(0, 3) at (5, 2)", {64 * 21 + 24}, k40, k04, 37},
        {"(2, 0) at x 3 of every row", every_row(2, 3), k40 | uint64_t{1} << 2, k04, 36},
        {"(0, 3) at y 5 of every column", every_column(24, 5), k40, k04 | uint64_t{1} << 24, 36},
        // (4, 0) no longer differs by the same row everywhere: its 33 entries are listed.
        {"(4, 0) at (4, 0)", {64 * 4 + 4}, 0, k04, 69, true},
    };
    auto tables = std::make_unique<varnel::IdctTables>();
    for (const Case& c : cases) {
        varnel::JpegDecoder decoder;
        varnel::ConstructDecoder(&decoder);
        for (const int entry : c.entries) varnel::idct_matrix[entry] += 1;
        varnel::BuildIdctTables(tables.get());
        EXPECT_EQ(tables->symmetric, c.symmetric) << c.name;
        EXPECT_EQ(tables->corrected_by_row, c.by_row) << c.name;
        EXPECT_EQ(tables->corrected_by_column, c.by_column) << c.name;
        EXPECT_EQ(tables->correction_start[64], c.listed) << c.name;
        EXPECT_EQ(CompareIdctKernels(&decoder, tables.get(), static_cast<uint32_t>(c.entries[0])),
                  "")
            << c.name;
        // The tables that the scan keeps for the process follow the changed matrix.
        const varnel::IdctTables* kept = varnel::CurrentIdctTables();
        EXPECT_EQ(std::memcmp(kept->columns, tables->columns, sizeof(tables->columns)), 0)
            << c.name;
        EXPECT_EQ(kept->symmetric, c.symmetric) << c.name;
        EXPECT_EQ(kept->correction_start[64], c.listed) << c.name;
        varnel::DestroyDecoder(&decoder);
    }
    // And back to the matrix that every decoder's construction builds.
    varnel::JpegDecoder decoder;
    varnel::ConstructDecoder(&decoder);
    EXPECT_TRUE(varnel::CurrentIdctTables()->symmetric);
    EXPECT_EQ(varnel::CurrentIdctTables()->correction_start[64], 36);
    varnel::DestroyDecoder(&decoder);
}

// The kernels' quotient by 40000 (a multiply-high whose constant and shift depend on the
// build) against the language's division, at the sums where a constant one off fails first:
// the exact multiples and their neighbours, small and at the ends of the 32-bit range.
class FastQuotient : public ::testing::TestWithParam<int64_t> {};

TEST_P(FastQuotient, IsTheTruncatedDivisionPlusTheLevel) {
    for (const int64_t sum : {GetParam(), -GetParam()}) {
        if (sum < INT32_MIN || sum > INT32_MAX) continue;
        const auto bits = static_cast<uint32_t>(static_cast<int32_t>(sum));
        const auto expected = static_cast<int32_t>(sum / 40000);
        EXPECT_EQ(varnel::DivideBy40000(bits), expected) << sum;
        for (const int32_t level : {128, 2048}) {
            EXPECT_EQ(varnel::QuotientPlusLevel(bits, level), expected + level) << sum;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Differential, FastQuotient,
                         ::testing::Values(0, 1, 39999, 40000, 40001, 79999, 80000, 5119999,
                                           5120000, 81920000, 81920001, 2147440000, 2147440001,
                                           2147479999, 2147480000, 2147480001, int64_t{INT32_MAX},
                                           -int64_t{INT32_MIN}));

// Every colour kernel this machine can run against the formula, over the whole range of
// inverse-DCT outputs and around the truncation and clamping edges.
TEST(Differential, EveryColourKernelMatchesTheFormula) {
    std::vector<varnel::ColorKernels> sets;
    for (const varnel::KernelSet set : differential::RunnableKernelSets()) {
        sets.push_back(varnel::KernelsOf(set).color);
    }
    std::mt19937 random(3);
    constexpr int kWidth = 77;
    for (int trial = 0; trial < 400; ++trial) {
        std::vector<int32_t> y(kWidth + 32), cb(kWidth + 32), cr(kWidth + 32);
        // Picture-like values, the whole range, or picture-like values with rare extremes.
        const int32_t span = trial % 3 == 1 ? 2 * (53688 + 2048) : 600;
        const bool outliers = trial % 3 == 2;
        for (int x = 0; x < kWidth + 32; ++x) {
            y[x] = static_cast<int32_t>(random() % span) - span / 2 + 128;
            // Exact multiples of the divisions' denominators, of both signs, now and then.
            cb[x] = trial % 3 == 0 ? 128 + 10000 * (static_cast<int32_t>(random() % 5) - 2)
                                   : static_cast<int32_t>(random() % span) - span / 2 + 128;
            cr[x] = trial % 3 == 1 ? 128 + 10000 * (static_cast<int32_t>(random() % 5) - 2)
                                   : static_cast<int32_t>(random() % span) - span / 2 + 128;
            if (outliers && random() % 23 == 0) {
                // An extreme chroma value with a Y that brings red or blue back into 0..255.
                const int32_t d = static_cast<int32_t>(random() % (2 * 55000)) - 55000;
                const bool red = random() % 2 == 0;
                (red ? cr[x] : cb[x]) = 128 + d;
                y[x] = 128 - (red ? 14020 : 17718) * d / 10000 +
                       static_cast<int32_t>(random() % 64) - 32;
            }
            if (trial < 64) {
                // Every chroma value from -1100 to 1363 in turn, both orders: past the range
                // of ordinary pictures on both sides, where kernels may switch methods.
                const int32_t sweep = -1100 + (trial / 2) * kWidth + x;
                cb[x] = trial % 2 == 0 ? sweep : 1363 - (sweep + 1100);
                cr[x] = trial % 2 == 0 ? 1363 - (sweep + 1100) : sweep;
            }
        }
        for (int half = 0; half < 2; ++half) {
            std::vector<uint8_t> expected(3 * kWidth), grey(3 * kWidth);
            for (int x = 0; x < kWidth; ++x) {
                const int c = half ? x / 2 : x;
                using varnel::WrapAdd, varnel::WrapMul, varnel::WrapSub;
                expected[3 * x + 2] =
                    varnel::ClampSample(WrapAdd(y[x], WrapMul(14020, WrapSub(cr[c], 128)) / 10000));
                expected[3 * x + 1] = varnel::ClampSample(
                    WrapAdd(WrapAdd(y[x], WrapMul(3441, WrapSub(128, cb[c])) / 10000),
                            WrapMul(7139, WrapSub(128, cr[c])) / 10000));
                expected[3 * x] =
                    varnel::ClampSample(WrapAdd(y[x], WrapMul(17718, WrapSub(cb[c], 128)) / 10000));
                grey[3 * x] = grey[3 * x + 1] = grey[3 * x + 2] = varnel::ClampSample(y[x]);
            }
            for (const varnel::ColorKernels& set : sets) {
                std::vector<int32_t> red(kWidth + 32), green(kWidth + 32), blue(kWidth + 32);
                set.chroma_terms(cb.data(), cr.data(), kWidth, red.data(), green.data(),
                                 blue.data());
                std::vector<uint8_t> out(3 * kWidth);
                (half ? set.color_row_half : set.color_row)(y.data(), red.data(), green.data(),
                                                            blue.data(), kWidth, out.data());
                ASSERT_EQ(out, expected) << "trial " << trial << " half " << half;
                if (!half) {
                    std::fill(out.begin(), out.end(), 0);
                    set.color_row_full(y.data(), cb.data(), cr.data(), kWidth, out.data());
                    ASSERT_EQ(out, expected) << "trial " << trial << " full";
                }
                set.grey_row(y.data(), kWidth, out.data());
                ASSERT_EQ(out, grey) << "trial " << trial;
            }
        }
    }
}

// The tests above cover the kernel sets that the dispatcher offers: the portable set alone in
// a portable-only build, and on x86-64 (which always has SSE2) at least the SSE2 one besides.
TEST(Differential, TheDispatcherOffersTheKernelSetsOfTheBuild) {
    const std::vector<varnel::KernelSet> sets = differential::RunnableKernelSets();
    ASSERT_FALSE(sets.empty());
    EXPECT_EQ(sets.front(), varnel::KernelSet::kPortable);
    EXPECT_EQ(sets.back(), varnel::BestKernelSet());
#if defined(VARNEL_PORTABLE_KERNELS)
    EXPECT_EQ(sets.size(), 1u);
#elif defined(__x86_64__)
    EXPECT_TRUE(varnel::KernelSetRuns(varnel::KernelSet::kSse2));
#endif
}

// Through LoadJpegWithKernels and LoadJpegWithKernelSet: the DIB sections that the reference
// and every kernel set of the fast path return hold the same header and bits, and a file that
// does not decode gives null on all, with the size untouched.
struct Loaded {
    bool ok = false;
    POINT size{-7, -7};
    BITMAP info{};
    Bytes bits;
};

Loaded LoadWith(const std::filesystem::path& path, varnel::Kernels kernels,
                varnel::KernelSet set = varnel::BestKernelSet()) {
    const std::string narrow = path.string();
    const std::u16string wide(narrow.begin(), narrow.end());
    const auto* wide_path = reinterpret_cast<const WCHAR*>(wide.c_str());
    Loaded loaded;
    HBITMAP bitmap = kernels == varnel::Kernels::Reference
                         ? varnel::LoadJpegWithKernels(nullptr, wide_path, &loaded.size, kernels)
                         : varnel::LoadJpegWithKernelSet(nullptr, wide_path, &loaded.size, set);
    if (bitmap == nullptr) return loaded;
    loaded.ok = GetObject(bitmap, sizeof(loaded.info), &loaded.info) != 0;
    if (loaded.ok && loaded.info.bmBits != nullptr) {
        const auto* bits = static_cast<const uint8_t*>(loaded.info.bmBits);
        loaded.bits.assign(bits, bits + loaded.info.bmWidthBytes * loaded.info.bmHeight);
    }
    DeleteObject(bitmap);
    return loaded;
}

TEST(Differential, LoadJpegWithEitherKernelsGivesTheSameBitmap) {
    std::vector<std::filesystem::path> paths;
    for (const char* options : {"-sample 2x2", "-grayscale", "-sample 1x1 -restart 1B"}) {
        paths.push_back(testfiles::EncodeWithCjpeg(testfiles::MakePicture(45, 31, 3), options,
                                                   std::string("diff-load-") + options[2]));
    }
    const Bytes whole = testfiles::ReadBytes(paths[0]);
    const std::filesystem::path cut = testfiles::TempDir() / "diff-load-cut.jpg";
    testfiles::WriteBytes(cut, Bytes(whole.begin(), whole.begin() + ScanStart(whole) - 3));
    paths.push_back(cut);

    for (const auto& path : paths) {
        const Loaded reference = LoadWith(path, varnel::Kernels::Reference);
        for (const varnel::KernelSet set : differential::RunnableKernelSets()) {
            const Loaded fast = LoadWith(path, varnel::Kernels::Fast, set);
            const std::string where = path.string() + " " + varnel::KernelSetName(set);
            EXPECT_EQ(reference.ok, fast.ok) << where;
            EXPECT_EQ(reference.size.x, fast.size.x) << where;
            EXPECT_EQ(reference.size.y, fast.size.y) << where;
            EXPECT_EQ(reference.info.bmWidth, fast.info.bmWidth) << where;
            EXPECT_EQ(reference.info.bmHeight, fast.info.bmHeight) << where;
            EXPECT_EQ(reference.info.bmWidthBytes, fast.info.bmWidthBytes) << where;
            EXPECT_EQ(reference.bits, fast.bits) << where;
        }
    }
    EXPECT_FALSE(LoadWith(cut, varnel::Kernels::Fast).ok);
    EXPECT_EQ(LoadWith(cut, varnel::Kernels::Fast).size.x, -7);
    EXPECT_TRUE(LoadWith(paths[0], varnel::Kernels::Fast).ok);
}

}  // namespace
