// The mask's session options: the smallest face searched for, and detection
// on a worker thread.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "face_frames.h"
#include "quexal/quexal.h"
#include "session/options.h"
#include "session/session.h"
#include "test_support.h"

namespace quexal {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const cv::Mat& m) {
    return Bytes(m.data, m.data + m.total() * m.elemSize());
}

// A session at the frame's size with a mask picture registered.
void prepare(Session& s, cv::Size frame) {
    ASSERT_EQ(1, s.init(QUEXAL_DATA_ROOT, frame.width, -frame.height));
    Bytes picture(200 * 190 * 4);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = i % 4 == 3 ? 255 : static_cast<uint8_t>(i * 13);
    ASSERT_EQ(QX_DONE, s.setMaskImage(picture.data(), 200, 190, kMaskAboveFace, QX_MASK_MAGIC));
}

TEST(MinFaceOption, TheDefaultIsTheWrittenWindowAndASmallerOneFindsSmallFaces) {
    EXPECT_EQ(QX_OPTION_OUT_OF_RANGE, checkOption("min_face_permille", 9));
    EXPECT_EQ(QX_OPTION_OUT_OF_RANGE, checkOption("min_face_permille", 1001));
    EXPECT_EQ(kDefaultMinFacePermille, findOption("min_face_permille")->fallback);

    const cv::Size size(1280, 720);
    for (auto [photo, share] :
         {std::pair{"astronaut_320x240.png", 0.54}, {"solvay_face_320x240.png", 0.42}}) {
        const cv::Mat frame = test::closeUp(test::loadPhoto(photo), size, share);
        Session s;
        prepare(s, size);
        EXPECT_EQ(cv::Size(1280 / 6, 720 / 6), s.face.minFaceWindow());
        EXPECT_NE(kFaceAndEyes, s.face.detect(frame.data)) << photo;

        ASSERT_EQ(QX_OPTION_SET, s.setOption("min_face_permille", 100));
        EXPECT_EQ(cv::Size(98, 98), s.face.minFaceWindow());  // 128 px in the frame, 10 %
        ASSERT_EQ(kFaceAndEyes, s.face.detect(frame.data)) << photo;
        const int width = s.face.faceRight - s.face.faceLeft;  // about 12 % of the width
        EXPECT_LT(width, 1280 * 13 / 100) << photo;
        EXPECT_GT(width, 1280 * 11 / 100) << photo;
    }
}

// Feeds the frame until something is drawn; answers the calls it took.
int callsUntilDrawn(Session& s, const Bytes& frame, Bytes& out) {
    for (int call = 1; call <= 2000; ++call) {
        out = frame;
        EXPECT_EQ(QX_DONE, s.processMask(out.data(), 0));
        if (out != frame) return call;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return 0;
}

TEST(AsyncDetectOption, FramesPassUntouchedUntilADetectionSeedsTheTrack) {
    const cv::Size size(640, 480);
    const Bytes frame =
        bytesOf(test::closeUp(test::loadPhoto("solvay_face_320x240.png"), size, 0.9));
    Session sync, async;
    prepare(sync, size);
    prepare(async, size);
    ASSERT_EQ(QX_OPTION_SET, async.setOption("async_detect", 1));

    Bytes expected = frame;
    ASSERT_EQ(QX_DONE, sync.processMask(expected.data(), 0));
    ASSERT_NE(frame, expected);

    // The first call only hands the frame over; the first drawn frame is
    // placed exactly as the frame of a detection is.
    Bytes drawn;
    EXPECT_GT(callsUntilDrawn(async, frame, drawn), 1);
    EXPECT_EQ(expected, drawn);
    EXPECT_EQ(1, async.face.trackState);
    // Tracking holds from here on, with nothing left for the worker.
    Bytes next = frame;
    ASSERT_EQ(QX_DONE, async.processMask(next.data(), 0));
    EXPECT_NE(frame, next);
}

TEST(AsyncDetectOption, ReinitAndDestroyDuringADetectionAreClean) {
    const cv::Mat photo = test::loadPhoto("solvay_face_320x240.png");
    {
        Session s;
        prepare(s, {1280, 720});
        ASSERT_EQ(QX_OPTION_SET, s.setOption("async_detect", 1));
        Bytes large = bytesOf(test::closeUp(photo, {1280, 720}, 0.9));
        ASSERT_EQ(QX_DONE, s.processMask(large.data(), 0));  // a detection starts

        // A new size while it runs: its result is dropped, the new size is found.
        prepare(s, {640, 480});
        const Bytes small = bytesOf(test::closeUp(photo, {640, 480}, 0.9));
        Bytes drawn;
        EXPECT_GT(callsUntilDrawn(s, small, drawn), 0);

        s.face.rearmDetection();
        Bytes again = small;
        ASSERT_EQ(QX_DONE, s.processMask(again.data(), 0));
        EXPECT_EQ(small, again);  // detection restarted on the worker
    }                             // destroyed with a detection running
    Session off;
    prepare(off, {640, 480});
    ASSERT_EQ(QX_OPTION_SET, off.setOption("async_detect", 1));
    Bytes frame = bytesOf(test::closeUp(photo, {640, 480}, 0.9));
    ASSERT_EQ(QX_DONE, off.processMask(frame.data(), 0));
    ASSERT_EQ(QX_OPTION_SET, off.setOption("async_detect", 0));  // waits, then detects in line
    Bytes inLine = bytesOf(test::closeUp(photo, {640, 480}, 0.9));
    ASSERT_EQ(QX_DONE, off.processMask(inLine.data(), 0));
    EXPECT_NE(frame, inLine);
}

}  // namespace
}  // namespace quexal
