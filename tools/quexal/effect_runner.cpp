#include "effect_runner.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "host_error.h"
#include "mask_pictures.h"
#include "media.h"
#include "quexal/quexal.h"

namespace qxcli {

namespace {

std::string sizeText(cv::Size s) {
    return std::to_string(s.width) + "x" + std::to_string(s.height);
}

const char* exportName(Family family) {
    switch (family) {
        case Family::Colour: return "qx_process_color";
        case Family::Lens: return "qx_process_lens";
        case Family::Fire: return "qx_process_fire";
        case Family::Mask:
        case Family::Eyes: return "qx_process_mask";
        case Family::Background: return "qx_process_bkg";
    }
    return "?";
}

const char* reasonFor(Family family, int code) {
    switch (family) {
        case Family::Colour:
            return code == QX_COLOR_BAD_MODE ? "unknown mode" : "library not ready";
        case Family::Lens:
            return code == QX_LENS_BAD_MODE ? "mode outside 1..7" : "library not ready";
        case Family::Fire: return "library not ready";
        case Family::Mask:
        case Family::Eyes: return "no mask picture registered";
        case Family::Background:
            return code == QX_BKG_NO_REFERENCE ? "no reference snapshot"
                                               : "no background source or no video frame";
    }
    return "refused";
}

const char* maskImageReason(int code) {
    switch (code) {
        case QX_MASK_IMAGE_NOT_READY: return "library not initialised";
        case QX_MASK_IMAGE_BAD: return "bad kind or picture size";
        case QX_MASK_IMAGE_NO_MEMORY: return "picture could not be stored";
        default: return "refused";
    }
}

Outcome refusal(int code, const std::string& what) {
    return Outcome{code, what + " (code " + std::to_string(code) + ")"};
}

}  // namespace

cv::Mat loadMaskPicture(const std::string& path) {
    if (!std::filesystem::is_regular_file(path)) throw HostError("no such file: " + path);
    cv::Mat picture = readPicture(path, cv::IMREAD_UNCHANGED);
    if (picture.empty()) throw HostError("cannot read picture " + path);
    if (picture.depth() != CV_8U) picture.convertTo(picture, CV_8U, 1.0 / 257.0);
    cv::Mat bgra;
    switch (picture.channels()) {
        case 1: cv::cvtColor(picture, bgra, cv::COLOR_GRAY2BGRA); break;
        case 3: cv::cvtColor(picture, bgra, cv::COLOR_BGR2BGRA); break;
        case 4: bgra = picture; break;
        default: throw HostError("picture " + path + " has an unsupported channel count");
    }
    return bgra.isContinuous() ? bgra : bgra.clone();
}

EffectRunner::EffectRunner(EffectChoice choice, EffectOptions options, RowOrder order)
    : choice_(std::move(choice)), options_(std::move(options)), order_(order) {}

Outcome EffectRunner::setOptions(bool camera) {
    const bool face = choice_.family == Family::Mask || choice_.family == Family::Eyes;
    const int async = options_.asyncDetect < 0 ? (camera ? 1 : 0) : options_.asyncDetect;
    const std::pair<const char*, int> wanted[] = {
        {"exposure_compensation", options_.exposureCompensation ? 1 : 0},
        {"min_face_permille", face && options_.minFacePermille > 0 ? options_.minFacePermille : 0},
        {"async_detect", face ? async : 0},
    };
    for (const auto& [name, value] : wanted) {
        if (value == 0 && std::string(name) == "min_face_permille") continue;  // the default
        const int code = qx_set_option(hostSession(), name, value);
        if (code != QX_OPTION_SET)
            return refusal(code, std::string("qx_set_option refused ") + name);
    }
    return {};
}

Outcome EffectRunner::prepare(const cv::Mat& firstFrame, bool camera) {
    if (const Outcome set = setOptions(camera); !set.ok()) return set;
    switch (choice_.family) {
        case Family::Mask:
        case Family::Eyes: return prepareMask();
        case Family::Background: return prepareBackground(firstFrame);
        default: return {};
    }
}

Outcome EffectRunner::prepareMask() {
    int kind = options_.kind;
    if (maskPicture_.empty()) {
        if (!options_.picture.empty()) {
            maskPicture_ = loadMaskPicture(options_.picture);
        } else if (choice_.family == Family::Eyes) {
            // The eye band needs a registered picture too; any will do.
            maskPicture_ = drawEyeMask();
            kind = 4;
        } else {
            throw HostError("mask needs --picture FILE.png and --kind N");
        }
    }
    if (choice_.family == Family::Eyes && kind == 0) kind = maskPicture_.cols == 100 ? 4 : 1;
    const cv::Size size = maskPicture_.size();
    const int fits =
        qx_test_mask_image(nullptr, size.width, size.height, kind, QX_MASK_MAGIC, 0, 0);
    const std::string what = "mask picture " + sizeText(size) + " of kind " + std::to_string(kind);
    if (fits == QX_TEST_MASK_BAD_KIND)
        return refusal(fits, what + ": qx_test_mask_image: unknown kind");
    if (fits == QX_TEST_MASK_BAD_SIZE)
        return refusal(fits, what +
                                 ": qx_test_mask_image: size does not fit the kind"
                                 " (kinds 1, 2, 8 take 200x190; 3, 4 take 100x90)");
    if (fits != QX_DONE) return refusal(fits, what + ": qx_test_mask_image refused it");
    const int code = qx_set_mask_image(hostSession(), maskPicture_.data, size.width, size.height,
                                       kind, QX_MASK_MAGIC, 0, 0);
    if (code != QX_DONE)
        return refusal(code, what + ": qx_set_mask_image: " + maskImageReason(code));
    return {};
}

Outcome EffectRunner::prepareBackground(const cv::Mat& firstFrame) {
    if (options_.source.empty())
        throw HostError("background needs --source FILE (picture or video)");
    if (!std::filesystem::is_regular_file(options_.source))
        throw HostError("no such file: " + options_.source);

    cv::Mat reference = firstFrame;
    if (!options_.reference.empty()) {
        if (!std::filesystem::is_regular_file(options_.reference))
            throw HostError("no such file: " + options_.reference);
        reference = readPicture(options_.reference, cv::IMREAD_COLOR);
        if (reference.empty()) throw HostError("cannot read picture " + options_.reference);
        if (reference.size() != firstFrame.size())
            throw HostError("reference " + sizeText(reference.size()) +
                            " differs from the frames " + sizeText(firstFrame.size()));
    }
    const cv::Mat hostReference = toHostOrder(reference, order_);
    const int snap =
        qx_get_bkg_snapshot(hostSession(), hostReference.data, reference.cols, reference.rows, 0);
    if (snap != QX_DONE) return refusal(snap, "qx_get_bkg_snapshot refused the reference");

    // A file OpenCV reads as a picture is a still background; anything else
    // goes to the library's video reader.
    cv::Mat picture = readPicture(options_.source, cv::IMREAD_COLOR);
    if (picture.empty() && isImageFileName(options_.source))
        throw HostError("cannot read picture " + options_.source);
    int set = 0;
    if (!picture.empty()) {
        if (!picture.isContinuous()) picture = picture.clone();
        set =
            qx_set_bkg(hostSession(), picture.data, QX_BKG_PICTURE, picture.cols, picture.rows, 0);
    } else {
        videoSource_ = true;
        set = qx_set_bkg(hostSession(), options_.source.c_str(), QX_BKG_VIDEO, 0, 0, 0);
    }
    if (set != QX_DONE)
        return refusal(set, std::string("qx_set_bkg refused the ") +
                                (videoSource_ ? "video " : "picture ") + options_.source);
    return videoSource_ ? waitForVideoFrame(firstFrame) : Outcome{};
}

// The reader decodes on its own thread; give it a moment to deliver the
// first frame so the first composite is not lost.
Outcome EffectRunner::waitForVideoFrame(const cv::Mat& firstFrame) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int code = QX_BKG_NO_SOURCE;
    while (std::chrono::steady_clock::now() < deadline) {
        cv::Mat scratch = firstFrame.clone();
        code = withHostFrame(scratch, order_, [&](uint8_t* f) { return callLibrary(f); });
        if (code != QX_BKG_NO_SOURCE) return judge(code);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return judge(code);
}

int EffectRunner::callLibrary(uint8_t* frame) const {
    switch (choice_.family) {
        case Family::Colour: return qx_process_color(hostSession(), frame, choice_.mode);
        case Family::Lens: return qx_process_lens(hostSession(), frame, choice_.mode);
        case Family::Fire: return qx_process_fire(hostSession(), frame);
        case Family::Mask: return qx_process_mask(hostSession(), frame, 0, 0);
        case Family::Eyes: return qx_process_mask(hostSession(), frame, choice_.mode, 0);
        case Family::Background:
            return qx_process_bkg(hostSession(), frame, options_.halo ? 1 : 0,
                                  static_cast<int32_t>(options_.haloColor), options_.cutLine, 0);
    }
    return 0;
}

Outcome EffectRunner::judge(int code) const {
    if (code == QX_DONE) return {};
    if (choice_.family == Family::Background && code == QX_BKG_LITTLE_BACKGROUND) return {code, {}};
    return refusal(
        code, std::string(exportName(choice_.family)) + ": " + reasonFor(choice_.family, code));
}

Outcome EffectRunner::apply(cv::Mat& frame) {
    const bool face = choice_.family == Family::Mask || choice_.family == Family::Eyes;
    // Whether a face was drawn is only asked until the first one is.
    const cv::Mat before = face && drawn_ == 0 ? frame.clone() : cv::Mat();
    const int code = withHostFrame(frame, order_, [&](uint8_t* f) { return callLibrary(f); });
    if (choice_.family == Family::Background && code == QX_BKG_LITTLE_BACKGROUND)
        ++littleBackground_;
    if (face && code == QX_DONE && (drawn_ > 0 || cv::norm(before, frame, cv::NORM_INF) > 0))
        ++drawn_;
    return judge(code);
}

}  // namespace qxcli
