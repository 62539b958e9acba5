#include "contact_sheet.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

namespace qxcli {

namespace {

constexpr int kLabelHeight = 20;
constexpr int kTitleHeight = 28;
constexpr int kGap = 4;
constexpr double kLabelScale = 0.42;
const cv::Scalar kSheetColour(32, 32, 32);

void drawLabel(cv::Mat& cell, const std::string& text, bool refused) {
    const cv::Rect bar(0, cell.rows - kLabelHeight, cell.cols, kLabelHeight);
    cell(bar).setTo(refused ? cv::Scalar(30, 30, 140) : cv::Scalar(60, 60, 60));
    std::string shown = text;
    int baseline = 0;
    // Shorten labels that would run past the tile.
    while (shown.size() > 4 &&
           cv::getTextSize(shown, cv::FONT_HERSHEY_SIMPLEX, kLabelScale, 1, &baseline).width >
               cell.cols - 8)
        shown = shown.substr(0, shown.size() - 4) + "..";
    cv::putText(cell, shown, {4, cell.rows - 6}, cv::FONT_HERSHEY_SIMPLEX, kLabelScale,
                cv::Scalar(255, 255, 255), 1, cv::LINE_AA);
}

}  // namespace

cv::Mat buildContactSheet(const std::vector<Tile>& tiles, const std::string& title, int columns,
                          cv::Size tileSize) {
    const int count = static_cast<int>(tiles.size());
    columns = std::max(1, std::min(columns, count));
    const int rows = (count + columns - 1) / columns;
    const cv::Size cellSize(tileSize.width, tileSize.height + kLabelHeight);
    cv::Mat sheet(kTitleHeight + rows * (cellSize.height + kGap) + kGap,
                  columns * (cellSize.width + kGap) + kGap, CV_8UC3, kSheetColour);
    cv::putText(sheet, title, {kGap + 2, kTitleHeight - 9}, cv::FONT_HERSHEY_SIMPLEX, 0.55,
                cv::Scalar(230, 230, 230), 1, cv::LINE_AA);

    for (int i = 0; i < count; ++i) {
        const cv::Rect at(kGap + (i % columns) * (cellSize.width + kGap),
                          kTitleHeight + kGap + (i / columns) * (cellSize.height + kGap),
                          cellSize.width, cellSize.height);
        cv::Mat cell = sheet(at);
        if (!tiles[i].image.empty()) {
            cv::Mat picture;
            cv::resize(tiles[i].image, picture, tileSize, 0, 0, cv::INTER_AREA);
            if (tiles[i].refused) picture = picture * 0.35;
            picture.copyTo(cell(cv::Rect({0, 0}, tileSize)));
        }
        drawLabel(cell, tiles[i].label, tiles[i].refused);
    }
    return sheet;
}

}  // namespace qxcli
