// A host that runs thousands of frames through the library and checks that
// its resident memory stays flat once warmed up. It loads libquexal.so with
// dlopen and unloads it with dlclose at the end, as a real host does, so
// that a leak checker run over it sees what the library leaves behind.
//
//   soak_host --lib build/libquexal.so --data build [--frames 10000]
//             [--effect colour|lens|fire|mask|bkg|video|mix|all]
//             [--tolerance-kb 2048] [--no-rss-check]
//
// Exit status 0 when every result was one the export documents and no run
// grew by more than the tolerance after its warm-up; 1 otherwise. The
// printed counts are those of the per-frame calls.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "test_support.h"

namespace {

// The exports, resolved from the loaded library.
struct Library {
    void* handle = nullptr;
    int32_t (*init)(const char*, int32_t, int32_t, int32_t, int32_t);
    int32_t (*processMask)(uint8_t*, int32_t, int32_t);
    int32_t (*processLens)(uint8_t*, int32_t);
    int32_t (*processColor)(uint8_t*, int32_t);
    int32_t (*processFire)(uint8_t*);
    int32_t (*processBkg)(uint8_t*, int32_t, int32_t, int32_t, int32_t);
    int32_t (*setBkg)(const void*, int32_t, int32_t, int32_t, int32_t);
    int32_t (*getBkgSnapshot)(const uint8_t*, int32_t, int32_t, int32_t);
    int32_t (*setMaskImage)(const uint8_t*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t);

    template <typename F>
    void resolve(F& f, const char* name) {
        f = reinterpret_cast<F>(dlsym(handle, name));
        if (!f) {
            std::fprintf(stderr, "soak: %s not exported\n", name);
            std::exit(1);
        }
    }

    explicit Library(const std::string& path) {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            std::fprintf(stderr, "soak: %s\n", dlerror());
            std::exit(1);
        }
        resolve(init, "_QX_init");
        resolve(processMask, "_QX_process_mask");
        resolve(processLens, "_QX_process_lens");
        resolve(processColor, "_QX_process_color");
        resolve(processFire, "_QX_process_fire");
        resolve(processBkg, "_QX_process_bkg");
        resolve(setBkg, "_QX_set_bkg");
        resolve(getBkgSnapshot, "_QX_get_bkg_snapshot");
        resolve(setMaskImage, "_QX_set_mask_image");
    }
    ~Library() { dlclose(handle); }
};

long residentKb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Options {
    std::string lib, data, effect = "all";
    int frames = 10000;
    long toleranceKb = 2048;
    bool checkRss = true;
};

// The host side: camera frames cut from the test photo, a mask picture, a
// still background and a short clip.
struct Scene {
    cv::Mat photo = quexal::test::loadPhoto("astronaut_320x240.png");
    std::vector<uint8_t> maskPicture = makeMaskPicture();
    std::string clip = quexal::test::tempPath("soak-clip.avi");
    int width = 0, height = 0;
    std::vector<uint8_t> base;   // the photo at the current size, host row order
    std::vector<uint8_t> empty;  // the same scene without the person
    std::vector<uint8_t> frame;

    Scene() { quexal::test::writeTestVideo(clip, 48, 36, 12); }
    ~Scene() { std::remove(clip.c_str()); }

    static std::vector<uint8_t> makeMaskPicture() {
        cv::Mat m(190, 200, CV_8UC4, cv::Scalar(0, 0, 0, 0));
        cv::ellipse(m, {100, 95}, {90, 80}, 0, 0, 360, cv::Scalar(40, 180, 230, 255), cv::FILLED);
        cv::circle(m, {65, 80}, 18, cv::Scalar(0, 0, 0, 0), cv::FILLED);
        cv::circle(m, {135, 80}, 18, cv::Scalar(0, 0, 0, 0), cv::FILLED);
        return {m.data, m.data + m.total() * 4};
    }

    void resize(int w, int h) {
        width = w;
        height = h < 0 ? -h : h;
        cv::Mat scaled;
        cv::resize(photo, scaled, {width, height}, 0, 0, cv::INTER_AREA);
        base = quexal::test::toHostFrame(scaled, h > 0);
        cv::Mat plain(height, width, CV_8UC3, cv::Scalar(120, 140, 150));
        empty = quexal::test::toHostFrame(plain, h > 0);
    }

    // Frame i: the photo with a little movement, so tracking has work.
    uint8_t* next(int i) {
        frame = base;
        const std::size_t shift = static_cast<std::size_t>(i % 5) * 3;
        std::rotate(frame.begin(), frame.begin() + static_cast<long>(shift), frame.end());
        return frame.data();
    }
};

// The codes each export may answer. The soak checks memory, not effects:
// any documented answer passes, and the counts are printed.
using Codes = std::initializer_list<int>;
constexpr Codes kColourCodes = {1, -1, -2}, kLensCodes = {1, -1, -2}, kFireCodes = {1, -2},
                kMaskCodes = {1, 0}, kBkgCodes = {1, 0, -1, -2}, kMaskImageCodes = {1, -1, -2, -3};

struct Run {
    std::string name;
    std::map<int, int> results;
    bool badResult = false;
    long warmKb = 0, endKb = 0, peakKb = 0;

    void record(const char* call, int result, Codes allowed) {
        if (std::strncmp(call, "_QX_process", 11) == 0) ++results[result];
        if (std::set<int>(allowed).count(result) == 0) {
            if (!badResult)
                std::fprintf(stderr, "soak %s: %s answered %d\n", name.c_str(), call, result);
            badResult = true;
        }
    }
};

class Soak {
public:
    Soak(Library& lib, const Options& options) : lib_(lib), options_(options) {}

    bool runAll(const std::vector<std::string>& names) {
        bool ok = true;
        for (const std::string& name : names) ok = runOne(name) && ok;
        return ok;
    }

private:
    bool runOne(const std::string& name) {
        Run run{name, {}, false, 0, 0, 0};
        // The mix warms up over one full round of its frame sizes; its
        // memory is compared peak to peak, since it differs from size to size.
        int warmup = std::max(200, options_.frames / 10);
        if (name == "mix") warmup = std::min(options_.frames, 4 * mixPeriod() + 1);
        for (int i = 0; i < options_.frames; ++i) {
            step(name, i, run);
            const long kb = residentKb();
            if (i < warmup)
                run.warmKb = std::max(run.warmKb, kb);
            else
                run.peakKb = std::max(run.peakKb, kb);
        }
        run.endKb = residentKb();
        if (run.warmKb == 0) run.warmKb = run.endKb;
        const long growth = std::max(run.peakKb, run.endKb) - run.warmKb;
        const bool grew = options_.checkRss && growth > options_.toleranceKb;
        std::printf(
            "soak %-6s frames %5d  rss warm-up peak %6ld kB  end %6ld kB  later peak %6ld kB  "
            "results",
            name.c_str(), options_.frames, run.warmKb, run.endKb, run.peakKb);
        for (auto [code, count] : run.results) std::printf(" %d:%d", code, count);
        std::printf("%s\n", grew ? "  GREW" : "");
        return !grew && !run.badResult;
    }

    void initAt(int w, int h, Run& run) {
        run.record("_QX_init", lib_.init(options_.data.c_str(), w, h, 0, 0), {1});
        scene_.resize(w, h);
    }

    void takeSnapshot(Run& run) {
        run.record("_QX_get_bkg_snapshot",
                   lib_.getBkgSnapshot(scene_.empty.data(), scene_.width, scene_.height, 0),
                   {1, 0});
    }

    void setPicture(int w, int h, Run& run) {
        std::vector<uint8_t> picture(static_cast<std::size_t>(w) * h * 3);
        for (std::size_t k = 0; k < picture.size(); ++k)
            picture[k] = static_cast<uint8_t>(k * 13 / 7);
        run.record("_QX_set_bkg(picture)", lib_.setBkg(picture.data(), 2, w, h, 0), {1, 0});
    }

    void setVideo(Run& run) {
        run.record("_QX_set_bkg(video)", lib_.setBkg(scene_.clip.c_str(), 1, 0, 0, 0), {1, 0});
    }

    void registerMask(Run& run) {
        run.record("_QX_set_mask_image",
                   lib_.setMaskImage(scene_.maskPicture.data(), 200, 190, 1, 100, 0, 0),
                   kMaskImageCodes);
    }

    void step(const std::string& name, int i, Run& run) {
        if (i == 0) {
            initAt(320, 240, run);
            if (name == "mask" || name == "mix") registerMask(run);
            if (name == "bkg" || name == "video" || name == "mix") {
                takeSnapshot(run);
                name == "video" ? setVideo(run) : setPicture(97, 61, run);
            }
        }
        if (name == "colour") {
            static constexpr int modes[] = {16, 17, 18, 24, 25};
            run.record("_QX_process_color", lib_.processColor(scene_.next(i), modes[i % 5]),
                       kColourCodes);
        } else if (name == "lens") {
            run.record("_QX_process_lens", lib_.processLens(scene_.next(i), 1 + i % 7), kLensCodes);
        } else if (name == "fire") {
            run.record("_QX_process_fire", lib_.processFire(scene_.next(i)), kFireCodes);
        } else if (name == "mask") {
            run.record("_QX_process_mask", lib_.processMask(scene_.next(i), (i / 1000) % 3, 0),
                       kMaskCodes);
        } else if (name == "bkg" || name == "video") {
            const int halo = (i / 500) % 2;
            run.record("_QX_process_bkg",
                       lib_.processBkg(scene_.next(i), halo, 0x3080F0, i % 3 ? 0 : 70, 0),
                       kBkgCodes);
        } else {
            mixStep(i, run);
        }
    }

    // Every effect in turn, with the host changing its mind in between:
    // other sizes and row orders, new mask pictures, new backgrounds.
    // The changes come about fifteen times a run, whatever its length.
    int mixPeriod() const { return std::max(10, options_.frames / 15); }

    void mixStep(int i, Run& run) {
        static constexpr int sizes[][2] = {{320, 240}, {176, -144}, {160, 120}, {321, 239}};
        const int period = mixPeriod();
        if (i > 0 && i % period == 0) {
            const auto& s = sizes[(i / period) % 4];
            initAt(s[0], s[1], run);
            takeSnapshot(run);
            setPicture(s[0] / 2 + 1, s[1] < 0 ? -s[1] / 3 : s[1] / 3, run);
        }
        if (i % (period * 2 / 3) == 0) registerMask(run);
        if (i % (period / 2) == period / 4)
            (i / (period / 2)) % 2 ? setVideo(run) : setPicture(33 + i % 7, 17, run);
        uint8_t* frame = scene_.next(i);
        switch (i % 5) {
            case 0:
                run.record("_QX_process_color", lib_.processColor(frame, i % 2 ? 18 : 25),
                           kColourCodes);
                break;
            case 1:
                run.record("_QX_process_lens", lib_.processLens(frame, 1 + i % 7), kLensCodes);
                break;
            case 2: run.record("_QX_process_fire", lib_.processFire(frame), kFireCodes); break;
            case 3:
                run.record("_QX_process_mask", lib_.processMask(frame, i % 3, 0), kMaskCodes);
                break;
            default:
                run.record("_QX_process_bkg", lib_.processBkg(frame, i % 2, 0xFF00FF, 0, 0),
                           kBkgCodes);
        }
    }

    Library& lib_;
    const Options& options_;
    Scene scene_;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "soak: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--lib")
            o.lib = value();
        else if (a == "--data")
            o.data = value();
        else if (a == "--frames")
            o.frames = std::atoi(value().c_str());
        else if (a == "--effect")
            o.effect = value();
        else if (a == "--tolerance-kb")
            o.toleranceKb = std::atol(value().c_str());
        else if (a == "--no-rss-check")
            o.checkRss = false;
        else {
            std::fprintf(stderr, "soak: unknown argument %s\n", a.c_str());
            std::exit(2);
        }
    }
    if (o.lib.empty() || o.data.empty() || o.frames <= 0) {
        std::fprintf(stderr,
                     "usage: soak_host --lib LIB --data DIR [--frames N] [--effect NAME]\n");
        std::exit(2);
    }
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    std::vector<std::string> names = {options.effect};
    if (options.effect == "all") names = {"colour", "lens", "fire", "mask", "bkg", "video", "mix"};
    bool ok;
    {
        Library lib(options.lib);
        Soak soak(lib, options);
        ok = soak.runAll(names);
    }
    std::printf("soak: %s\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}
