// Sessions: a null session, independence of sessions from each other and
// from the exports, sessions on several threads, and many sessions made
// and destroyed.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "quexal/quexal.h"
#include "test_support.h"

namespace quexal {
namespace {

using Bytes = std::vector<uint8_t>;

struct SessionDeleter {
    void operator()(QxSession* s) const { qx_session_destroy(s); }
};
using SessionPtr = std::unique_ptr<QxSession, SessionDeleter>;

SessionPtr newSession() {
    return SessionPtr(qx_session_create());
}

// A painted hat with soft alpha edges, 200x190, as kind 1 takes.
Bytes hatPicture() {
    cv::Mat hat(190, 200, CV_8UC4, cv::Scalar(0, 0, 0, 0));
    cv::ellipse(hat, {100, 120}, {90, 40}, 0, 0, 360, cv::Scalar(40, 30, 160, 255), -1);
    cv::rectangle(hat, {50, 20}, {150, 120}, cv::Scalar(60, 40, 180, 200), -1);
    return Bytes(hat.data, hat.data + hat.total() * 4);
}

// One stream's plan: its frame size and row order, and a seeded sequence
// of effects over a real portrait that moves a little from frame to frame.
struct Stream {
    int width, height;
    bool bottomUp;
    const char* videoPath = nullptr;  // background video instead of a picture

    SessionPtr session = newSession();
    cv::Mat portrait, scene;
    Bytes output;

    void start() {
        portrait = cv::Mat();
        cv::resize(test::loadPhoto("astronaut_320x240.png"), portrait, {width, height});
        cv::resize(test::loadPhoto("solvay_face_320x240.png"), scene, {width, height});
        ASSERT_EQ(
            1, qx_init(session.get(), QUEXAL_DATA_ROOT, width, bottomUp ? height : -height, 0, 0));
        const Bytes hat = hatPicture();
        ASSERT_EQ(1,
                  qx_set_mask_image(session.get(), hat.data(), 200, 190, 1, QX_MASK_MAGIC, 0, 0));
        const Bytes empty = test::toHostFrame(scene, bottomUp);
        ASSERT_EQ(1, qx_get_bkg_snapshot(session.get(), empty.data(), width, height, 0));
        if (videoPath != nullptr) {
            ASSERT_EQ(1, qx_set_bkg(session.get(), videoPath, QX_BKG_VIDEO, 0, 0, 0));
        } else {
            cv::Mat picture;
            cv::resize(test::loadPhoto("astronaut_320x240.png"), picture, {97, 61});
            cv::flip(picture, picture, 1);
            ASSERT_EQ(1, qx_set_bkg(session.get(), picture.data, QX_BKG_PICTURE, 97, 61, 0));
        }
    }

    // Frame i: the portrait shifted by a few pixels, through every effect.
    void step(int i) {
        const cv::Mat shift = (cv::Mat_<double>(2, 3) << 1, 0, i % 5, 0, 1, (i * 3) % 4);
        cv::Mat moved;
        cv::warpAffine(portrait, moved, shift, portrait.size(), cv::INTER_NEAREST,
                       cv::BORDER_REPLICATE);
        Bytes frame = test::toHostFrame(moved, bottomUp);
        const std::array<int32_t, 6> codes = {
            qx_process_mask(session.get(), frame.data(), i % 3, 0),
            qx_process_lens(session.get(), frame.data(), 1 + i % 7),
            qx_process_color(session.get(), frame.data(), i % 2 ? QX_COLOR_GLOW : QX_COLOR_SEPIA),
            qx_process_fire(session.get(), frame.data()),
            qx_process_bkg(session.get(), frame.data(), i % 2, 0x00FFFF, 0, 0),
            qx_process_lens(session.get(), frame.data(), QX_LENS_MIRROR)};
        for (int32_t code : codes) output.push_back(static_cast<uint8_t>(code));
        output.insert(output.end(), frame.begin(), frame.end());
    }

    void run(int frames) {
        start();
        for (int i = 0; i < frames; ++i) step(i);
    }
};

constexpr int kFrames = 12;

TEST(Session, NullSessionAnswersAsAFreshOneAndTouchesNothing) {
    SessionPtr fresh = newSession();
    ASSERT_NE(nullptr, fresh);
    const Bytes original(32 * 16 * 3, 77);
    Bytes a = original, b = original;
    QxSession* sessions[] = {nullptr, fresh.get()};
    std::array<std::vector<int32_t>, 2> codes;
    for (int k = 0; k < 2; ++k) {
        QxSession* s = sessions[k];
        Bytes& frame = k == 0 ? a : b;
        const Bytes pixels(200 * 190 * 4, 9);
        codes[k] = {qx_process_mask(s, frame.data(), 0, 0),
                    qx_process_lens(s, frame.data(), 1),
                    qx_process_color(s, frame.data(), QX_COLOR_SEPIA),
                    qx_process_fire(s, frame.data()),
                    qx_process_bkg(s, frame.data(), 0, 0, 0, 0),
                    qx_get_bkg_snapshot(s, frame.data(), 32, 16, 0),
                    qx_set_bkg(s, frame.data(), QX_BKG_PICTURE, 32, 16, 0),
                    qx_set_bkg(s, "", QX_BKG_VIDEO, 0, 0, 0),
                    qx_set_mask_image(s, pixels.data(), 200, 190, 1, QX_MASK_MAGIC, 0, 0),
                    qx_test_mask_image(s, 200, 190, 1, QX_MASK_MAGIC, 0, 0),
                    qx_test_mask_image(s, 200, 190, 3, QX_MASK_MAGIC, 0, 0),
                    qx_check_dinamic_bkg(s, 5)};
    }
    EXPECT_EQ(codes[1], codes[0]);
    EXPECT_EQ(original, a);
    EXPECT_EQ(original, b);
    EXPECT_EQ(0, qx_init(nullptr, QUEXAL_DATA_ROOT, 32, 16, 0, 0));
    qx_session_destroy(nullptr);
}

TEST(Session, InterleavedSessionsGiveTheBytesTheyGiveAlone) {
    Stream soloA{320, 240, true}, soloB{352, 288, false};
    soloA.run(kFrames);
    soloB.run(kFrames);

    Stream a{320, 240, true}, b{352, 288, false};
    a.start();
    b.start();
    for (int i = 0; i < kFrames; ++i) {
        b.step(i);
        a.step(i);
    }
    EXPECT_TRUE(soloA.output == a.output);
    EXPECT_TRUE(soloB.output == b.output);
}

TEST(Session, PictureAndSnapshotStayInTheirSession) {
    SessionPtr a = newSession(), b = newSession();
    for (QxSession* s : {a.get(), b.get()})
        ASSERT_EQ(1, qx_init(s, QUEXAL_DATA_ROOT, 64, 48, 0, 0));
    ASSERT_EQ(1, _QX_init(QUEXAL_DATA_ROOT, 64, 48, 0, 0));

    const Bytes hat = hatPicture();
    Bytes frame(64 * 48 * 3, 50);
    ASSERT_EQ(1, qx_set_mask_image(a.get(), hat.data(), 200, 190, 1, QX_MASK_MAGIC, 0, 0));
    ASSERT_EQ(1, qx_get_bkg_snapshot(a.get(), frame.data(), 64, 48, 0));
    ASSERT_EQ(1, qx_set_bkg(a.get(), frame.data(), QX_BKG_PICTURE, 64, 48, 0));
    EXPECT_EQ(1, qx_process_mask(a.get(), frame.data(), 0, 0));
    EXPECT_EQ(1, qx_process_bkg(a.get(), frame.data(), 0, 0, 0, 0));

    EXPECT_EQ(0, qx_process_mask(b.get(), frame.data(), 0, 0));
    EXPECT_EQ(QX_BKG_NO_REFERENCE, qx_process_bkg(b.get(), frame.data(), 0, 0, 0, 0));
    EXPECT_EQ(0, _QX_process_mask(frame.data(), 0, 0));
    EXPECT_EQ(QX_BKG_NO_REFERENCE, _QX_process_bkg(frame.data(), 0, 0, 0, 0));
}

TEST(Session, TwoFreshSessionsDrawTheSameFlames) {
    SessionPtr a = newSession(), b = newSession();
    Bytes fa(80 * 60 * 3, 0), fb(80 * 60 * 3, 0);
    ASSERT_EQ(1, qx_init(a.get(), QUEXAL_DATA_ROOT, 80, 60, 0, 0));
    ASSERT_EQ(1, qx_process_fire(a.get(), fa.data()));  // a's generator moves on
    ASSERT_EQ(1, qx_init(b.get(), QUEXAL_DATA_ROOT, 80, 60, 0, 0));
    ASSERT_EQ(1, qx_process_fire(b.get(), fb.data()));
    EXPECT_EQ(fa, fb);
}

// Four streams on four threads at once, one with a playing background
// video. The picture streams must give their solo bytes; the video one
// depends on playback timing and is run for its races only.
TEST(SessionThreads, FourSessionsOnFourThreadsGiveSoloBytes) {
    const std::string clip = test::tempPath("session_threads.avi");
    ASSERT_TRUE(test::writeTestVideo(clip, 96, 64, 30));

    std::vector<Stream> solo;
    solo.reserve(3);
    solo.push_back({320, 240, true});
    solo.push_back({321, 241, false});
    solo.push_back({160, 120, true});
    for (Stream& s : solo) s.run(kFrames);

    std::vector<Stream> streams;
    streams.reserve(4);
    streams.push_back({320, 240, true});
    streams.push_back({321, 241, false});
    streams.push_back({160, 120, true});
    streams.push_back({200, 150, false, clip.c_str()});
    std::vector<std::thread> threads;
    for (Stream& s : streams) threads.emplace_back([&s] { s.run(kFrames); });
    for (std::thread& t : threads) t.join();

    for (std::size_t k = 0; k < solo.size(); ++k)
        EXPECT_TRUE(solo[k].output == streams[k].output) << "stream " << k;
    EXPECT_EQ(static_cast<std::size_t>(kFrames) * (6 + 200 * 150 * 3), streams[3].output.size());
}

TEST(SessionOptions, KnownNamesInRangeAreSetOthersRefused) {
    SessionPtr s = newSession();
    EXPECT_EQ(QX_OPTION_SET, qx_set_option(s.get(), "exposure_compensation", 1));
    EXPECT_EQ(QX_OPTION_SET, qx_set_option(s.get(), "exposure_compensation", 0));
    EXPECT_EQ(QX_OPTION_OUT_OF_RANGE, qx_set_option(s.get(), "exposure_compensation", 2));
    EXPECT_EQ(QX_OPTION_UNKNOWN, qx_set_option(s.get(), "exposure", 1));
    EXPECT_EQ(QX_OPTION_UNKNOWN, qx_set_option(s.get(), nullptr, 1));
    // A null session checks, like a fresh one, and keeps nothing.
    EXPECT_EQ(QX_OPTION_SET, qx_set_option(nullptr, "exposure_compensation", 1));
    EXPECT_EQ(QX_OPTION_OUT_OF_RANGE, qx_set_option(nullptr, "exposure_compensation", -1));
}

long processThreadCount() {
    return test::processStatusField("Threads");
}
long residentKilobytes() {
    return test::processStatusField("VmRSS");
}

// The thread count once it has settled at `expected`, or whatever it is
// after two seconds: the kernel drops a joined thread from the count a
// little after join() returns.
long threadCountSettlingAt(long expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    long count = processThreadCount();
    while (count != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = processThreadCount();
    }
    return count;
}

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer holds freed memory in quarantine; its leak check stands
// in for the resident-memory one.
constexpr bool kResidentMemoryMeaningful = false;
#else
constexpr bool kResidentMemoryMeaningful = true;
#endif

// Every tenth session is initialised and plays a video when it is destroyed: its thread must
// be joined, and memory must not grow with the count.
TEST(SessionLifetime, AThousandSessionsLeaveNoThreadAndNoMemory) {
    const std::string clip = test::tempPath("session_lifetime.avi");
    ASSERT_TRUE(test::writeTestVideo(clip, 64, 48, 10));
    Bytes frame(64 * 48 * 3, 90);
    auto round = [&](int count) {
        for (int i = 0; i < count; ++i) {
            SessionPtr s = newSession();
            ASSERT_NE(nullptr, s);
            if (i % 10 != 0) continue;
            ASSERT_EQ(1, qx_init(s.get(), QUEXAL_DATA_ROOT, 64, 48, 0, 0));
            ASSERT_EQ(1, qx_process_color(s.get(), frame.data(), QX_COLOR_GLOW));
            ASSERT_EQ(1, qx_get_bkg_snapshot(s.get(), frame.data(), 64, 48, 0));
            ASSERT_EQ(1, qx_set_bkg(s.get(), clip.c_str(), QX_BKG_VIDEO, 0, 0, 0));
        }
    };
    round(100);  // warm-up: allocator pools, OpenCV's and FFmpeg's one-time state
    const long threadsBefore = threadCountSettlingAt(-1);  // once the warm-up's threads have left
    const long residentBefore = residentKilobytes();
    round(900);
    EXPECT_EQ(threadsBefore, threadCountSettlingAt(threadsBefore));
    if (kResidentMemoryMeaningful)
        EXPECT_LT(residentKilobytes() - residentBefore, 8 * 1024) << "kB grown over 900 sessions";
}

}  // namespace
}  // namespace quexal
