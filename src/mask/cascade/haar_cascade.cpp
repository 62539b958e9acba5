// The scan follows OpenCV 4.6's cascade detector step for step, so that the
// windows are the same to the pixel: the same list of scales, the same
// shrunk images and summed tables, the same window grid (including the rows
// its stripes leave out and the column skipped after a first-stage
// rejection) and the same float and double arithmetic in the same order.
// The file is compiled without floating-point contraction for that reason.
#include "mask/cascade/haar_cascade.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "core/cpu_features.h"

namespace quexal {
namespace {

// OpenCV lowers every stage threshold by this much when it reads a cascade.
constexpr float kStageThresholdMargin = 1e-5f;
// A window is classified only when its grey levels vary this much: the
// normalised area must stay below it.
constexpr double kMinContrast = 1e-1;
// Windows start on every other pixel until the image is shrunk this much.
constexpr float kDenseGridScale = 2.f;
// OpenCV splits each scale into horizontal stripes, one per this many
// window columns of the first scale, and only scans the rows the stripes
// cover.
constexpr double kStripeColumns = 32.;
// The vector rows read up to two blocks of eight past the last window.
constexpr int kTablePadding = 64;
constexpr int kLanes = 8;

int roundUp(int value, int multiple) {
    return (value + multiple - 1) / multiple * multiple;
}

// The four corners of an upright rectangle, as OpenCV orders them.
void uprightCorners(const cv::Rect& r, int step, int32_t corners[4]) {
    corners[0] = r.x + step * r.y;
    corners[1] = r.x + r.width + step * r.y;
    corners[2] = r.x + step * (r.y + r.height);
    corners[3] = r.x + r.width + step * (r.y + r.height);
}

// The same for a rectangle turned by 45 degrees, in the tilted sums.
void tiltedCorners(const cv::Rect& r, int step, int offset, int32_t corners[4]) {
    corners[0] = offset + r.x + step * r.y;
    corners[1] = offset + r.x - r.height + step * (r.y + r.height);
    corners[2] = offset + r.x + r.width + step * (r.y + r.width);
    corners[3] = offset + r.x + r.width - r.height + step * (r.y + r.width + r.height);
}

// Sums are taken modulo 2^32, as the squared sums wrap on large images;
// the difference of a window is exact all the same.
inline uint32_t cornerSum(const int32_t* table, const int32_t corners[4]) {
    return static_cast<uint32_t>(table[corners[0]]) - static_cast<uint32_t>(table[corners[1]]) -
           static_cast<uint32_t>(table[corners[2]]) + static_cast<uint32_t>(table[corners[3]]);
}

inline int rectSum(const int32_t* table, const int32_t corners[4]) {
    return static_cast<int32_t>(cornerSum(table, corners));
}

}  // namespace

// Every corner a rectangle reads lies within the window (a turned one
// reaches its height to the left and its width plus height down), so that
// no file can make the scan read beside its summed tables.
bool HaarCascade::insideWindow(const cv::Rect& r, bool tilted) const {
    if (r.width < 0 || r.height < 0 || r.y < 0) return false;
    const int64_t left = tilted ? int64_t{r.x} - r.height : r.x;
    const int64_t right = int64_t{r.x} + r.width;
    const int64_t bottom = tilted ? int64_t{r.y} + r.width + r.height : int64_t{r.y} + r.height;
    return left >= 0 && right <= window_.width && bottom <= window_.height;
}

HaarCascade::HaarCascade() : vectorRows_(detail::avx2Available()) {}

void HaarCascade::setVectorRows(bool enabled) {
    vectorRows_ = enabled && detail::avx2Available();
}

bool HaarCascade::load(const std::string& path) {
    features_.clear();
    stumps_.clear();
    stages_.clear();
    hasTilted_ = false;
    tableStep_ = planeSize_ = 0;
    bool ok = false;
    try {
        cv::FileStorage storage;
        ok = storage.open(path, cv::FileStorage::READ) && read(storage.getFirstTopLevelNode());
    } catch (const cv::Exception&) {
        ok = false;
    }
    if (!ok) {
        features_.clear();
        stumps_.clear();
        stages_.clear();
    }
    return ok;
}

bool HaarCascade::read(const cv::FileNode& root) {
    if (!root.isMap()) return false;
    if (static_cast<std::string>(root["stageType"]) != "BOOST") return false;
    if (static_cast<std::string>(root["featureType"]) != "HAAR") return false;
    window_ = cv::Size(static_cast<int>(root["width"]), static_cast<int>(root["height"]));
    if (window_.width <= 2 || window_.height <= 2) return false;
    const cv::FileNode params = root["featureParams"];
    if (params.empty() || static_cast<int>(params["maxCatCount"]) != 0) return false;
    normRect_ = cv::Rect(1, 1, window_.width - 2, window_.height - 2);

    const cv::FileNode stages = root["stages"];
    if (stages.empty()) return false;
    for (const cv::FileNode& stageNode : stages) {
        const cv::FileNode weak = stageNode["weakClassifiers"];
        if (weak.empty()) return false;
        const detail::HaarStage stage{
            static_cast<int32_t>(stumps_.size()), static_cast<int32_t>(weak.size()),
            static_cast<float>(stageNode["stageThreshold"]) - kStageThresholdMargin};
        for (const cv::FileNode& tree : weak) {
            // A stump: left, right, feature, threshold, then two leaves.
            const cv::FileNode nodes = tree["internalNodes"], leaves = tree["leafValues"];
            if (nodes.size() != 4 || leaves.size() != 2) return false;
            stumps_.push_back({static_cast<int32_t>(nodes[2]), static_cast<float>(nodes[3]),
                               static_cast<float>(leaves[0]), static_cast<float>(leaves[1])});
        }
        stages_.push_back(stage);
    }
    return readFeatures(root["features"]);
}

bool HaarCascade::readFeatures(const cv::FileNode& node) {
    if (node.empty()) return false;
    for (const cv::FileNode& featureNode : node) {
        Feature feature;
        const cv::FileNode rects = featureNode["rects"];
        if (rects.empty() || rects.size() > 3) return false;
        int r = 0;
        for (const cv::FileNode& rectNode : rects) {
            if (rectNode.size() != 5) return false;
            WeightedRect& w = feature.rects[r++];
            w.rect = cv::Rect(static_cast<int>(rectNode[0]), static_cast<int>(rectNode[1]),
                              static_cast<int>(rectNode[2]), static_cast<int>(rectNode[3]));
            w.weight = static_cast<float>(rectNode[4]);
        }
        feature.tilted = static_cast<int>(featureNode["tilted"]) != 0;
        for (int i = 0; i < r; ++i)
            if (!insideWindow(feature.rects[i].rect, feature.tilted)) return false;
        hasTilted_ = hasTilted_ || feature.tilted;
        features_.push_back(feature);
    }
    const auto unknown = [this](const detail::HaarStump& s) {
        return s.feature < 0 || s.feature >= static_cast<int32_t>(features_.size());
    };
    return std::none_of(stumps_.begin(), stumps_.end(), unknown);
}

void HaarCascade::detectRaw(const cv::Mat& gray8u, double scaleFactor, cv::Size minSize,
                            std::vector<cv::Rect>& windows) {
    windows.clear();
    if (empty() || gray8u.type() != CV_8UC1 || !(scaleFactor > 1.)) return;
    planLayers(gray8u.size(), scaleFactor, minSize);
    if (layers_.empty()) return;
    reserveTables();
    for (const Layer& layer : layers_) {
        sumLayer(gray8u, layer);
        scanLayer(layer, windows, gray8u.size());
    }
}

void HaarCascade::planLayers(cv::Size imageSize, double scaleFactor, cv::Size minSize) {
    layers_.clear();
    scales_.clear();
    if (imageSize.width < window_.width || imageSize.height < window_.height) return;
    // Every scale whose window fits the image; from here on a scale is a
    // float, as OpenCV keeps it.
    for (double factor = 1;; factor *= scaleFactor) {
        const cv::Size window(cvRound(window_.width * factor), cvRound(window_.height * factor));
        if (window.width > imageSize.width || window.height > imageSize.height) break;
        scales_.push_back(static_cast<float>(factor));
    }
    for (float scale : scales_) {
        const cv::Size window = windowAt(scale);
        if (window.width > imageSize.width || window.height > imageSize.height) break;
        if (window.width < minSize.width || window.height < minSize.height) continue;
        addLayer(scale, imageSize);
    }
    // With no scale at or above the minimum window, OpenCV still searches
    // the one whose window is nearest to it.
    if (layers_.empty() && !scales_.empty()) {
        const auto distance = [&](float scale) {
            const cv::Size gap = minSize - windowAt(scale);
            return static_cast<double>(gap.width * gap.width + gap.height * gap.height);
        };
        float nearest = scales_[0];
        for (float scale : scales_)
            if (distance(nearest) > distance(scale)) nearest = scale;
        addLayer(nearest, imageSize);
    }
    if (layers_.empty()) return;

    const auto working = [this](const Layer& layer) {
        return cv::Size(std::max(layer.image.width + 1 - window_.width, 0),
                        std::max(layer.image.height + 1 - window_.height, 0));
    };
    const int stripes = cvCeil(working(layers_[0]).width / kStripeColumns);
    for (Layer& layer : layers_) {
        const cv::Size area = working(layer);
        const int stripeRows =
            stripes > 0
                ? std::max((area.height / layer.step + stripes - 1) / stripes, 1) * layer.step
                : 0;
        layer.rowsEnd = std::min(stripes * stripeRows, area.height);
        layer.columnsEnd = area.width;
    }
}

cv::Size HaarCascade::windowAt(float scale) const {
    return {cvRound(window_.width * scale), cvRound(window_.height * scale)};
}

void HaarCascade::addLayer(float scale, cv::Size imageSize) {
    Layer layer;
    layer.scale = scale;
    layer.image = cv::Size(cvRound(imageSize.width / scale), cvRound(imageSize.height / scale));
    layer.step = scale >= kDenseGridScale ? 1 : 2;
    layers_.push_back(layer);
}

void HaarCascade::reserveTables() {
    // The first layer is the largest; every layer's tables fit in its place.
    const cv::Size largest = layers_[0].image + cv::Size(1, 1);
    const int step = roundUp(largest.width, kLanes);
    const int plane = step * largest.height;
    const std::size_t planes = hasTilted_ ? 3 : 2;
    const std::size_t tableSize = planes * plane + kTablePadding;
    if (tables_.size() < tableSize) tables_.resize(tableSize);
    const std::size_t pixels = static_cast<std::size_t>(largest.area());
    if (shrunk_.size() < pixels) shrunk_.resize(pixels);
    const std::size_t rowWindows = roundUp(largest.width, kLanes) + kLanes;
    if (rowResults_.size() < rowWindows) {
        rowResults_.resize(rowWindows);
        rowFactors_.resize(rowWindows);
        rowAccepted_.resize(rowWindows);
    }
    if (step != tableStep_ || plane != planeSize_) {
        tableStep_ = step;
        planeSize_ = plane;
        placeFeatures();
    }
}

void HaarCascade::placeFeatures() {
    uprightCorners(normRect_, tableStep_, normCorners_);
    placed_.resize(features_.size());
    for (std::size_t i = 0; i < features_.size(); ++i) {
        const Feature& feature = features_[i];
        detail::HaarFeature& placed = placed_[i];
        for (int r = 0; r < 3; ++r) {
            placed.weights[r] = feature.rects[r].weight;
            if (feature.tilted)
                tiltedCorners(feature.rects[r].rect, tableStep_, 2 * planeSize_, placed.corners[r]);
            else
                uprightCorners(feature.rects[r].rect, tableStep_, placed.corners[r]);
        }
    }
}

void HaarCascade::sumLayer(const cv::Mat& gray8u, const Layer& layer) {
    cv::Mat shrunk(layer.image, CV_8UC1, shrunk_.data());
    // OpenCV shrinks with the bit-exact bilinear resize, not INTER_LINEAR:
    // the two differ by a grey level here and there, enough to move windows.
    cv::resize(gray8u, shrunk, shrunk.size(), 1. / layer.scale, 1. / layer.scale,
               cv::INTER_LINEAR_EXACT);
    const cv::Size size = layer.image + cv::Size(1, 1);
    const std::size_t rowBytes = tableStep_ * sizeof(int32_t);
    cv::Mat sums(size, CV_32SC1, tables_.data(), rowBytes);
    cv::Mat squares(size, CV_32SC1, tables_.data() + planeSize_, rowBytes);
    if (hasTilted_) {
        cv::Mat tilted(size, CV_32SC1, tables_.data() + 2 * planeSize_, rowBytes);
        cv::integral(shrunk, sums, squares, tilted, CV_32S, CV_32S);
    } else {
        cv::integral(shrunk, sums, squares, CV_32S, CV_32S);
    }
}

void HaarCascade::scanLayer(const Layer& layer, std::vector<cv::Rect>& windows,
                            cv::Size imageSize) {
    const cv::Size found = windowAt(layer.scale);
    const cv::Rect image(0, 0, imageSize.width, imageSize.height);
    for (int y = 0; y < layer.rowsEnd; y += layer.step) {
        const int32_t* origin = tables_.data() + y * tableStep_;
        const int accepted = vectorRows_ ? scanRowVector(origin, layer) : scanRow(origin, layer);
        for (int i = 0; i < accepted; ++i) {
            // Windows that reach past the image are cut to it, and dropped
            // when nothing is left.
            const cv::Rect window = cv::Rect(cvRound(rowAccepted_[i] * layer.scale),
                                             cvRound(y * layer.scale), found.width, found.height) &
                                    image;
            if (window.area() > 0) windows.push_back(window);
        }
    }
}

int HaarCascade::scanRow(const int32_t* origin, const Layer& layer) {
    int accepted = 0;
    for (int x = 0; x < layer.columnsEnd; x += layer.step) {
        float factor;
        const int result = normalise(origin + x, factor) ? runStages(origin + x, factor, 0) : -1;
        if (result > 0) rowAccepted_[accepted++] = x;
        // A window the first stage rejects takes its right neighbour with it.
        if (result == 0) x += layer.step;
    }
    return accepted;
}

int HaarCascade::scanRowVector(const int32_t* origin, const Layer& layer) {
    const int count = (layer.columnsEnd + layer.step - 1) / layer.step;
    const detail::HaarRow row{origin,
                              count,
                              layer.step,
                              planeSize_,
                              {normCorners_[0], normCorners_[1], normCorners_[2], normCorners_[3]},
                              static_cast<double>(normRect_.area()),
                              placed_.data(),
                              stumps_.data(),
                              stages_.data(),
                              static_cast<int32_t>(stages_.size())};
    detail::classifyRowAvx2(row, rowResults_.data(), rowFactors_.data());

    // The vector rows classified every window; the walk keeps OpenCV's
    // skips and finishes the windows they left undecided.
    const int stageCount = static_cast<int>(stages_.size());
    int accepted = 0;
    for (int i = 0; i < count; ++i) {
        int result = rowResults_[i];
        if (result > 0) {
            const int passed = result - 1;
            const int x = i * layer.step;
            result = passed < stageCount ? runStages(origin + x, rowFactors_[i], passed) : 1;
        }
        if (result > 0) rowAccepted_[accepted++] = i * layer.step;
        if (result == 0) ++i;
    }
    return accepted;
}

bool HaarCascade::normalise(const int32_t* window, float& factor) const {
    const int sum = rectSum(window, normCorners_);
    const unsigned squares = cornerSum(window + planeSize_, normCorners_);
    const double area = normRect_.area();
    double spread = area * squares - static_cast<double>(sum) * sum;
    if (spread > 0.) {
        spread = std::sqrt(spread);
        factor = static_cast<float>(1. / spread);
        return area * factor < kMinContrast;
    }
    factor = 1.f;
    return false;
}

float HaarCascade::featureValue(const detail::HaarFeature& feature, const int32_t* window) const {
    float value = feature.weights[0] * static_cast<float>(rectSum(window, feature.corners[0])) +
                  feature.weights[1] * static_cast<float>(rectSum(window, feature.corners[1]));
    if (feature.weights[2] != 0.0f)
        value += feature.weights[2] * static_cast<float>(rectSum(window, feature.corners[2]));
    return value;
}

int HaarCascade::runStages(const int32_t* window, float factor, int firstStage) const {
    const int stageCount = static_cast<int>(stages_.size());
    for (int s = firstStage; s < stageCount; ++s) {
        const detail::HaarStage& stage = stages_[s];
        // Leaves are floats but add up in double, as in OpenCV.
        double sum = 0;
        for (const detail::HaarStump* stump = &stumps_[stage.first];
             stump != &stumps_[stage.first] + stage.count; ++stump) {
            const double value = featureValue(placed_[stump->feature], window) * factor;
            sum += value < stump->threshold ? stump->left : stump->right;
        }
        if (sum < stage.threshold) return -s;
    }
    return 1;
}

}  // namespace quexal
