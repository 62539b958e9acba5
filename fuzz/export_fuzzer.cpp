// libFuzzer harness over the exported API. Each input is a short script of
// calls with hostile arguments, each on the exports' default session or on
// one of a few sessions the script creates and destroys (or on a null
// session): sizes out of range, every mode value,
// null and wrongly sized buffers, mask pictures of the wrong shape,
// snapshots of the wrong size, background pictures of odd sizes, and video
// paths to missing, empty, truncated and random files. Buffers are
// allocated to exactly the size the call is told about, so an overrun is an
// AddressSanitizer report.
//
// Beyond crashes the harness checks what a host relies on:
//   - every result is one of the codes its export documents;
//   - a refused call leaves the frame byte-identical;
//   - read-only inputs (pictures, snapshots, mask pictures) are never written;
//   - the refusals that follow from the arguments alone are the right ones.
// A broken invariant aborts with a message naming the call.
//
// The library state and the sessions live across inputs, as they do across
// a host's calls; an input that starts with a reload runs on a freshly
// loaded library.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "api/session_handle.h"
#include "quexal/quexal.h"
#include "session/session.h"
#include "test_support.h"

namespace {

using quexal::Session;

// Largest frame and picture side the harness asks for: small frames keep
// executions fast, and every code path is reachable at this size.
constexpr int kMaxSide = 96;
constexpr int kSmallSide = 40;
constexpr int kMaxCalls = 12;

struct Paths {
    std::string goodRoot;             // a folder with both cascades
    std::string eagerRoot;            // cascades that find a face and eyes everywhere
    std::string missingEyeRoot;       // its QXdata lacks the eye cascade
    std::string notXmlRoot;           // its face cascade is not XML
    std::string missingRoot;          // does not exist
    std::string longRoot;             // does not fit the cascade name buffer
    std::vector<std::string> videos;  // good, truncated, empty, random, missing, a folder
};

Paths paths;

[[noreturn]] void fail(const char* call, const char* what, int result) {
    std::fprintf(stderr, "invariant broken: %s: %s (result %d)\n", call, what, result);
    std::abort();
}

void expectIn(const char* call, int result, std::initializer_list<int> allowed) {
    for (int a : allowed)
        if (a == result) return;
    fail(call, "result outside the documented codes", result);
}

// Filler for host buffers past what the input supplies: fixed noise, copied
// from an input-chosen offset, so that filling a buffer is one memcpy.
constexpr std::size_t kLargestBuffer = 200 * 190 * 4;  // a large mask picture
constexpr std::size_t kNoiseOffsets = 1 << 16;
std::vector<uint8_t> noise;

void makeNoise() {
    noise.resize(kLargestBuffer + kNoiseOffsets);
    uint32_t seed = 2463534242u;
    for (uint8_t& b : noise) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
}

// A host buffer of exactly n bytes (one byte when n is 0, so that it is
// never null), filled from the input and then with noise.
struct Buffer {
    explicit Buffer(std::size_t n, FuzzedDataProvider& in)
        : size(n), bytes(new uint8_t[n ? n : 1]) {
        const std::size_t total = n ? n : 1;
        if (total > kLargestBuffer) std::abort();  // the harness never asks for more
        const std::size_t take = std::min<std::size_t>(n, in.remaining_bytes() / 4);
        const std::vector<uint8_t> head = in.ConsumeBytes<uint8_t>(take);
        if (!head.empty()) std::memcpy(bytes.get(), head.data(), head.size());
        const std::size_t offset = in.ConsumeIntegral<uint16_t>();
        std::memcpy(bytes.get() + head.size(), noise.data() + offset, total - head.size());
        copy.assign(bytes.get(), bytes.get() + total);
    }
    uint8_t* data() { return bytes.get(); }
    bool unchanged() const { return std::memcmp(copy.data(), bytes.get(), copy.size()) == 0; }

    std::size_t size;
    std::unique_ptr<uint8_t[]> bytes;
    std::vector<uint8_t> copy;
};

// The frame size the host last told the library about (an init call whose
// size was acceptable); 0 x 0 before that.
struct HostView {
    int width = 0, height = 0;
    bool sizeAccepted = false;
};

// Where a call goes: slot 0 is the exports' default session, the others
// hold sessions the script created, or null.
constexpr int kSessionSlots = 4;
struct Target {
    QxSession* session = nullptr;
    HostView view;
};
Target targets[kSessionSlots];
int current = 0;

bool onExports() {
    return current == 0;
}
bool onNullSession() {
    return current != 0 && targets[current].session == nullptr;
}
HostView& host() {
    return targets[current].view;
}

// The state behind the target; a null session shows a fresh one's.
Session& ctx() {
    static Session fresh;
    if (onExports()) return quexal::theContext();
    return onNullSession() ? fresh : targets[current].session->session;
}

// Calls the export on slot 0, else its session twin on the slot's session.
#define CALL(name, ...) \
    (onExports() ? _QX_##name(__VA_ARGS__) : qx_##name(targets[current].session, __VA_ARGS__))

std::size_t frameBytes() {
    return static_cast<std::size_t>(host().width) * host().height * 3;
}

int pickSide(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 9)) {
        case 0: return 0;
        case 1: return -in.ConsumeIntegralInRange(1, kMaxSide);
        case 2: return in.PickValueInArray({INT_MIN, INT_MAX, 1 << 16, -(1 << 16), 1 << 30});
        case 3: return in.ConsumeIntegralInRange(1, kMaxSide);
        // Mostly small: every path is reachable there, and executions stay fast.
        default: return in.ConsumeIntegralInRange(1, kSmallSide);
    }
}

int pickMode(FuzzedDataProvider& in, int low, int high) {
    if (in.ConsumeBool()) return in.ConsumeIntegral<int32_t>();
    return in.ConsumeIntegralInRange(low, high);
}

// ---- the calls -------------------------------------------------------------

void callInit(FuzzedDataProvider& in) {
    const char* path = nullptr;
    // The real cascades take most of an execution to load: they come up
    // one init in sixteen.
    switch (in.ConsumeIntegralInRange(0, 15)) {
        case 0: path = paths.missingEyeRoot.c_str(); break;
        case 1: path = paths.notXmlRoot.c_str(); break;
        case 2: path = paths.missingRoot.c_str(); break;
        case 3: path = paths.longRoot.c_str(); break;
        case 4: path = nullptr; break;
        case 5: path = paths.goodRoot.c_str(); break;
        default: path = paths.eagerRoot.c_str(); break;
    }
    int width = pickSide(in);
    int height = pickSide(in);
    if (in.ConsumeBool() && height != INT_MIN) height = -height;  // the other row order
    const int64_t area = width > 0 ? width * std::abs(static_cast<int64_t>(height)) : 0;
    const bool oversized = area > INT32_MAX / 4;  // four bytes a pixel overflow an int32
    if (width > 0 && height != 0 && !oversized && area > kMaxSide * kMaxSide) {
        // Large but valid: bring it back into range to keep executions fast.
        width = 1 + width % kMaxSide;
        height = height < 0 ? -(1 + (-(height + 1)) % kMaxSide) : 1 + height % kMaxSide;
    }
    const int oldWidth = ctx().geometry.width;
    const bool cascadesWerePending = ctx().cascadesPending == 1;
    const int result = CALL(init, path, width, height, in.ConsumeIntegral<int32_t>(),
                            in.ConsumeIntegral<int32_t>());
    expectIn("_QX_init", result, {0, 1});
    if (onNullSession()) {
        if (result != 0) fail("qx_init", "a null session accepted a size", result);
        return;
    }
    if (width <= 0 || height == 0 || oversized) {
        // Refused: status -1, the old geometry kept.
        if (result != 0) fail("_QX_init", "bad size accepted", result);
        if (ctx().status != -1) fail("_QX_init", "bad size left status other than -1", result);
        if (ctx().geometry.width != oldWidth)
            fail("_QX_init", "bad size changed the geometry", result);
        return;
    }
    // The size passed the check: the library now works at this size, even
    // when loading the cascades failed.
    host().width = width;
    host().height = height < 0 ? -height : height;
    host().sizeAccepted = true;
    if (ctx().geometry.width != host().width || ctx().geometry.height != host().height)
        fail("_QX_init", "geometry differs from the size given", result);
    if (result == 1 && ctx().status == -1) fail("_QX_init", "succeeded but status is -1", result);
    // The cascades load at the first init that finds them; after that the
    // folder no longer matters.
    const bool loads =
        !cascadesWerePending || path == paths.goodRoot.c_str() || path == paths.eagerRoot.c_str();
    if (loads != (result == 1)) fail("_QX_init", "answer does not follow the data folder", result);
}

void callProcessMask(FuzzedDataProvider& in) {
    Buffer frame(frameBytes(), in);
    const int statusBefore = ctx().status;
    const int mode = pickMode(in, -1, 4);
    const int result = CALL(process_mask, frame.data(), mode, in.ConsumeIntegral<int32_t>());
    expectIn("_QX_process_mask", result, {0, 1});
    if (statusBefore != 1 && result != 0)
        fail("_QX_process_mask", "ran without a mask picture", result);
    if (result == 0 && !frame.unchanged())
        fail("_QX_process_mask", "refusal wrote the frame", result);
}

void callProcessLens(FuzzedDataProvider& in) {
    Buffer frame(frameBytes(), in);
    const int mode = pickMode(in, -1, 9);
    const int result = CALL(process_lens, frame.data(), mode);
    expectIn("_QX_process_lens", result, {1, -1, -2});
    if (!host().sizeAccepted && result != -2) fail("_QX_process_lens", "ran before init", result);
    if ((mode < 1 || mode > 7) && result == 1)
        fail("_QX_process_lens", "ran an unknown mode", result);
    if (result != 1 && !frame.unchanged())
        fail("_QX_process_lens", "refusal wrote the frame", result);
}

void callProcessColor(FuzzedDataProvider& in) {
    Buffer frame(frameBytes(), in);
    const int mode = pickMode(in, 14, 27);
    const int result = CALL(process_color, frame.data(), mode);
    expectIn("_QX_process_color", result, {1, -1, -2});
    const bool known = mode == 16 || mode == 17 || mode == 18 || mode == 24 || mode == 25;
    if (!known && result == 1) fail("_QX_process_color", "ran an unknown mode", result);
    if (known && host().sizeAccepted && ctx().initialised() && result != 1)
        fail("_QX_process_color", "refused a known mode after init", result);
    if (result != 1 && !frame.unchanged())
        fail("_QX_process_color", "refusal wrote the frame", result);
}

void callProcessFire(FuzzedDataProvider& in) {
    Buffer frame(frameBytes(), in);
    const int statusBefore = ctx().status;
    const int result = CALL(process_fire, frame.data());
    expectIn("_QX_process_fire", result, {1, -2});
    if (statusBefore == -1 && result != -2) fail("_QX_process_fire", "ran while not ready", result);
    if (result != 1 && !frame.unchanged())
        fail("_QX_process_fire", "refusal wrote the frame", result);
}

void callProcessBkg(FuzzedDataProvider& in) {
    Buffer frame(frameBytes(), in);
    const int bkgState = ctx().background.state;
    const int halo = in.ConsumeBool() ? 0 : in.ConsumeIntegral<int32_t>();
    const int haloColor = in.ConsumeIntegral<int32_t>();
    const int cutLine =
        in.ConsumeBool() ? in.ConsumeIntegralInRange(-10, 110) : in.ConsumeIntegral<int32_t>();
    const int result =
        CALL(process_bkg, frame.data(), halo, haloColor, cutLine, in.ConsumeIntegral<int32_t>());
    expectIn("_QX_process_bkg", result, {1, 0, -1, -2});
    if (bkgState == -1 && result != -2) fail("_QX_process_bkg", "ran without a reference", result);
    if (bkgState == 0 && result != -1) fail("_QX_process_bkg", "ran without a source", result);
    if (result < 0 && !frame.unchanged())
        fail("_QX_process_bkg", "refusal wrote the frame", result);
}

void callSetBkgVideo(FuzzedDataProvider& in) {
    const std::string& path =
        paths.videos[in.ConsumeIntegralInRange<std::size_t>(0, paths.videos.size() - 1)];
    const void* source = in.ConsumeIntegralInRange(0, 15) == 0 ? nullptr : path.c_str();
    const int bkgState = ctx().background.state;
    const int result = CALL(set_bkg, source, QX_BKG_VIDEO, in.ConsumeIntegral<int32_t>(),
                            in.ConsumeIntegral<int32_t>(), in.ConsumeIntegral<int32_t>());
    expectIn("_QX_set_bkg(video)", result, {0, 1});
    if (bkgState == -1 && result != 0)
        fail("_QX_set_bkg(video)", "set without a reference", result);
    // A null path, like the empty one, only stops the video.
    if (source == nullptr && bkgState != -1 && result != 1)
        fail("_QX_set_bkg(video)", "refused a null path", result);
    if (source == nullptr && ctx().background.state != bkgState)
        fail("_QX_set_bkg(video)", "a null path changed the source", result);
}

// A side for a picture the host holds: the library cannot check the length
// of a buffer, so sides above the harness's range are brought back in.
int pickPictureSide(FuzzedDataProvider& in) {
    const int side = pickSide(in);
    return side > kMaxSide ? 1 + side % kMaxSide : side;
}

void callSetBkgPicture(FuzzedDataProvider& in) {
    const int width = pickPictureSide(in);
    const int height = pickPictureSide(in);
    const bool positive = width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide;
    // The picture holds what its size says; for other sizes the library
    // must not read it at all, so a small buffer is enough.
    Buffer picture(positive ? static_cast<std::size_t>(width) * height * 3 : 3, in);
    int type = QX_BKG_PICTURE;
    // Any type but the video one, whose source must be text.
    if (in.ConsumeIntegralInRange(0, 7) == 0) type = pickMode(in, -1, 4);
    if (type == QX_BKG_VIDEO) type = 0;
    const int bkgState = ctx().background.state;
    const int result =
        CALL(set_bkg, picture.data(), type, width, height, in.ConsumeIntegral<int32_t>());
    expectIn("_QX_set_bkg(picture)", result, {0, 1});
    if (!picture.unchanged()) fail("_QX_set_bkg(picture)", "wrote the host's picture", result);
    if (type != QX_BKG_PICTURE && type != QX_BKG_VIDEO && result != 0)
        fail("_QX_set_bkg(picture)", "accepted an unknown type", result);
    if (type == QX_BKG_PICTURE && (!positive || bkgState == -1) && result != 0)
        fail("_QX_set_bkg(picture)", "accepted a bad picture or no reference", result);
}

void callSnapshot(FuzzedDataProvider& in) {
    int width = host().width, height = host().height;
    switch (in.ConsumeIntegralInRange(0, 5)) {
        case 0: width += in.ConsumeIntegralInRange(-2, 2); break;
        case 1: height += in.ConsumeIntegralInRange(-2, 2); break;
        case 2:
            width = pickPictureSide(in);
            height = pickPictureSide(in);
            break;
        default: break;
    }
    const bool positive = width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide;
    Buffer frame(positive ? static_cast<std::size_t>(width) * height * 3 : 3, in);
    const int result =
        CALL(get_bkg_snapshot, frame.data(), width, height, in.ConsumeIntegral<int32_t>());
    expectIn("_QX_get_bkg_snapshot", result, {0, 1});
    if (!frame.unchanged()) fail("_QX_get_bkg_snapshot", "wrote the host's frame", result);
    const bool matches = host().sizeAccepted && width == host().width && height == host().height;
    if (!matches && result != 0)
        fail("_QX_get_bkg_snapshot", "took a snapshot of the wrong size", result);
    if (result == 0 && !matches && ctx().background.state != -1)
        fail("_QX_get_bkg_snapshot", "size mismatch kept the reference", result);
}

// What _QX_test_mask_image must answer.
int expectedMaskTest(int width, int height, int kind, int magic) {
    if (magic != QX_MASK_MAGIC) return QX_TEST_MASK_BAD_MAGIC;
    if (kind == 1 || kind == 2 || kind == 8)
        return width == 200 && height == 190 ? 1 : QX_TEST_MASK_BAD_SIZE;
    if (kind == 3 || kind == 4) return width == 100 && height == 90 ? 1 : QX_TEST_MASK_BAD_SIZE;
    return QX_TEST_MASK_BAD_KIND;
}

void pickMaskShape(FuzzedDataProvider& in, int& width, int& height, int& kind, int& magic) {
    kind = in.ConsumeBool() ? in.PickValueInArray({1, 2, 3, 4, 8}) : pickMode(in, -1, 9);
    const bool large = kind == 1 || kind == 2 || kind == 8;
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            width = pickSide(in);
            height = pickSide(in);
            break;
        case 1:
            width = large ? 100 : 200;
            height = large ? 90 : 190;
            break;  // the other kind's size
        default:
            width = large ? 200 : 100;
            height = large ? 190 : 90;
            break;
    }
    magic = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<int32_t>() : QX_MASK_MAGIC;
}

void callSetMaskImage(FuzzedDataProvider& in) {
    int width, height, kind, magic;
    pickMaskShape(in, width, height, kind, magic);
    const bool fits = expectedMaskTest(width, height, kind, magic) == 1;
    const bool withPixels = in.ConsumeIntegralInRange(0, 15) != 0;
    std::unique_ptr<Buffer> pixels;
    if (withPixels)
        pixels =
            std::make_unique<Buffer>(fits ? static_cast<std::size_t>(width) * height * 4 : 4, in);
    const int statusBefore = ctx().status;
    const int result = CALL(set_mask_image, pixels ? pixels->data() : nullptr, width, height, kind,
                            magic, in.ConsumeIntegral<int32_t>(), in.ConsumeIntegral<int32_t>());
    expectIn("_QX_set_mask_image", result, {1, -1, -2, -3});
    if (pixels && !pixels->unchanged())
        fail("_QX_set_mask_image", "wrote the host's picture", result);
    if (statusBefore == -1 && result != -3)
        fail("_QX_set_mask_image", "not refused before init", result);
    if (statusBefore != -1 && (!fits || !pixels) && result != -2)
        fail("_QX_set_mask_image", "bad picture not refused with -2", result);
    if (result == 1 && ctx().status != 1)
        fail("_QX_set_mask_image", "stored but status is not 1", result);
}

void callTestMaskImage(FuzzedDataProvider& in) {
    int width, height, kind, magic;
    pickMaskShape(in, width, height, kind, magic);
    const int statusBefore = ctx().status;
    const int result = CALL(test_mask_image, width, height, kind, magic,
                            in.ConsumeIntegral<int32_t>(), in.ConsumeIntegral<int32_t>());
    if (result != expectedMaskTest(width, height, kind, magic))
        fail("_QX_test_mask_image", "wrong verdict", result);
    if (ctx().status != statusBefore) fail("_QX_test_mask_image", "changed the status", result);
}

void callCheckDinamicBkg(FuzzedDataProvider& in) {
    const int result = CALL(check_dinamic_bkg, in.ConsumeIntegral<int32_t>());
    if (result != 0) fail("_QX_check_dinamic_bkg", "answered other than 0", result);
}

// As if the library were unloaded and loaded again.
void reloadLibrary(FuzzedDataProvider&) {
    Session& c = quexal::theContext();
    c.~Session();
    new (&c) Session(quexal::BufferPolicy::AtInit);
    targets[0].view = HostView{};
}

// A new session in the target slot, replacing the one there.
void createSession(FuzzedDataProvider&) {
    if (onExports()) return;
    qx_session_destroy(targets[current].session);
    targets[current] = Target{qx_session_create(), HostView{}};
}

// Destroys the target slot's session (null included), leaving null.
void destroySession(FuzzedDataProvider&) {
    if (onExports()) return;
    qx_session_destroy(targets[current].session);
    targets[current] = Target{};
}

using Call = void (*)(FuzzedDataProvider&);
constexpr Call kCalls[] = {
    callInit,          callProcessMask,     callProcessLens,   callProcessColor, callProcessFire,
    callProcessBkg,    callSetBkgVideo,     callSetBkgPicture, callSnapshot,     callSetMaskImage,
    callTestMaskImage, callCheckDinamicBkg, reloadLibrary,     createSession,    destroySession,
};

// A one-stage cascade whose only stump scores 0 against a threshold of -1:
// every window is a detection. On noise frames the real cascades find
// nothing, so with these the fuzzer reaches tracking and mask drawing; they
// also load in a fraction of the real ones' time.
const char* const kEagerCascade = R"(<?xml version="1.0"?>
<opencv_storage>
<cascade type_id="opencv-cascade-classifier"><stageType>BOOST</stageType>
  <featureType>HAAR</featureType>
  <height>20</height>
  <width>20</width>
  <stageParams><maxWeakCount>1</maxWeakCount></stageParams>
  <featureParams><maxCatCount>0</maxCatCount></featureParams>
  <stageNum>1</stageNum>
  <stages>
    <_>
      <maxWeakCount>1</maxWeakCount>
      <stageThreshold>-1.</stageThreshold>
      <weakClassifiers>
        <_><internalNodes>0 -1 0 0.</internalNodes><leafValues>0. 0.</leafValues></_></weakClassifiers></_></stages>
  <features>
    <_><rects><_>3 7 14 4 -1.</_><_>3 9 14 2 2.</_></rects></_></features></cascade>
</opencv_storage>
)";

// Temporary files the video and cascade calls point at.
void makeFiles() {
    namespace fs = std::filesystem;
    namespace t = quexal::test;
    const std::vector<uint8_t> eager(kEagerCascade, kEagerCascade + std::strlen(kEagerCascade));
    const std::string face = "/QXdata/haarcascade_frontalface_alt.xml", eye = "/QXdata/eye_8.xml";
    paths.goodRoot = QUEXAL_DATA_ROOT;
    paths.eagerRoot = t::makeDataFolderWithout("");
    t::writeFile(paths.eagerRoot + face, eager);
    t::writeFile(paths.eagerRoot + eye, eager);
    paths.missingEyeRoot = t::makeDataFolderWithout("eye_8.xml");
    t::writeFile(paths.missingEyeRoot + face, eager);
    paths.notXmlRoot = t::makeDataFolderWithout("haarcascade_frontalface_alt.xml");
    t::writeFile(paths.notXmlRoot + face, std::vector<uint8_t>(4096, 0xA5));
    t::writeFile(paths.notXmlRoot + eye, eager);
    paths.missingRoot = t::tempPath("no-such-folder");
    paths.longRoot = std::string(600, 'q');

    const std::string good = t::tempPath("fuzz-clip.avi");
    t::writeTestVideo(good, 32, 24, 6);
    std::vector<uint8_t> bytes = t::readFile(good);
    const std::string truncated = t::tempPath("fuzz-truncated.avi");
    t::writeFile(truncated, std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2));
    const std::string empty = t::tempPath("fuzz-empty.avi");
    t::writeFile(empty, {});
    const std::string noise = t::tempPath("fuzz-noise.avi");
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7919u >> 3);
    t::writeFile(noise, bytes);
    const std::string folder = t::tempPath("fuzz-folder.avi");
    fs::create_directories(folder);
    paths.videos = {good, truncated, empty, noise, t::tempPath("fuzz-missing.avi"), folder, ""};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // OpenCV's worker threads would only spin on these small frames, and
    // fuzzing runs one process a core.
    cv::setNumThreads(0);
    makeNoise();
    makeFiles();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // Only an input's first call may reload the library: such inputs replay
    // the same way on their own, and the reload (which loads the cascades
    // again) stays rare enough to keep executions fast.
    for (int i = 0; i < kMaxCalls && in.remaining_bytes() > 0; ++i) {
        const auto which = in.ConsumeIntegralInRange<std::size_t>(0, std::size(kCalls) - 1);
        if (kCalls[which] == reloadLibrary && i > 0) continue;
        // Mostly the exports, so that the committed corpus keeps its reach.
        current = in.ConsumeIntegralInRange(0, 7) < 5
                      ? 0
                      : in.ConsumeIntegralInRange(1, kSessionSlots - 1);
        kCalls[which](in);
    }
    return 0;
}
