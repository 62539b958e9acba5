// The host's own pieces: effect names, row order, mask pictures, media
// and the demo clip. The effects themselves are tested with the library.
#include <algorithm>
#include <filesystem>

#include <CLI/CLI.hpp>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <opencv2/videoio/registry.hpp>

#include "command_line.h"
#include "commands.h"
#include "contact_sheet.h"
#include "demo_clip.h"
#include "effect_choice.h"
#include "effect_runner.h"
#include "host_error.h"
#include "library_host.h"
#include "mask_pictures.h"
#include "media.h"
#include "quexal/quexal.h"

namespace qxcli {
namespace {

namespace fs = std::filesystem;

fs::path scratchDir(const std::string& name) {
    const fs::path dir =
        fs::temp_directory_path() / ("quexal_cli_" + name + "_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

cv::Mat samplePicture(const char* name) {
    return cv::imread(std::string(QUEXAL_SAMPLE_DIR) + "/sample/" + name, cv::IMREAD_COLOR);
}

TEST(EffectNames, EveryKnownNameParsesToItsExport) {
    for (const std::string& name : knownEffectNames()) {
        const auto choice = parseEffect(name);
        ASSERT_TRUE(choice) << name;
        EXPECT_EQ(choice->name, name);
    }
    EXPECT_EQ(parseEffect("colour:negative")->mode, QX_COLOR_NEGATIVE);
    EXPECT_EQ(parseEffect("colour:softgrey")->mode, QX_COLOR_SOFT_GREY);
    EXPECT_EQ(parseEffect("colour:sepia")->mode, QX_COLOR_SEPIA);
    EXPECT_EQ(parseEffect("color:grey")->name, "colour:grey");
    EXPECT_EQ(parseEffect("lens:7")->mode, 7);
    EXPECT_EQ(parseEffect("lens:bulge")->mode, 4);
    EXPECT_EQ(parseEffect("lens:pinch")->name, "lens:7");
    EXPECT_EQ(parseEffect("eyes:pixelate")->mode, 1);
    EXPECT_EQ(parseEffect("eyes:blur")->mode, 2);
    EXPECT_EQ(parseEffect("background")->family, Family::Background);
}

TEST(EffectNames, NearMissesAreRejected) {
    for (const char* bad :
         {"", "colour", "colour:", "colour:pink", "lens", "lens:0", "lens:8", "lens:12", "lens:-1",
          "fire:1", "mask:2", "eyes", "eyes:wink", "Fire", "background:x"})
        EXPECT_FALSE(parseEffect(bad)) << bad;
}

// Parses a command line the way main() does; the parse errors CLI11 throws
// pass through.
CommandLine parse(std::vector<std::string> words) {
    CLI::App app;
    CommandLine line;
    describeCommandLine(app, line);
    std::reverse(words.begin(), words.end());  // CLI11 takes them last first
    app.parse(words);
    return line;
}

TEST(CommandLine, OptionsTakeTheirValueEitherWayAndAreChecked) {
    const CommandLine line =
        parse({"run", "background", "in.avi", "out.avi", "--source=beach.png", "--halo", "0x00FFFF",
               "--cut-line=60", "--frames", "12", "--top-down", "--show"});
    EXPECT_EQ(line.command, Command::Run);
    EXPECT_EQ(line.run.options.source, "beach.png");
    EXPECT_EQ(line.run.options.cutLine, 60);
    EXPECT_EQ(line.run.frames, 12);
    EXPECT_EQ(line.run.order, RowOrder::TopDown);
    EXPECT_TRUE(line.run.show);
    CommandLine finished = line;
    finishRunArgs(finished);
    EXPECT_EQ(finished.run.options.haloColor, 0x00FFFFu);

    for (const char* bad : {"--kind=5", "--kind=8x", "--cut-line=101", "--fps=0", "--halo=red",
                            "--halo=0x1000000", "--frames=-1", "--sparkle"})
        EXPECT_THROW(parse({"run", "mask", "in.png", "out.png", bad}), CLI::ParseError) << bad;
    EXPECT_THROW(parse({"run", "sparkle", "in.png", "out.png"}), CLI::ParseError);
    EXPECT_THROW(parse({"run", "fire", "in.png"}), CLI::ParseError);
}

TEST(CommandLine, HelpIsAnswerNotAnArgument) {
    // --help used to be taken for a folder name by make-masks.
    for (const char* command : {"run", "demo", "make-masks"}) {
        try {
            parse({command, "--help"});
            ADD_FAILURE() << command << " --help parsed as a command";
        } catch (const CLI::CallForHelp& e) {
            EXPECT_EQ(e.get_exit_code(), 0);
        }
    }
    EXPECT_THROW(parse({"--version"}), CLI::CallForVersion);
}

TEST(Media, SameFileIsToldThroughOtherPaths) {
    const fs::path dir = scratchDir("same");
    const fs::path file = dir / "clip.avi";
    cv::imwrite((dir / "x.png").string(), cv::Mat(4, 4, CV_8UC3, cv::Scalar::all(0)));
    fs::rename(dir / "x.png", file);
    fs::create_directories(dir / "sub");
    fs::create_symlink(file, dir / "link.avi");
    EXPECT_TRUE(sameFile(file.string(), (dir / "sub" / ".." / "clip.avi").string()));
    EXPECT_TRUE(sameFile(file.string(), (dir / "link.avi").string()));
    EXPECT_TRUE(sameFile(file.string(), fs::relative(file).string()));
    EXPECT_FALSE(sameFile(file.string(), (dir / "other.avi").string()));
    EXPECT_FALSE(sameFile(file.string(), (dir / "sub").string()));
    fs::remove_all(dir);
}

// A frame whose rows are told apart by their value: row r holds r.
cv::Mat rowNumbered(int width, int height) {
    cv::Mat m(height, width, CV_8UC3);
    for (int r = 0; r < height; ++r) m.row(r).setTo(cv::Scalar::all(r));
    return m;
}

TEST(RowOrder, BottomUpHandsTheLastRowFirstAndBringsChangesBack) {
    cv::Mat image = rowNumbered(5, 4);
    uint8_t firstSeen = 0;
    withHostFrame(image, RowOrder::BottomUp, [&](uint8_t* frame) {
        firstSeen = frame[0];
        std::fill(frame, frame + 5 * 3, 200);  // the host's first row
        return 1;
    });
    EXPECT_EQ(firstSeen, 3);
    EXPECT_EQ(image.at<cv::Vec3b>(3, 0)[0], 200);
    EXPECT_EQ(image.at<cv::Vec3b>(0, 0)[0], 0);
}

TEST(RowOrder, TopDownWorksOnTheImageItself) {
    cv::Mat image = rowNumbered(3, 3);
    const uint8_t* seen = nullptr;
    withHostFrame(image, RowOrder::TopDown, [&](uint8_t* frame) {
        seen = frame;
        return 1;
    });
    EXPECT_EQ(seen, image.data);
    EXPECT_EQ(toHostOrder(image, RowOrder::BottomUp).at<cv::Vec3b>(0, 0)[0], 2);
    EXPECT_EQ(toHostOrder(image, RowOrder::TopDown).at<cv::Vec3b>(0, 0)[0], 0);
}

uint8_t alphaAt(const cv::Mat& bgra, int x, int y) {
    return bgra.at<cv::Vec4b>(y, x)[3];
}

TEST(MaskPictures, EachFitsItsKindAndHasTransparentAndOpaqueParts) {
    for (const MaskPicture& m : sampleMaskPictures()) {
        SCOPED_TRACE(m.file);
        ASSERT_EQ(m.pixels.type(), CV_8UC4);
        const bool libraryJudges = _QX_test_mask_image(200, 190, 1, QX_MASK_MAGIC, 0, 0) == QX_DONE;
        if (libraryJudges)
            EXPECT_EQ(
                _QX_test_mask_image(m.pixels.cols, m.pixels.rows, m.kind, QX_MASK_MAGIC, 0, 0),
                QX_DONE);
        const cv::Size wanted =
            (m.kind == 3 || m.kind == 4) ? cv::Size(100, 90) : cv::Size(200, 190);
        EXPECT_EQ(m.pixels.size(), wanted);
        std::vector<cv::Mat> planes;
        cv::split(m.pixels, planes);
        double lo = 0, hi = 0;
        cv::minMaxLoc(planes[3], &lo, &hi);
        EXPECT_EQ(lo, 0);
        EXPECT_GE(hi, 235);
        EXPECT_EQ(alphaAt(m.pixels, 0, 0), 0) << "corners stay clear";
    }
}

TEST(MaskPictures, EyeMaskLeavesTheEyesOpenAndCoversBetweenThem) {
    const cv::Mat mask = drawEyeMask();
    EXPECT_EQ(alphaAt(mask, 25, 45), 0);
    EXPECT_EQ(alphaAt(mask, 75, 45), 0);
    EXPECT_GT(alphaAt(mask, 50, 45), 200);
    EXPECT_GT(alphaAt(mask, 5, 42), 200);
    const cv::Mat glasses = drawGlasses();
    EXPECT_GT(alphaAt(glasses, 74, 100), 100) << "tinted lens on the eye";
    EXPECT_EQ(alphaAt(glasses, 100, 20), 0);
}

TEST(MaskPictures, LoadingAddsAlphaAndRefusesMissingFiles) {
    const fs::path dir = scratchDir("load");
    cv::imwrite((dir / "rgb.png").string(), cv::Mat(90, 100, CV_8UC3, cv::Scalar(1, 2, 3)));
    const cv::Mat loaded = loadMaskPicture((dir / "rgb.png").string());
    EXPECT_EQ(loaded.type(), CV_8UC4);
    EXPECT_EQ(loaded.at<cv::Vec4b>(0, 0), cv::Vec4b(1, 2, 3, 255));
    cv::imwrite((dir / "deep.png").string(),
                cv::Mat(90, 100, CV_16UC4, cv::Scalar(65535, 0, 0, 65535)));
    EXPECT_EQ(loadMaskPicture((dir / "deep.png").string()).at<cv::Vec4b>(5, 5),
              cv::Vec4b(255, 0, 0, 255));
    EXPECT_THROW(loadMaskPicture((dir / "none.png").string()), HostError);
    fs::remove_all(dir);
}

TEST(Media, StillPictureRepeatsAndSinkKeepsTheLastFrame) {
    const fs::path dir = scratchDir("media");
    const std::string in = (dir / "in.png").string();
    cv::imwrite(in, cv::Mat(6, 8, CV_8UC3, cv::Scalar(10, 20, 30)));
    FrameSource source(in);
    EXPECT_TRUE(source.isStill());
    EXPECT_EQ(source.size(), cv::Size(8, 6));
    source.setRepeat(3);
    int frames = 0;
    cv::Mat f;
    FrameSink sink((dir / "out.png").string(), source.size(), 25);
    while (source.next(f)) {
        f.setTo(cv::Scalar::all(++frames));
        sink.write(f);
    }
    sink.finish();
    EXPECT_EQ(frames, 3);
    EXPECT_EQ(cv::imread((dir / "out.png").string()).at<cv::Vec3b>(0, 0), cv::Vec3b(3, 3, 3));
    fs::remove_all(dir);
}

TEST(Media, BadNamesAreRefusedBeforeAnythingIsWritten) {
    const fs::path dir = scratchDir("names");
    EXPECT_THROW(FrameSource((dir / "missing.avi").string()), HostError);
    EXPECT_THROW(FrameSink((dir / "f_%s.png").string(), {8, 8}, 25), HostError);
    EXPECT_THROW(FrameSink((dir / "f_%d_%d.png").string(), {8, 8}, 25), HostError);
    EXPECT_THROW(FrameSink((dir / "nowhere" / "x.png").string(), {8, 8}, 25), HostError);
    EXPECT_THROW(FrameSink((dir / "x.xyz").string(), {8, 8}, 25), HostError);
    EXPECT_THROW(FrameSink("v4l2:camera", {8, 8}, 25), HostError);
    try {
        FrameSink("v4l2:/dev/video99", {8, 8}, 25);
        ADD_FAILURE() << "a missing loopback device was opened";
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find("no video device /dev/video99"), std::string::npos)
            << e.what();
    }
    FrameSink sequence((dir / "f_%02d.png").string(), {8, 8}, 25);
    sequence.write(cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(0)));
    sequence.write(cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(0)));
    sequence.finish();
    EXPECT_TRUE(fs::exists(dir / "f_00.png"));
    EXPECT_TRUE(fs::exists(dir / "f_01.png"));
    FrameSink empty((dir / "empty.png").string(), {8, 8}, 25);
    EXPECT_THROW(empty.finish(), HostError);
    fs::remove_all(dir);
}

// No loopback device exists on a build machine; the pipeline in front of
// the v4l2sink is checked with a fakesink in its place.
TEST(Media, LoopbackPipelineTakesTheHostsFrames) {
    if (!cv::videoio_registry::hasBackend(cv::CAP_GSTREAMER))
        GTEST_SKIP() << "OpenCV without GStreamer";
    cv::VideoWriter writer(loopbackPipelineHead() + " ! fakesink", cv::CAP_GSTREAMER, 0, 25,
                           {321, 241});
    ASSERT_TRUE(writer.isOpened());
    for (int i = 0; i < 3; ++i) writer.write(cv::Mat(241, 321, CV_8UC3, cv::Scalar::all(i * 40)));
    writer.release();
}

TEST(ContactSheet, LaysOutLabelledTilesAndMarksRefusals) {
    const cv::Mat grey(30, 40, CV_8UC3, cv::Scalar::all(200));
    const std::vector<Tile> tiles = {
        {grey, "a"}, {grey, "b", true}, {grey, "a very long label that cannot fit"}};
    const cv::Mat sheet = buildContactSheet(tiles, "title", 2, {100, 75});
    EXPECT_EQ(sheet.cols, 2 * 104 + 4);
    EXPECT_EQ(sheet.rows, 28 + 2 * (95 + 4) + 4);
    const cv::Vec3b refusedBar = sheet.at<cv::Vec3b>(28 + 4 + 94, 104 + 4 + 50);
    EXPECT_GT(refusedBar[2], refusedBar[0] + 60) << "refused tiles get a red label";
    const cv::Vec3b dimmed = sheet.at<cv::Vec3b>(28 + 4 + 10, 104 + 4 + 10);
    EXPECT_LT(dimmed[0], 100);
}

TEST(DemoClip, StartsEmptyThenThePersonMoves) {
    const cv::Mat portrait = samplePicture("astronaut_320x240.png");
    const cv::Mat scene = samplePicture("rocket_320x240.png");
    ASSERT_FALSE(portrait.empty());
    ASSERT_FALSE(scene.empty());
    const DemoClip clip = synthesiseClip(portrait, scene);
    ASSERT_GE(clip.frames.size(), 60u);
    ASSERT_GT(clip.emptyFrames, 0);

    auto changedArea = [&](int t, cv::Point2d* centre) {
        cv::Mat diff, grey;
        cv::absdiff(clip.frames[t], scene, diff);
        cv::cvtColor(diff, grey, cv::COLOR_BGR2GRAY);
        cv::Mat changed = grey > 25;
        const cv::Moments m = cv::moments(changed, true);
        if (centre && m.m00 > 0) *centre = {m.m10 / m.m00, m.m01 / m.m00};
        return cv::countNonZero(changed) / double(changed.total());
    };
    for (int t = 0; t < clip.emptyFrames; ++t) EXPECT_LT(changedArea(t, nullptr), 0.001) << t;
    cv::Point2d a, b;
    EXPECT_GT(changedArea(47, &a), 0.2);
    EXPECT_GT(changedArea(69, &b), 0.2);
    EXPECT_GT(a.x - b.x, 30) << "the person sways sideways";
    EXPECT_LT(changedArea(static_cast<int>(clip.frames.size()) - 1, nullptr), 0.85)
        << "the scene stays around";
}

}  // namespace
}  // namespace qxcli
