#include "export/readingorder.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace quill {

namespace {

using Indexes = std::vector<std::size_t>;

// Splits `items` into groups along one axis wherever nothing reaches across
// the gap between two groups; `from` and `to` give an item's extent.
template <typename From, typename To> std::vector<Indexes> cut(Indexes items, From from, To to) {
    std::stable_sort(items.begin(), items.end(),
                     [&](std::size_t a, std::size_t b) { return from(a) < from(b); });
    std::vector<Indexes> groups;
    double reach = 0;
    for (const std::size_t i : items) {
        if (groups.empty() || from(i) >= reach) {
            groups.emplace_back();
            reach = to(i);
        }
        groups.back().push_back(i);
        reach = std::max(reach, to(i));
    }
    return groups;
}

// Reads the items of `items` into `out`. A stack of groups still to read,
// rather than recursion: a file may hold tens of thousands of items, and
// each cut may peel off only one.
void read(const std::vector<QRectF>& boxes, Indexes items, Indexes& out) {
    const auto top = [&](std::size_t i) { return boxes[i].top(); };
    const auto bottom = [&](std::size_t i) { return boxes[i].bottom(); };
    const auto left = [&](std::size_t i) { return boxes[i].left(); };
    const auto right = [&](std::size_t i) { return boxes[i].right(); };
    std::vector<Indexes> pending;
    pending.push_back(std::move(items));
    while (!pending.empty()) {
        Indexes group = std::move(pending.back());
        pending.pop_back();
        if (group.size() <= 1) {
            out.insert(out.end(), group.begin(), group.end());
            continue;
        }
        std::vector<Indexes> parts = cut(group, top, bottom);
        if (parts.size() == 1)
            parts = cut(group, left, right);
        if (parts.size() > 1) {
            for (auto p = parts.rbegin(); p != parts.rend(); ++p)
                pending.push_back(std::move(*p));
            continue;
        }
        // Nothing cuts the group (a radical sign with the bar over what it
        // covers): its leftmost item first, topmost of those, then the rest.
        const auto first =
            std::min_element(group.begin(), group.end(), [&](std::size_t a, std::size_t b) {
                return left(a) != left(b) ? left(a) < left(b) : top(a) < top(b);
            });
        out.push_back(*first);
        group.erase(first);
        pending.push_back(std::move(group));
    }
}

} // namespace

std::vector<std::size_t> readingOrder(const std::vector<QRectF>& boxes) {
    Indexes all(boxes.size());
    std::iota(all.begin(), all.end(), std::size_t{0});
    Indexes out;
    out.reserve(boxes.size());
    read(boxes, std::move(all), out);
    return out;
}

} // namespace quill
