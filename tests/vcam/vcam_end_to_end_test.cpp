// The whole road: the process-wide graph with its placeholder and the virtual
// camera output runs here; lumora-vcam, a separate process, reads the channel
// and its raw output must show the placeholder picture.

#include <gtest/gtest.h>
#include <signal.h>

#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/play_graph.h"
#include "outputs/vcam_output.h"
#include "sources/image_video_source.h"
#include "tests/support/child_process.h"
#include "tests/support/runtime_dir.h"

namespace {
constexpr size_t kPixels = 640 * 480;

std::string vcamProgram() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "lumora-vcam").string();
}

VideoOutput* virtualCamera() { return VCamOutput::instance(); }

// Runs the process-wide graph for the whole test program, in a runtime
// folder of its own.
class LiveGraph : public ::testing::Environment {
public:
    void SetUp() override {
        runtime_ = std::make_unique<ScopedRuntimeDir>();
        PlayGraph::SetDefaultOutputProvider(&virtualCamera);
        placeholder_ = std::make_unique<ImageVideoSource>();
        PlayGraph::Instance()->SetPlaceholderSource(placeholder_.get());
        PlayGraph::Instance()->SetFrameRate(15);
        PlayGraph::Instance()->Start();
    }
    void TearDown() override {
        PlayGraph::Instance()->Stop();
        PlayGraph::Instance()->SetPlaceholderSource(nullptr);
    }

private:
    std::unique_ptr<ScopedRuntimeDir> runtime_;
    std::unique_ptr<ImageVideoSource> placeholder_;
};
const auto* const g_liveGraph = ::testing::AddGlobalTestEnvironment(new LiveGraph);

// The placeholder, top row first, as B, G, R or R, G, B bytes.
std::vector<uint8_t> placeholderBytes(bool rgb) {
    QImage picture = QImage(":/JPG/111").convertToFormat(QImage::Format_RGB32);
    std::vector<uint8_t> bytes;
    bytes.reserve(kPixels * 3);
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            QRgb pixel = picture.pixel(x, y);
            uint8_t r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
            bytes.insert(bytes.end(), rgb ? std::initializer_list<uint8_t>{r, g, b}
                                          : std::initializer_list<uint8_t>{b, g, r});
        }
    }
    return bytes;
}

// Reads frames of `size` bytes from lumora-vcam until one differs from its
// black start; returns it (empty when none came).
std::vector<uint8_t> firstPicture(ChildProcess& reader, size_t size,
                                  const std::vector<uint8_t>& black) {
    std::vector<uint8_t> frame(size);
    for (int i = 0; i < 90; ++i) {
        if (!reader.readExactly(frame.data(), frame.size())) {
            break;
        }
        if (frame != black) {
            return frame;
        }
    }
    return {};
}

std::vector<uint8_t> capture(const std::string& format, size_t size,
                             const std::vector<uint8_t>& black) {
    ChildProcess reader;
    EXPECT_TRUE(reader.spawn(vcamProgram(), {"--output", "-", "--format", format}));
    auto frame = firstPicture(reader, size, black);
    // Later frames are the same picture: the placeholder does not change.
    std::vector<uint8_t> later(size);
    EXPECT_TRUE(reader.readExactly(later.data(), later.size()));
    EXPECT_EQ(later, frame);
    reader.signal(SIGTERM);
    EXPECT_EQ(reader.wait(), 0);
    return frame;
}
}  // namespace

TEST(VCamEndToEndTest, Bgr24AndRgb24FramesAreThePlaceholderByteForByte) {
    auto bgr = capture("bgr24", kPixels * 3, std::vector<uint8_t>(kPixels * 3, 0));
    ASSERT_EQ(bgr.size(), kPixels * 3);
    EXPECT_TRUE(bgr == placeholderBytes(false));

    auto rgb = capture("rgb24", kPixels * 3, std::vector<uint8_t>(kPixels * 3, 0));
    EXPECT_TRUE(rgb == placeholderBytes(true));
}

TEST(VCamEndToEndTest, YuyvFramesDecodeBackToThePlaceholder) {
    std::vector<uint8_t> black(kPixels * 2);
    for (size_t i = 0; i < black.size(); i += 2) {
        black[i] = 16;
        black[i + 1] = 128;
    }
    auto yuyv = capture("yuyv", kPixels * 2, black);
    ASSERT_EQ(yuyv.size(), kPixels * 2);

    // ffmpeg, an independent decoder, turns it back into B, G, R (with exact
    // rounding: its fast default path is biased by a step or two).
    ScopedRuntimeDir scratch;
    std::string in = scratch.file("frame.yuyv"), out = scratch.file("frame.bgr");
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(yuyv.data()), static_cast<long>(yuyv.size()));
    std::string command =
        "ffmpeg -loglevel error -y -f rawvideo -pixel_format yuyv422 "
        "-video_size 640x480 -i " +
        in +
        " -sws_flags accurate_rnd+full_chroma_int+bitexact"
        " -f rawvideo -pix_fmt bgr24 " +
        out;
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream decodedFile(out, std::ios::binary);
    std::vector<uint8_t> decoded((std::istreambuf_iterator<char>(decodedFile)), {});
    ASSERT_EQ(decoded.size(), kPixels * 3);

    // Where a pixel and its neighbours share one colour, chroma subsampling
    // loses nothing and the round trip must hold to +-2; at edges it may not.
    auto expected = placeholderBytes(false);
    size_t flat = 0, flatWithin = 0;
    for (size_t pixel = 0; pixel < kPixels; ++pixel) {
        size_t x = pixel % 640;
        if (x < 2 || x > 637) {
            continue;
        }
        bool isFlat = true;
        for (size_t n = pixel - 2; n <= pixel + 2 && isFlat; ++n) {
            for (int c = 0; c < 3; ++c) {
                isFlat = isFlat && expected[n * 3 + c] == expected[pixel * 3 + c];
            }
        }
        if (!isFlat) {
            continue;
        }
        ++flat;
        bool within = true;
        for (int c = 0; c < 3; ++c) {
            within = within && std::abs(decoded[pixel * 3 + c] - expected[pixel * 3 + c]) <= 2;
        }
        flatWithin += within;
    }
    EXPECT_GT(flat, kPixels * 3 / 4) << "the placeholder is mostly calm background";
    EXPECT_EQ(flatWithin, flat);
}
