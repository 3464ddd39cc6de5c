#include "render/largepages.h"

#include <cstdlib>
#include <sys/mman.h>

namespace quill {

namespace {
constexpr std::size_t LargePage = 2 * 1024 * 1024;
} // namespace

QImage largePagePicture(QSize size, QImage::Format format) {
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    const qsizetype bytesPerLine = ((static_cast<qsizetype>(size.width()) * depth + 31) / 32) * 4;
    const auto bytes =
        static_cast<std::size_t>(bytesPerLine) * static_cast<std::size_t>(size.height());
    if (size.isEmpty() || bytes < LargePage)
        return QImage(size, format);
    const std::size_t rounded = (bytes + LargePage - 1) / LargePage * LargePage;
    void* memory = std::aligned_alloc(LargePage, rounded);
    if (memory == nullptr)
        return QImage(size, format);
    // Only advice: where the system has no large pages to give, the
    // picture works the same with small ones.
    madvise(memory, rounded, MADV_HUGEPAGE);
    return QImage(
        static_cast<uchar*>(memory), size.width(), size.height(), bytesPerLine, format,
        [](void* p) { std::free(p); }, memory);
}

} // namespace quill
