#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace qxcli {

struct Tile {
    cv::Mat image;  // BGR, any size; scaled into the tile
    std::string label;
    bool refused = false;  // drawn dimmed, with a red label
};

// One labelled tile per entry, `columns` to a row, under a title line.
cv::Mat buildContactSheet(const std::vector<Tile>& tiles, const std::string& title, int columns = 6,
                          cv::Size tileSize = {200, 150});

}  // namespace qxcli
