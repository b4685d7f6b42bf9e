#pragma once
// The regions of a camera's picture where movement does not count (CAMERAn.MASK): rectangles
// "x,y,w,h" in whole percent of the picture, separated by ";" ("0,0,100,20;70,60,30,40").

#include <optional>
#include <string>
#include <vector>

struct MaskRect {
    int x = 0; // left edge, percent of the width
    int y = 0; // top edge, percent of the height
    int width = 0;
    int height = 0;
    friend bool operator==(const MaskRect&, const MaskRect&) = default;
};

// The rectangles of text (empty text: none); nullopt with *why (when given) naming the first
// part that is not four whole numbers from 0 to 100 with x + w and y + h at most 100, or that
// has no area.
std::optional<std::vector<MaskRect>> ParseMotionMask(const std::string& text,
                                                     std::string* why = nullptr);
