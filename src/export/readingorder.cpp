#include "export/readingorder.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace quill {

namespace {

using Indexes = std::vector<std::size_t>;

// Splits `group` into parts along one axis wherever nothing reaches across
// the gap between two parts; `from` and `to` give an item's extent.
template <typename From, typename To> std::vector<Indexes> cut(Indexes group, From from, To to) {
    std::stable_sort(group.begin(), group.end(),
                     [&](std::size_t a, std::size_t b) { return from(a) < from(b); });
    std::vector<Indexes> parts;
    double reach = 0;
    for (const std::size_t i : group) {
        if (parts.empty() || from(i) >= reach) {
            parts.emplace_back();
            reach = to(i);
        }
        parts.back().push_back(i);
        reach = std::max(reach, to(i));
    }
    return parts;
}

} // namespace

std::vector<std::size_t> readingOrder(const std::vector<ReadingItem>& items) {
    const auto top = [&](std::size_t i) { return items[i].box.top(); };
    const auto bottom = [&](std::size_t i) { return items[i].box.bottom(); };
    const auto left = [&](std::size_t i) { return items[i].box.left(); };
    const auto right = [&](std::size_t i) { return items[i].box.right(); };
    const auto extent = [&](const Indexes& part) {
        double t = top(part.front()), b = bottom(part.front());
        for (const std::size_t i : part) {
            t = std::min(t, top(i));
            b = std::max(b, bottom(i));
        }
        return std::pair<double, double>(t, b);
    };
    const auto onlyBars = [&](const Indexes& part) {
        return std::all_of(part.begin(), part.end(), [&](std::size_t i) { return items[i].bar; });
    };
    // Rows: the stacked parts of `parts` joined across every gap that only
    // separates stacked things (next to a bar, or narrow beside the parts).
    const auto rows = [&](const std::vector<Indexes>& parts) {
        std::vector<Indexes> out;
        for (const Indexes& part : parts) {
            bool stacked = false;
            if (!out.empty()) {
                const auto [aboveTop, aboveBottom] = extent(out.back());
                const auto [belowTop, belowBottom] = extent(part);
                const double gap = belowTop - aboveBottom;
                const double lower = std::min(aboveBottom - aboveTop, belowBottom - belowTop);
                stacked = onlyBars(out.back()) || onlyBars(part) || gap < lower / 2;
            }
            if (stacked)
                out.back().insert(out.back().end(), part.begin(), part.end());
            else
                out.push_back(part);
        }
        return out;
    };

    Indexes all(items.size());
    std::iota(all.begin(), all.end(), std::size_t{0});
    Indexes out;
    out.reserve(items.size());
    // A stack of groups still to read rather than recursion: a file may hold
    // tens of thousands of items, and each cut may peel off only one.
    std::vector<Indexes> pending;
    if (!all.empty())
        pending.push_back(std::move(all));
    while (!pending.empty()) {
        Indexes group = std::move(pending.back());
        pending.pop_back();
        if (group.size() == 1) {
            out.push_back(group.front());
            continue;
        }
        const std::vector<Indexes> stacked = cut(group, top, bottom);
        std::vector<Indexes> parts = rows(stacked);
        if (parts.size() == 1)
            parts = cut(group, left, right);
        if (parts.size() == 1)
            parts = stacked;
        if (parts.size() > 1) {
            for (auto p = parts.rbegin(); p != parts.rend(); ++p)
                pending.push_back(std::move(*p));
            continue;
        }
        // Nothing cuts the group (a radical sign with the bar over what it
        // covers): its leftmost item first, the topmost of those, then the
        // rest.
        const auto first =
            std::min_element(group.begin(), group.end(), [&](std::size_t a, std::size_t b) {
                return left(a) != left(b) ? left(a) < left(b) : top(a) < top(b);
            });
        out.push_back(*first);
        group.erase(first);
        pending.push_back(std::move(group));
    }
    return out;
}

} // namespace quill
