// The elements in real pipelines: every output frame must equal, byte for
// byte, what the library gives for the same input through a session.
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gtest/gtest.h>

#include "pipeline_support.h"

namespace gsttest {
namespace {

constexpr int kOddWidth = 321;  // rows padded: a stride of 964 bytes
constexpr int kHeight = 240;

const std::string kHat = sourceFile("data/masks/hat_200x190.png");
const std::string kPortrait = sourceFile("tests/data/solvay_face_320x240.png");
const std::string kPerson = sourceFile("data/sample/astronaut_320x240.png");
const std::string kEmptyScene = sourceFile("data/sample/rocket_320x240.png");
const std::string kBeach = sourceFile("data/sample/coffee_320x240.png");

// A moving test picture at the odd width, captured before the effect.
std::string testSource(int frames) {
    return "videotestsrc num-buffers=" + std::to_string(frames) +
           " pattern=ball background-color=0xff3060a0 ! " + bgrCaps(kOddWidth, kHeight) +
           " ! tee name=t t. ! queue ! appsink name=in sync=false wait-on-eos=false ";
}

// A still picture repeated, scaled to the odd width.
std::string stillSource(const std::string& picture, int frames) {
    return "filesrc location=" + picture +
           " ! pngdec ! imagefreeze num-buffers=" + std::to_string(frames) +
           " ! videoconvert ! videoscale ! " + bgrCaps(kOddWidth, kHeight) +
           " ! tee name=t t. ! queue ! appsink name=in sync=false wait-on-eos=false ";
}

std::string branch(const std::string& element, const std::string& sink) {
    return "t. ! queue ! " + element + " ! appsink sync=false wait-on-eos=false name=" + sink + " ";
}

bool anyChanged(const std::vector<Frame>& in, const std::vector<Frame>& out) {
    for (size_t i = 0; i < in.size() && i < out.size(); ++i)
        if (in[i] != out[i]) return true;
    return false;
}

// Checks one element's frames against the library: same count, same bytes.
void expectLibraryFrames(const std::vector<Frame>& out, const std::vector<Frame>& expected,
                         size_t count) {
    ASSERT_EQ(out.size(), count);
    ASSERT_EQ(expected.size(), count);
    for (size_t i = 0; i < count; ++i)
        EXPECT_TRUE(out[i] == expected[i]) << "frame " << i << " differs";
}

Effect colour(quexal::Colour mode) {
    return [mode](quexal::Session& s, uint8_t* f) { return s.colour(f, mode); };
}
Effect lens(quexal::Lens mode) {
    return [mode](quexal::Session& s, uint8_t* f) { return s.lens(f, mode); };
}
int32_t fire(quexal::Session& s, uint8_t* f) {
    return s.fire(f);
}

TEST(GstElements, EachGivesTheLibraryFramesAtAnOddWidth) {
    constexpr int kFrames = 4;
    const Prepare clearMask = [](quexal::Session& s, const Frame&) {
        registerMaskPicture(s, "", quexal::MaskKind::AboveFace);
    };
    const Prepare firstFrameBackground = [](quexal::Session& s, const Frame& first) {
        ASSERT_EQ(s.snapshot(first.bytes.data(), first.width, first.height), QX_DONE);
        setBackgroundPicture(s, kBeach);
    };
    const struct {
        std::string element;
        Effect effect;
        Prepare prepare;
        bool changes;
    } cases[] = {
        {"quexalcolour mode=sepia", colour(quexal::Colour::Sepia), {}, true},
        {"quexalcolour mode=17", colour(quexal::Colour::Grey), {}, true},
        {"quexallens mode=bulge", lens(quexal::Lens::Bulge), {}, true},
        {"quexallens mode=2", lens(quexal::Lens::Mirror), {}, true},
        {"quexalfire", fire, {}, true},
        // No face in the test picture: the frames pass as the library leaves them.
        {"quexalmask eyes=pixelate",
         [](quexal::Session& s, uint8_t* f) { return s.mask(f, quexal::MaskMode::PixelateEyes); },
         clearMask, false},
        {"quexalbackground source=" + kBeach,
         [](quexal::Session& s, uint8_t* f) { return static_cast<int32_t>(s.background(f)); },
         firstFrameBackground, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.element);
        Pipeline p(testSource(kFrames) + branch(c.element, "out"));
        ASSERT_TRUE(p.valid());
        ASSERT_EQ(p.playToEnd(), "");
        const std::vector<Frame> in = p.frames("in");
        const std::vector<Frame> out = p.frames("out");
        expectLibraryFrames(out, throughLibrary(in, c.effect, c.prepare), kFrames);
        EXPECT_EQ(anyChanged(in, out), c.changes);
    }
}

// Lens maps and the fire's animation live in the session: elements that
// shared one would disturb each other.
TEST(GstElements, TwoOfAKindKeepTheirOwnState) {
    constexpr int kFrames = 5;
    Pipeline p(testSource(kFrames) + branch("quexallens mode=swirl", "swirl") +
               branch("quexallens mode=pinch", "pinch") + branch("quexalfire", "fire1") +
               branch("quexalfire", "fire2"));
    ASSERT_TRUE(p.valid());
    ASSERT_EQ(p.playToEnd(), "");
    const std::vector<Frame> in = p.frames("in");
    expectLibraryFrames(p.frames("swirl"), throughLibrary(in, lens(quexal::Lens::Swirl)), kFrames);
    expectLibraryFrames(p.frames("pinch"), throughLibrary(in, lens(quexal::Lens::Pinch)), kFrames);
    const std::vector<Frame> fired = throughLibrary(in, fire);
    expectLibraryFrames(p.frames("fire1"), fired, kFrames);
    expectLibraryFrames(p.frames("fire2"), fired, kFrames);
}

TEST(GstMask, DrawsAPictureOrHidesTheEyesOnAPortrait) {
    constexpr int kFrames = 6;
    Pipeline p(stillSource(kPortrait, kFrames) +
               branch("quexalmask picture=" + kHat + " kind=above-face", "hat") +
               branch("quexalmask eyes=blur kind=4", "blur"));
    ASSERT_TRUE(p.valid());
    ASSERT_EQ(p.playToEnd(), "");
    const std::vector<Frame> in = p.frames("in");
    const std::vector<Frame> hat = p.frames("hat");
    const std::vector<Frame> blur = p.frames("blur");
    expectLibraryFrames(hat,
                        throughLibrary(
                            in, [](quexal::Session& s, uint8_t* f) { return s.mask(f); },
                            [](quexal::Session& s, const Frame&) {
                                registerMaskPicture(s, kHat, quexal::MaskKind::AboveFace);
                            }),
                        kFrames);
    expectLibraryFrames(
        blur,
        throughLibrary(
            in,
            [](quexal::Session& s, uint8_t* f) { return s.mask(f, quexal::MaskMode::BlurEyes); },
            [](quexal::Session& s, const Frame&) {
                registerMaskPicture(s, "", quexal::MaskKind::OnEyes);
            }),
        kFrames);
    ASSERT_EQ(in.size(), static_cast<size_t>(kFrames));
    EXPECT_NE(hat.back(), in.back()) << "no hat drawn on the portrait";
    EXPECT_NE(blur.back(), in.back()) << "the eyes were not blurred";
    EXPECT_NE(hat.back(), blur.back());
}

// The same person against a reference picture of the empty scene (with a
// red halo, 0xBBGGRR to the library, and a cut line), against the first
// frame, and against the frame the snapshot signal asks for.
TEST(GstBackground, ReferencePictureFirstFrameAndSnapshot) {
    constexpr int kFrames = 3;
    Pipeline p(stillSource(kPerson, kFrames) +
               branch("quexalbackground source=" + kBeach + " reference=" + kEmptyScene +
                          " halo-colour=0xFF0000 cut-line=80",
                      "reference") +
               branch("quexalbackground source=" + kBeach, "first") +
               branch("quexalbackground name=snap source=" + kBeach + " reference=" + kEmptyScene,
                      "snapshot"));
    ASSERT_TRUE(p.valid());
    g_signal_emit_by_name(p.element("snap"), "snapshot");
    ASSERT_EQ(p.playToEnd(), "");
    const std::vector<Frame> in = p.frames("in");

    const std::vector<Frame> againstReference = throughLibrary(
        in,
        [](quexal::Session& s, uint8_t* f) {
            constexpr int32_t kRedAsBgr = 0x0000FF;
            return static_cast<int32_t>(s.background(f, kRedAsBgr, 80));
        },
        [](quexal::Session& s, const Frame& first) {
            snapshotPicture(s, kEmptyScene, first.width, first.height);
            setBackgroundPicture(s, kBeach);
        });
    const std::vector<Frame> againstFirst = throughLibrary(
        in, [](quexal::Session& s, uint8_t* f) { return static_cast<int32_t>(s.background(f)); },
        [](quexal::Session& s, const Frame& first) {
            ASSERT_EQ(s.snapshot(first.bytes.data(), first.width, first.height), QX_DONE);
            setBackgroundPicture(s, kBeach);
        });
    expectLibraryFrames(p.frames("reference"), againstReference, kFrames);
    expectLibraryFrames(p.frames("first"), againstFirst, kFrames);
    expectLibraryFrames(p.frames("snapshot"), againstFirst, kFrames);
    EXPECT_NE(againstReference.back(), againstFirst.back());
    EXPECT_NE(againstReference.back(), in.back());
}

// Frames of one size, then at another frame rate, then of another size:
// each element starts over at the new size only, the background taking its
// reference again from the first frame of that size.
TEST(GstElements, CapsChangeMidStream) {
    const struct {
        int width, height, framesPerSecond;
    } streams[] = {{kOddWidth, kHeight, 30}, {kOddWidth, kHeight, 15}, {160, 121, 15}};
    std::vector<Frame> input;
    std::vector<int> rates;
    for (const auto& stream : streams) {
        for (int n = 0; n < 2; ++n) {
            Frame f{stream.width, stream.height, {}};
            f.bytes.resize(static_cast<size_t>(f.width) * f.height * 3);
            const size_t shift = input.size() * 40;
            for (size_t i = 0; i < f.bytes.size(); ++i)
                f.bytes[i] = static_cast<uint8_t>((i * 7 + shift) / 5);
            input.push_back(std::move(f));
            rates.push_back(stream.framesPerSecond);
        }
    }
    Pipeline p("appsrc name=src format=time max-bytes=0 ! tee name=t " +
               branch("quexalfire", "fire") +
               branch("quexalbackground source=" + kBeach, "background"));
    ASSERT_TRUE(p.valid());
    GstAppSrc* src = GST_APP_SRC(p.element("src"));
    for (size_t i = 0; i < input.size(); ++i) {
        GstSample* sample = toSample(input[i], rates[i]);
        ASSERT_EQ(gst_app_src_push_sample(src, sample), GST_FLOW_OK);
        gst_sample_unref(sample);
    }
    gst_app_src_end_of_stream(src);
    ASSERT_EQ(p.playToEnd(), "");

    expectLibraryFrames(p.frames("fire"), throughLibrary(input, fire), input.size());
    expectLibraryFrames(
        p.frames("background"),
        throughLibrary(
            input,
            [](quexal::Session& s, uint8_t* f) { return static_cast<int32_t>(s.background(f)); },
            [](quexal::Session& s, const Frame& first) {
                ASSERT_EQ(s.snapshot(first.bytes.data(), first.width, first.height), QX_DONE);
                setBackgroundPicture(s, kBeach);
            }),
        input.size());
}

// A property set while playing applies from the next frame on.
TEST(GstElements, PropertyChangeAppliesToTheNextFrame) {
    Pipeline p(
        "appsrc name=src format=time ! quexalcolour name=colour mode=sepia ! appsink name=out "
        "sync=false");
    ASSERT_TRUE(p.valid());
    GstAppSrc* src = GST_APP_SRC(p.element("src"));
    GstAppSink* out = GST_APP_SINK(p.element("out"));
    p.start();
    std::vector<Frame> input(2, Frame{kOddWidth, 8, std::vector<uint8_t>(kOddWidth * 8 * 3, 90)});
    input[1].bytes[5] = 200;
    std::vector<Frame> output;
    for (const Frame& f : input) {
        GstSample* sample = toSample(f);
        ASSERT_EQ(gst_app_src_push_sample(src, sample), GST_FLOW_OK);
        gst_sample_unref(sample);
        GstSample* processed = gst_app_sink_try_pull_sample(out, 30 * GST_SECOND);
        ASSERT_NE(processed, nullptr);
        output.push_back(toFrame(processed));
        gst_sample_unref(processed);
        g_object_set(p.element("colour"), "mode", QX_COLOR_NEGATIVE, nullptr);
    }
    EXPECT_EQ(output[0], throughLibrary({input[0]}, colour(quexal::Colour::Sepia))[0]);
    EXPECT_EQ(output[1], throughLibrary({input[1]}, colour(quexal::Colour::Negative))[0]);
}

// Files that cannot be used end the stream with an error on the bus that
// names them.
TEST(GstElements, UnusableFilesAreBusErrors) {
    const std::string missing = "/nonexistent/quexal/picture.png";
    const struct {
        std::string element;
        std::string message;
    } cases[] = {
        {"quexalmask picture=" + missing, "No mask picture \"" + missing + "\""},
        {"quexalmask picture=" + kPortrait, "has no alpha channel"},
        {"quexalmask kind=on-eyes picture=" + kHat, "is 200x190; kind 4 takes 100x90"},
        {"quexalbackground source=" + missing, "No background source"},
        {"quexalbackground source=" + kBeach + " reference=" + missing, "No reference picture"},
        {"quexalbackground source=" + sourceFile("README.md"), "Cannot use"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.element);
        Pipeline p("videotestsrc num-buffers=3 ! " + bgrCaps(kOddWidth, kHeight) + " ! " +
                   c.element + " ! fakesink");
        ASSERT_TRUE(p.valid());
        EXPECT_NE(p.playToEnd().find(c.message), std::string::npos);
    }
}

// Without the face cascades no session can start: the pipeline stops with
// an error that says where they were looked for.
TEST(GstElements, MissingDataFolderIsABusError) {
    g_setenv("QUEXAL_DATA", "/nonexistent/quexal", TRUE);
    Pipeline p("videotestsrc num-buffers=2 ! " + bgrCaps(kOddWidth, kHeight) +
               " ! quexalcolour ! fakesink");
    const std::string error = p.valid() ? p.playToEnd() : "";
    g_unsetenv("QUEXAL_DATA");
    EXPECT_NE(error.find("Cannot prepare the effect for 321x240 frames"), std::string::npos)
        << error;
    EXPECT_NE(error.find("/nonexistent/quexal/QXdata"), std::string::npos) << error;
}

// A video source plays behind the person once its reader delivers frames.
TEST(GstBackground, PlaysAVideoSource) {
    const std::string clip = std::string(QUEXAL_GST_TEST_OUTPUT) + "/background_source.avi";
    Pipeline record(
        "videotestsrc num-buffers=10 pattern=smpte ! video/x-raw,width=160,height=120 ! jpegenc ! "
        "avimux ! filesink location=" +
        clip);
    ASSERT_TRUE(record.valid());
    ASSERT_EQ(record.playToEnd(), "");

    // Live, so that the reader has time to start while frames come (three
    // seconds, as a loaded machine may need).
    Pipeline p("videotestsrc is-live=true num-buffers=90 ! " + bgrCaps(kOddWidth, kHeight) +
               " ! tee name=t t. ! queue ! appsink name=in sync=false wait-on-eos=false " +
               branch("quexalbackground source=" + clip, "out"));
    ASSERT_TRUE(p.valid());
    ASSERT_EQ(p.playToEnd(), "");
    const std::vector<Frame> in = p.frames("in");
    const std::vector<Frame> out = p.frames("out");
    ASSERT_EQ(out.size(), 90u);
    EXPECT_NE(out.back(), in.back());
}

}  // namespace
}  // namespace gsttest

namespace {

// GStreamer starts (and reads its registry) only when tests run, not when
// they are listed.
class GStreamerEnvironment : public testing::Environment {
public:
    void SetUp() override {
        // The plugin under test and a registry of the tests' own.
        g_setenv("GST_PLUGIN_PATH", QUEXAL_GST_PLUGIN_DIR, FALSE);
        g_setenv("GST_REGISTRY", QUEXAL_GST_REGISTRY, FALSE);
        gst_init(nullptr, nullptr);
    }
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new GStreamerEnvironment);
    return RUN_ALL_TESTS();
}
