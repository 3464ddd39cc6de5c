#pragma once
// Rendered text, kept between redraws. The canvas is repainted from scratch
// on every pointer movement, and putting large text through the glyph
// rasteriser each time would make dragging stutter; instead each distinct
// (font, text) is rendered once into a coverage mask and then only
// composited. The cache is bounded by the bytes of its masks and forgets
// the least recently used entries first.

#include "render/fontface.h"

#include <QImage>
#include <QPoint>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quill {

class TextCache;

struct TextRun : std::enable_shared_from_this<TextRun> {
    // What was rendered.
    CanvasFont font;
    std::string text;
    QImage mask;   // Alpha8: the ink's coverage, 0 (none) to 255 (solid)
    QPoint offset; // top-left of the mask relative to the text's top-left
    QSize maskSize{0, 0};
    // The ink as spans of columns [begin, end) per mask row; short gaps
    // inside a span are kept, long stretches without ink are left out.
    // Row r's spans are spans[rowStart[r]] .. spans[rowStart[r + 1]].
    std::vector<std::pair<std::int32_t, std::int32_t>> spans;
    std::vector<std::uint32_t> rowStart;
    std::size_t maskBytes = 0; // mask.sizeInBytes(), at hand for a repaint's count
    // The last frame of its surface that counted this run's bytes as kept
    // alive; a run drawn many times in one frame is counted once.
    mutable std::uint64_t pinnedInFrame = 0;
    // The cache that holds it and its place in that cache's order of use,
    // so that a repaint marks it used without looking it up.
    mutable const TextCache* keptBy = nullptr;
    mutable std::list<const TextRun*>::iterator usePlace;
    // What compositing a whole row of spans does to its pixels, worked out
    // once, as steps that each change pixels no other changes (or change
    // them alike), so that they can go in any order: runs of solid pixels,
    // groups of four pixels blended with the four coverage bytes in
    // `alpha` (low byte first), and the last pixels of spans, blended one
    // by one. Row r's runs are steps[rowSteps[3r]] .. steps[rowSteps[3r + 1]],
    // its groups from there to steps[rowSteps[3r + 2]] and its last pixels
    // from there to steps[rowSteps[3r + 3]].
    //
    // Worked out by prepareSteps() the first time a repaint of a whole
    // picture composites the run (empty until then): they save time only
    // where the same text is composited whole again and again, and cost
    // memory (about a quarter of the mask's) that the cache does not count.
    struct InkStep {
        std::uint16_t x;
        std::uint16_t count; // pixels of a run or of a span's end
        std::uint32_t alpha;
    };
    static constexpr int MaxStepWidth = 65535;
    mutable std::vector<InkStep> steps;
    mutable std::vector<std::uint32_t> rowSteps;
    // Works the steps out if they are not yet; false for a mask wider than
    // a step can say, which has none.
    bool prepareSteps() const;
};

class TextCache {
public:
    explicit TextCache(std::size_t byteBudget = std::size_t(256) * 1024 * 1024);
    ~TextCache();
    TextCache(const TextCache&) = delete;
    TextCache& operator=(const TextCache&) = delete;

    // The rendered run for this text; rendered now if not cached.
    std::shared_ptr<const TextRun> run(const CanvasFont& font, const std::string& text);
    // Marks a run as just used, as run() would, without rendering: one the
    // cache had forgotten while it was still drawn is taken back.
    void keep(const std::shared_ptr<const TextRun>& run);
    // Changes whenever the cache is cleared; a run kept from before a
    // change may no longer be what rendering the text gives.
    std::uint64_t generation() const { return m_generation; }

    std::size_t entryCount() const { return m_entries.size(); }
    std::size_t bytesUsed() const { return m_bytes; }
    std::size_t misses() const { return m_misses; }
    void clear();

    static std::shared_ptr<const TextRun> render(const CanvasFont& font, const std::string& text);

private:
    struct Key {
        CanvasFont font;
        std::string text;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const;
    };
    struct Entry {
        std::shared_ptr<const TextRun> run;
        std::size_t bytes;
    };

    void evictTo(std::size_t budget);
    void insert(Key key, const std::shared_ptr<const TextRun>& run);

    std::size_t m_budget;
    std::size_t m_bytes = 0;
    std::size_t m_misses = 0;
    std::uint64_t m_generation = 0;
    std::list<const TextRun*> m_lru; // front = most recently used
    std::unordered_map<Key, Entry, KeyHash> m_entries;
};

} // namespace quill
