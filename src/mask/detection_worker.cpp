#include "mask/detection_worker.h"

#include <cstring>

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "mask/face_mask.h"

namespace quexal {
namespace {

bool loadInto(CascadeSearch& cascade, const std::string& path) {
    return !path.empty() && cascade.load(path);
}

// How much lower the worker runs than the stream's thread, in nice steps.
constexpr int kWorkerNiceness = 10;

// A frame handed over while a detection runs must get a core at once: the
// worker (and the eye search it starts beside itself, which inherits this)
// runs at a lower priority, so the scheduler lets the stream's thread in
// first. On Linux a thread's nice value is its own.
void yieldToTheStream() {
#if defined(__linux__)
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kWorkerNiceness);
#endif
}

}  // namespace

Detection detectionOf(const FaceMask& m) {
    return {m.faceLeft,    m.eyeBandTop,     m.faceRight,     m.eyeBandBottom, m.faceX,
            m.faceY,       m.rightEyeX,      m.rightEyeY,     m.leftEyeX,      m.leftEyeY,
            m.detectStage, m.rightEyeHeight, m.leftEyeHeight, m.eyeDistance,   m.eyeMidX,
            m.eyeMidY,     m.faceAngle};
}

void adoptDetection(FaceMask& m, const Detection& d) {
    m.faceLeft = d.faceLeft;
    m.eyeBandTop = d.eyeBandTop;
    m.faceRight = d.faceRight;
    m.eyeBandBottom = d.eyeBandBottom;
    m.faceX = d.faceX;
    m.faceY = d.faceY;
    m.rightEyeX = d.rightEyeX;
    m.rightEyeY = d.rightEyeY;
    m.leftEyeX = d.leftEyeX;
    m.leftEyeY = d.leftEyeY;
    m.detectStage = d.detectStage;
    m.rightEyeHeight = d.rightEyeHeight;
    m.leftEyeHeight = d.leftEyeHeight;
    m.eyeDistance = d.eyeDistance;
    m.eyeMidX = d.eyeMidX;
    m.eyeMidY = d.eyeMidY;
    m.faceAngle = d.faceAngle;
}

DetectionWorker::DetectionWorker()
    : detector_(std::make_unique<FaceMask>(geometry_)), thread_([this] { run(); }) {}

DetectionWorker::~DetectionWorker() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool DetectionWorker::submit(const uint8_t* frame, const FrameGeometry& geometry,
                             const DetectorSetup& setup) {
    std::lock_guard lock(mutex_);
    if (pending_ || finished_ || frame == nullptr || !geometry.accepted()) return false;
    try {
        const std::size_t bytes = static_cast<std::size_t>(geometry.pixelCount) * 3;
        frame_.resize(bytes);  // kept from one detection to the next
        std::memcpy(frame_.data(), frame, bytes);
    } catch (...) {
        return false;
    }
    geometry_ = geometry;
    wanted_ = setup;
    pending_ = true;
    discardRunning_ = false;
    changed_.notify_all();
    return true;
}

std::optional<Detection> DetectionWorker::take() {
    std::lock_guard lock(mutex_);
    if (!finished_) return std::nullopt;
    finished_ = false;
    return result_;
}

void DetectionWorker::discard() {
    std::lock_guard lock(mutex_);
    finished_ = false;
    if (pending_) discardRunning_ = true;
}

void DetectionWorker::wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !pending_; });
}

void DetectionWorker::run() {
    yieldToTheStream();
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || pending_; });
        if (stop_) return;
        lock.unlock();

        // Everything below belongs to this thread until pending_ drops.
        FaceMask& d = *detector_;
        if (wanted_.faceCascadePath != loaded_.faceCascadePath ||
            wanted_.eyeCascadePath != loaded_.eyeCascadePath) {
            const bool ok = loadInto(d.faceCascade, wanted_.faceCascadePath) &&
                            loadInto(d.eyeCascade, wanted_.eyeCascadePath) &&
                            loadInto(d.rightEyeCascade, wanted_.eyeCascadePath);
            loaded_ = ok ? wanted_ : DetectorSetup{};
        }
        d.minFacePermille = wanted_.minFacePermille;
        d.reset();
        const bool usable = !loaded_.faceCascadePath.empty();
        const Detection found =
            usable && d.detect(frame_.data()) == kFaceAndEyes ? detectionOf(d) : Detection{};

        lock.lock();
        pending_ = false;
        if (!discardRunning_) {
            result_ = found;
            finished_ = true;
        }
        discardRunning_ = false;
        changed_.notify_all();
    }
}

}  // namespace quexal
