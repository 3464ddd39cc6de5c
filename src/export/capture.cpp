#include "export/capture.h"

#include "export/halves.h"
#include "model/vbtypes.h"

#include <algorithm>

namespace quill {

namespace {

// 0xAARRGGBB pixels to 0x00BBGGRR colours.
void convertRow(const std::uint32_t* __restrict from, std::int32_t* __restrict to, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t p = from[i];
        to[i] = static_cast<std::int32_t>((p & 0xFFu) << 16 | (p & 0xFF00u) | (p >> 16 & 0xFFu));
    }
}

} // namespace

OutlineArea outlineArea(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    OutlineArea a;
    a.left = std::min(x1, x2) + 1;
    a.top = std::min(y1, y2) + 1;
    a.width = std::max(x1, x2) - std::min(x1, x2) - 2;
    a.height = std::max(y1, y2) - std::min(y1, y2) - 2;
    return a;
}

OutlineCorners outlineAround(std::int32_t left, std::int32_t top, std::int32_t right,
                             std::int32_t bottom, std::int32_t margin) {
    return {saturate16(static_cast<long long>(left) - margin - 1),
            saturate16(static_cast<long long>(top) - margin - 1),
            saturate16(static_cast<long long>(right) + margin + 2),
            saturate16(static_cast<long long>(bottom) + margin + 2)};
}

float progressAfterRow(float value, std::int32_t imageHeight) {
    if (imageHeight <= 0)
        return value;
    const double s = 100.0 / imageHeight;
    if (static_cast<float>(100.0 - s) > value)
        return static_cast<float>(static_cast<double>(value) + s);
    return value;
}

CapturedImage capturePixels(const PixelRows& picture, const OutlineArea& area,
                            const std::function<void(float)>& onProgress) {
    CapturedImage image;
    capturePixels(picture, area, image, onProgress);
    return image;
}

void capturePixels(const PixelRows& picture, const OutlineArea& area, CapturedImage& image,
                   const std::function<void(float)>& onProgress) {
    if (area.empty()) {
        image.width = image.height = 0;
        image.colours.clear();
        return;
    }
    image.width = area.width;
    image.height = area.height;
    const auto width = static_cast<std::size_t>(area.width);
    // Every element is written below, so what the buffer held does not
    // matter; keeping its memory spares the page faults of a fresh one.
    image.colours.resize(width * static_cast<std::size_t>(area.height));

    // Columns of the area that lie on the picture: [inFrom, inTo).
    const std::int32_t inFrom = std::clamp(-area.left, 0, area.width);
    const std::int32_t inTo = std::clamp(picture.width - area.left, inFrom, area.width);

    auto copyRows = [&](std::int32_t from, std::int32_t to) {
        std::int32_t* out = image.colours.data() + static_cast<std::size_t>(from) * width;
        for (std::int32_t y = from; y < to; ++y, out += width) {
            const std::int32_t py = area.top + y;
            if (py < 0 || py >= picture.height || picture.bits == nullptr) {
                std::fill(out, out + width, -1);
                continue;
            }
            const auto* row = reinterpret_cast<const std::uint32_t*>(
                picture.bits + static_cast<std::ptrdiff_t>(py) * picture.bytesPerLine);
            std::fill(out, out + inFrom, -1);
            if (inTo > inFrom)
                convertRow(row + (area.left + inFrom), out + inFrom,
                           static_cast<std::size_t>(inTo - inFrom));
            std::fill(out + inTo, out + width, -1);
        }
    };
    // A large area: its lower half is copied beside the upper one, and the
    // progress told as the rows are done, the lower half's at the end.
    const bool split =
        static_cast<long long>(area.width) * area.height >= HalvesWorthPixels && area.height >= 2;
    const std::int32_t mine = split ? area.height / 2 : area.height;
    float bar = 0;
    int shown = 0;
    auto tell = [&] {
        bar = progressAfterRow(bar, area.height);
        if (onProgress && static_cast<int>(bar) != shown) {
            shown = static_cast<int>(bar);
            onProgress(bar);
        }
    };
    auto upper = [&] {
        for (std::int32_t y = 0; y < mine; ++y) {
            copyRows(y, y + 1);
            tell();
        }
    };
    if (split)
        runInHalves(upper, [&] { copyRows(mine, area.height); });
    else
        upper();
    for (std::int32_t y = mine; y < area.height; ++y)
        tell();
}

} // namespace quill
