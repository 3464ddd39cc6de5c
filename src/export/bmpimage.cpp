#include "export/bmpimage.h"

#include "export/halves.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quill {

std::int32_t pixelsPerMetre(int sizeReductionPosition) {
    if (sizeReductionPosition < 0 || sizeReductionPosition > 5)
        return 0;
    return 3780 << sizeReductionPosition;
}

void packGreyRow(const std::int32_t* __restrict src, std::size_t width,
                 std::uint8_t* __restrict row) {
    const std::size_t pairs = width / 2;
    std::size_t k = 0;
#if defined(__SSE2__)
    // Sixteen pixels to eight bytes at a time: each pixel's grey level
    // (bits 12 to 15, none for a negative colour), then each pair's two
    // levels into one byte.
    const __m128i nibble = _mm_set1_epi32(0xF);
    const __m128i low16 = _mm_set1_epi32(0xFFFF);
    auto levels = [&](const std::int32_t* p) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        return _mm_andnot_si128(_mm_srai_epi32(c, 31),
                                _mm_and_si128(_mm_srli_epi32(c, 12), nibble));
    };
    auto pairUp = [&](__m128i a) { // 32-bit lanes of (even | odd << 16)
        return _mm_or_si128(_mm_slli_epi32(_mm_and_si128(a, low16), 4), _mm_srli_epi32(a, 16));
    };
    for (; k + 8 <= pairs; k += 8) {
        const std::int32_t* p = src + 2 * k;
        const __m128i a = pairUp(_mm_packs_epi32(levels(p), levels(p + 4)));
        const __m128i b = pairUp(_mm_packs_epi32(levels(p + 8), levels(p + 12)));
        const __m128i words = _mm_packs_epi32(a, b);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row + k), _mm_packus_epi16(words, words));
    }
#endif
    for (; k < pairs; ++k)
        row[k] = static_cast<std::uint8_t>(greyLevel(src[2 * k]) << 4 | greyLevel(src[2 * k + 1]));
    if (width % 2 != 0)
        row[pairs] = static_cast<std::uint8_t>(greyLevel(src[width - 1]) << 4);
}

PackedImage packImage(const CapturedImage& image, BitmapHeader& header) {
    PackedImage packed;
    const std::int32_t w = std::max(image.width, 0);
    const std::int32_t h = std::max(image.height, 0);
    packed.width = w;
    packed.height = h;
    packed.rowBytes = 4 * ((w + 7) / 8);
    header.width = w;
    header.height = h;
    header.imageSize = static_cast<std::uint32_t>(h) * static_cast<std::uint32_t>(packed.rowBytes);
    if (w == 0 || h == 0)
        return packed;

    const auto rowBytes = static_cast<std::size_t>(packed.rowBytes);
    const auto width = static_cast<std::size_t>(w);
    packed.bytes.assign(static_cast<std::size_t>(h) * rowBytes, 0);
    const std::int32_t* src = image.colours.data();
    for (std::int32_t u = 0; u < h; ++u, src += width) {
        std::uint8_t* row = packed.bytes.data() + static_cast<std::size_t>(h - 1 - u) * rowBytes;
        const std::size_t pairs = width / 2;
        for (std::size_t k = 0; k < pairs; ++k)
            row[k] =
                static_cast<std::uint8_t>(greyLevel(src[2 * k]) << 4 | greyLevel(src[2 * k + 1]));
        if (width % 2 != 0)
            row[pairs] = static_cast<std::uint8_t>(greyLevel(src[width - 1]) << 4);
    }
    return packed;
}

namespace {

// Writes the code of one row at `out`, which has room for 2 * D + 2 bytes,
// and returns the end of what it wrote. The row ends with end of line.
std::uint8_t* encodeRow(const std::uint8_t* d, std::int32_t D, std::uint8_t* out) {
    // The bytes a .. b - 1 that no code holds yet: one byte alone goes out
    // as an encoded run of its two pixels, more as absolute runs of at most
    // 127 bytes, each padded to an even length.
    auto writeUnwritten = [&](std::int32_t a, std::int32_t b) {
        while (a < b) {
            const std::int32_t p = b - a;
            if (p == 1) {
                *out++ = 2;
                *out++ = d[a];
                return;
            }
            const std::int32_t n = std::min(p, 127);
            *out++ = 0;
            *out++ = static_cast<std::uint8_t>(2 * n);
            std::memcpy(out, d + a, static_cast<std::size_t>(n));
            out += n;
            if (n % 2 != 0)
                *out++ = 0;
            a += n;
        }
    };

    std::int32_t u = 0; // first byte not yet written
    std::uint8_t current = d[0];
    std::int32_t j = 1;
    while (j < D) {
        if (d[j] == current) {
            const std::int32_t s = j - 1;
            // Long runs (the white around an expression) are passed over
            // eight bytes at a time.
            const std::uint64_t eight = 0x0101010101010101u * current;
            std::uint64_t word;
            while (j + 8 <= D && (std::memcpy(&word, d + j, 8), word == eight))
                j += 8;
            while (j < D && d[j] == current)
                ++j;
            std::int32_t L = j - s;
            const std::int32_t p = s - u;
            // Runs of 2 or 3 bytes after two or more unwritten bytes stay in
            // the literal stretch: breaking it would cost more than it saves.
            if (L >= 4 || p <= 1) {
                writeUnwritten(u, s);
                while (L > 0) {
                    const std::int32_t n = std::min(L, 127);
                    *out++ = static_cast<std::uint8_t>(2 * n);
                    *out++ = current;
                    L -= n;
                }
                u = j;
            }
        }
        if (j < D)
            current = d[j];
        ++j;
    }
    writeUnwritten(u, D);
    *out++ = 0; // end of line
    *out++ = 0;
    return out;
}

// Appends the code of every row to `out` and turns the last end of line
// into end of bitmap.
void appendRle4(const PackedImage& packed, std::vector<std::uint8_t>& out) {
    if (packed.width <= 0 || packed.height <= 0)
        return;
    const std::int32_t D = packed.dataBytes();
    const std::size_t start = out.size();
    const std::size_t rowBound = 2 * static_cast<std::size_t>(D) + 2;
    out.resize(start + rowBound * static_cast<std::size_t>(packed.height));
    std::uint8_t* const begin = out.data() + start;
    std::uint8_t* o = begin;
    const std::uint8_t* row = packed.bytes.data();
    for (std::int32_t v = 0; v < packed.height; ++v, row += packed.rowBytes)
        o = encodeRow(row, D, o);
    out.resize(start + static_cast<std::size_t>(o - begin));
    out.back() = 1; // end of bitmap
}

void appendHeader(std::vector<std::uint8_t>& out, const BitmapHeader& h) {
    out.push_back(0x42); // "B"
    out.push_back(0x4D); // "M"
    longToBytes(out, h.fileSize);
    shortToBytes(out, h.reserved1);
    shortToBytes(out, h.reserved2);
    longToBytes(out, BitmapHeader::dataOffset);
    longToBytes(out, BitmapHeader::infoHeaderSize);
    longToBytes(out, static_cast<std::uint32_t>(h.width));
    longToBytes(out, static_cast<std::uint32_t>(h.height));
    shortToBytes(out, h.planes);
    shortToBytes(out, h.bitCount);
    longToBytes(out, h.compression);
    longToBytes(out, h.imageSize);
    longToBytes(out, static_cast<std::uint32_t>(h.xPixelsPerMetre));
    longToBytes(out, static_cast<std::uint32_t>(h.yPixelsPerMetre));
    longToBytes(out, h.coloursUsed);
    longToBytes(out, h.coloursImportant);
    for (std::uint32_t n = 0; n < 16; ++n)
        longToBytes(out, 0x111111u * n);
}

void setSizes(BitmapHeader& header, std::size_t rleLength) {
    header.imageSize = static_cast<std::uint32_t>(rleLength);
    header.fileSize = static_cast<std::uint32_t>(rleLength) + BitmapHeader::dataOffset;
}

} // namespace

Rle4Code encodeRle4(const PackedImage& packed) {
    Rle4Code code;
    appendRle4(packed, code.rleData);
    return code;
}

void longToBytes(std::vector<std::uint8_t>& out, std::uint32_t inLong) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(inLong >> (8 * i)));
}

void shortToBytes(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::vector<std::uint8_t> bitmapFileBytes(BitmapHeader& header, const Rle4Code& code) {
    setSizes(header, code.rleData.size());
    std::vector<std::uint8_t> file;
    file.reserve(BitmapHeader::dataOffset + code.rleData.size());
    appendHeader(file, header);
    file.insert(file.end(), code.rleData.begin(), code.rleData.end());
    return file;
}

std::vector<std::uint8_t> bitmapFileFromCapture(const CapturedImage& image,
                                                int sizeReductionPosition) {
    BitmapHeader header;
    header.xPixelsPerMetre = header.yPixelsPerMetre = pixelsPerMetre(sizeReductionPosition);
    return bitmapFileFromCapture(image, header);
}

namespace {

// Packs and codes the rows `from` down to `to` (inclusive, bottom-up as the
// file holds them) after `at` bytes of `file`; returns the end of the code.
// Room grows as the code does: a plain picture codes to a few bytes a row,
// and memory never touched costs nothing.
std::size_t codeRows(const CapturedImage& image, std::int32_t from, std::int32_t to,
                     std::vector<std::uint8_t>& file, std::size_t at) {
    const auto width = static_cast<std::size_t>(image.width);
    const std::int32_t D = (image.width + 1) / 2;
    const std::size_t rowBound = 2 * static_cast<std::size_t>(D) + 2;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(D));
    file.resize(at + std::min<std::size_t>(rowBound * static_cast<std::size_t>(from - to + 1),
                                           std::size_t{1} << 16));
    for (std::int32_t u = from; u >= to; --u) {
        if (file.size() - at < rowBound)
            file.resize(std::max(2 * file.size(), at + rowBound));
        packGreyRow(image.colours.data() + static_cast<std::size_t>(u) * width, width, row.data());
        at = static_cast<std::size_t>(encodeRow(row.data(), D, file.data() + at) - file.data());
    }
    return at;
}

} // namespace

std::vector<std::uint8_t> bitmapFileFromCapture(const CapturedImage& image, BitmapHeader& header) {
    // The same bytes as packImage, encodeRle4 and bitmapFileBytes in turn,
    // in one pass: each row is packed into a small buffer that stays in the
    // cache and coded at once, straight after room for the headers, which
    // are written once the code's length is known. Rows are coded each on
    // its own, so two halves can be coded apart and joined.
    const std::int32_t w = std::max(image.width, 0);
    const std::int32_t h = std::max(image.height, 0);
    header.width = w;
    header.height = h;
    std::vector<std::uint8_t> file(BitmapHeader::dataOffset);
    if (w > 0 && h > 0) {
        std::size_t at = BitmapHeader::dataOffset;
        if (static_cast<long long>(w) * h >= HalvesWorthPixels && h >= 2) {
            const std::int32_t middle = h / 2;
            std::vector<std::uint8_t> upper;
            std::size_t upperEnd = 0;
            runInHalves([&] { at = codeRows(image, h - 1, middle, file, at); },
                        [&] { upperEnd = codeRows(image, middle - 1, 0, upper, 0); });
            file.resize(at);
            file.insert(file.end(), upper.begin(),
                        upper.begin() + static_cast<std::ptrdiff_t>(upperEnd));
            at = file.size();
        } else {
            at = codeRows(image, h - 1, 0, file, at);
        }
        file[at - 1] = 1; // end of bitmap
        file.resize(at);
    }
    setSizes(header, file.size() - BitmapHeader::dataOffset);
    std::vector<std::uint8_t> head;
    head.reserve(BitmapHeader::dataOffset);
    appendHeader(head, header);
    std::copy(head.begin(), head.end(), file.begin());
    return file;
}

std::vector<std::uint8_t> withResolution(std::vector<std::uint8_t> file, BitmapHeader& header,
                                         std::int32_t pixelsPerMetre) {
    header.xPixelsPerMetre = header.yPixelsPerMetre = pixelsPerMetre;
    std::vector<std::uint8_t> head;
    head.reserve(BitmapHeader::dataOffset);
    appendHeader(head, header);
    std::copy(head.begin(), head.end(), file.begin());
    return file;
}

} // namespace quill
