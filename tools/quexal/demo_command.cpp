// quexal demo: every effect and mode on the synthesised sample clip, each
// written as a video plus stills, and a contact sheet of them all.
#include <cstdio>
#include <filesystem>
#include <optional>

#include <opencv2/imgcodecs.hpp>

#include "commands.h"
#include "contact_sheet.h"
#include "demo_clip.h"
#include "effect_runner.h"
#include "host_error.h"
#include "library_host.h"
#include "mask_pictures.h"
#include "media.h"
#include "progress.h"

namespace qxcli {

namespace fs = std::filesystem;

namespace {

// The frame most tiles show: the person in full view, mid-sway.
constexpr int kShowcaseFrame = 45;

// The background-video job plays this clip; no job writes it (each job
// writes SLUG.avi), so none reads a file while it is being overwritten.
constexpr const char* kPanVideo = "background_pan.avi";

struct DemoJob {
    std::string slug;   // output file stem
    std::string label;  // tile label
    EffectChoice choice;
    EffectOptions options;
    RowOrder order = RowOrder::BottomUp;
    cv::Mat maskPicture;
    std::vector<int> stills = {kShowcaseFrame};
};

struct JobResult {
    std::vector<Tile> tiles;
    std::optional<std::string> refusal;
};

EffectChoice effect(const std::string& name) {
    return *parseEffect(name);
}

DemoJob job(std::string slug, std::string label, const std::string& name,
            EffectOptions options = {}, RowOrder order = RowOrder::BottomUp) {
    DemoJob j;
    j.slug = std::move(slug);
    j.label = std::move(label);
    j.choice = effect(name);
    j.options = std::move(options);
    j.order = order;
    return j;
}

std::vector<DemoJob> demoJobs(const fs::path& samples, const fs::path& out) {
    std::vector<DemoJob> jobs;
    // Colour and lens frames go to the library top row first, the rest in
    // the bottom-up order of a bitmap host, so both orders are exercised.
    for (const char* mode : {"negative", "grey", "glow", "softgrey", "sepia"})
        jobs.push_back(job(std::string("colour_") + mode, std::string("colour:") + mode,
                           std::string("colour:") + mode, {}, RowOrder::TopDown));
    for (int mode = 1; mode <= 7; ++mode)
        jobs.push_back(job("lens_" + std::to_string(mode),
                           "lens:" + std::to_string(mode) + " " + lensName(mode),
                           "lens:" + std::to_string(mode), {}, RowOrder::TopDown));
    jobs.push_back(job("fire", "fire", "fire"));

    for (const MaskPicture& m : sampleMaskPictures()) {
        EffectOptions o;
        o.kind = m.kind;
        const std::string what = m.file.substr(0, m.file.find('_'));
        DemoJob mask = job("mask_kind" + std::to_string(m.kind),
                           "mask kind " + std::to_string(m.kind) + " " + what, "mask", o);
        mask.maskPicture = m.pixels;
        // Kinds 2 and 8 both wear glasses; the stills through the sway tell
        // them apart.
        if (m.kind == 2) mask.stills = {28, 45, 62, 76};
        jobs.push_back(mask);
        if (m.kind == 2) {
            mask.slug = "mask_kind8";
            mask.label = "mask kind 8 glasses";
            mask.options.kind = 8;
            jobs.push_back(mask);
        }
    }
    jobs.push_back(job("eyes_pixelate", "eyes:pixelate", "eyes:pixelate"));
    jobs.push_back(job("eyes_blur", "eyes:blur", "eyes:blur"));

    EffectOptions picture;
    picture.source = (samples / "coffee_320x240.png").string();
    EffectOptions video = picture;
    video.source = (out / kPanVideo).string();
    EffectOptions halo = picture;
    halo.halo = true;
    halo.haloColor = 0x00FFFF;  // yellow
    EffectOptions cut = picture;
    cut.cutLine = 60;
    jobs.push_back(job("background_picture", "background picture", "background", picture));
    jobs.push_back(job("background_video", "background video", "background", video));
    jobs.push_back(job("background_halo", "background halo 0x00FFFF", "background", halo));
    jobs.push_back(
        job("background_cutline", "background cut-line 60", "background", cut, RowOrder::TopDown));
    return jobs;
}

std::string stillName(const DemoJob& job, int frame) {
    return job.slug + "_f" + std::to_string(frame) + ".png";
}

std::string tileLabel(const DemoJob& job, int frame) {
    return job.stills.size() > 1 ? job.label + " f" + std::to_string(frame) : job.label;
}

JobResult runJob(const DemoJob& job, const DemoClip& clip, const std::string& dataRoot,
                 const fs::path& out) {
    JobResult result;
    initLibrary(dataRoot, clip.frames[0].size(), job.order);
    EffectRunner runner(job.choice, job.options, job.order);
    if (!job.maskPicture.empty()) runner.setMaskPicture(job.maskPicture);

    auto refuse = [&](const Outcome& why) {
        result.refusal = job.label + ": " + why.message;
        const std::string text = job.label + " refused (" + std::to_string(why.code) + ")";
        for (int f : job.stills) result.tiles.push_back({clip.frames[f], text, true});
        return result;
    };
    const Outcome ready = runner.prepare(clip.frames[0]);
    if (!ready.ok()) return refuse(ready);

    std::optional<FrameSink> video;  // opened once a frame is accepted
    Progress progress(job.label, static_cast<int>(clip.frames.size()));
    for (size_t t = 0; t < clip.frames.size(); ++t) {
        cv::Mat frame = clip.frames[t].clone();
        const Outcome done = runner.apply(frame);
        if (!done.ok()) {
            if (t > 0) progress.finish();
            return refuse(done);
        }
        if (!video) video.emplace((out / (job.slug + ".avi")).string(), frame.size(), clip.fps);
        video->write(frame);
        progress.tick();
        for (int f : job.stills) {
            if (f != static_cast<int>(t)) continue;
            cv::imwrite((out / stillName(job, f)).string(), frame);
            result.tiles.push_back({frame, tileLabel(job, f), false});
        }
    }
    video->finish();
    progress.finish();
    return result;
}

}  // namespace

int demoCommand(const DemoArgs& args) {
    const std::string dataRoot = findDataRoot(args.dataOverride);
    const fs::path samples = findSampleRoot() / "sample";
    const fs::path out(args.outDir);
    fs::create_directories(out);

    auto load = [&](const char* name) {
        cv::Mat m = cv::imread((samples / name).string(), cv::IMREAD_COLOR);
        if (m.empty()) throw HostError("cannot read sample " + (samples / name).string());
        return m;
    };
    const DemoClip clip = synthesiseClip(load("astronaut_320x240.png"), load("rocket_320x240.png"));
    {
        FrameSink sink((out / "sample_clip.avi").string(), clip.frames[0].size(), clip.fps);
        for (const cv::Mat& f : clip.frames) sink.write(f);
        sink.finish();
    }
    cv::imwrite((out / "sample_empty.png").string(), clip.frames[0]);
    cv::imwrite((out / "sample_person.png").string(), clip.frames[kShowcaseFrame]);
    writePanVideo(load("coffee_320x240.png"), (out / kPanVideo).string(), 60, clip.fps);
    writeMaskPictures(out / "masks");

    std::vector<Tile> tiles = {
        {clip.frames[0], "input f0 (empty scene)"},
        {clip.frames[kShowcaseFrame], "input f" + std::to_string(kShowcaseFrame)}};
    std::vector<std::string> refusals;
    for (const DemoJob& job : demoJobs(samples, out)) {
        JobResult r = runJob(job, clip, dataRoot, out);
        tiles.insert(tiles.end(), r.tiles.begin(), r.tiles.end());
        if (r.refusal) refusals.push_back(*r.refusal);
    }

    const std::string title = "Quexal demo: " + std::to_string(clip.frames.size()) + " frames of " +
                              std::to_string(clip.frames[0].cols) + "x" +
                              std::to_string(clip.frames[0].rows) + ", stills at frame " +
                              std::to_string(kShowcaseFrame) + " unless noted";
    const fs::path sheet = out / "contact_sheet.png";
    if (!cv::imwrite(sheet.string(), buildContactSheet(tiles, title)))
        throw HostError("cannot write " + sheet.string());

    std::printf("demo: outputs in %s, contact sheet %s\n", out.string().c_str(),
                sheet.string().c_str());
    if (!refusals.empty()) {
        std::printf("demo: %zu effect(s) refused by the library:\n", refusals.size());
        for (const std::string& r : refusals) std::printf("  %s\n", r.c_str());
    }
    return 0;
}

}  // namespace qxcli
