// A stump-based Haar cascade whose raw windows are exactly those of
// OpenCV 4.6's CascadeClassifier::detectMultiScale with no grouping
// (minNeighbors 0), found faster on one core: the first stages run on eight
// neighbouring windows at once where the processor has AVX2.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "mask/cascade/haar_cascade_avx2.h"

namespace quexal {

class HaarCascade {
public:
    HaarCascade();

    // Reads a cascade in OpenCV's "opencv-cascade-classifier" layout; false
    // (and empty) for a missing file or anything but boosted HAAR stumps.
    bool load(const std::string& path);
    bool empty() const { return stages_.empty(); }
    cv::Size windowSize() const { return window_; }

    // Every window the cascade accepts, as detectMultiScale(gray8u, windows,
    // scaleFactor, 0, 0, minSize) would give them, in scan order rather than
    // OpenCV's thread-dependent order. Nothing for an empty cascade, an
    // image that is not 8-bit grey, or a factor not above 1.
    void detectRaw(const cv::Mat& gray8u, double scaleFactor, cv::Size minSize,
                   std::vector<cv::Rect>& windows);

    // The AVX2 rows are taken whenever the processor has them; the tests
    // turn them off to check the portable scan on its own.
    void setVectorRows(bool enabled);
    bool vectorRows() const { return vectorRows_; }

private:
    // A rectangle of the cascade's window with its weight, before scaling.
    struct WeightedRect {
        cv::Rect rect;
        float weight = 0.f;
    };
    struct Feature {
        WeightedRect rects[3];
        bool tilted = false;
    };
    // One scale of the search: the image shrunk by `scale`, its summed
    // tables one larger each way, and the window grid on it.
    struct Layer {
        float scale;
        cv::Size image;
        int step;        // between windows, in both directions
        int rowsEnd;     // windows start on rows below this
        int columnsEnd;  // and on columns below this
    };

    bool read(const cv::FileNode& root);
    bool readFeatures(const cv::FileNode& node);
    bool insideWindow(const cv::Rect& rect, bool tilted) const;
    void planLayers(cv::Size imageSize, double scaleFactor, cv::Size minSize);
    cv::Size windowAt(float scale) const;
    void addLayer(float scale, cv::Size imageSize);
    void reserveTables();
    void placeFeatures();
    void sumLayer(const cv::Mat& gray8u, const Layer& layer);
    void scanLayer(const Layer& layer, std::vector<cv::Rect>& windows, cv::Size imageSize);
    int scanRow(const int32_t* origin, const Layer& layer);
    int scanRowVector(const int32_t* origin, const Layer& layer);

    bool normalise(const int32_t* window, float& factor) const;
    float featureValue(const detail::HaarFeature& feature, const int32_t* window) const;
    int runStages(const int32_t* window, float factor, int firstStage) const;

    cv::Size window_;
    cv::Rect normRect_;
    bool hasTilted_ = false;
    std::vector<Feature> features_;
    std::vector<detail::HaarStump> stumps_;
    std::vector<detail::HaarStage> stages_;
    bool vectorRows_ = false;

    // Per detection, kept so that a warm object allocates nothing.
    std::vector<float> scales_;
    std::vector<Layer> layers_;
    std::vector<detail::HaarFeature> placed_;  // features_ at the tables' layout
    int32_t normCorners_[4] = {};
    int tableStep_ = 0;  // ints between rows of a summed table
    int planeSize_ = 0;  // ints between the sums, squared sums and tilted sums
    std::vector<int32_t> tables_;
    std::vector<uint8_t> shrunk_;
    std::vector<int32_t> rowResults_;
    std::vector<float> rowFactors_;
    std::vector<int32_t> rowAccepted_;  // columns of the accepted windows of a row
};

}  // namespace quexal
