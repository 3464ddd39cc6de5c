#pragma once
// The exported picture, from captured colours to the bytes of a bitmap
// file: 16 grey levels, 4 bits per pixel, RLE4-compressed, with a fixed grey
// palette and a stored resolution that carries the chosen size reduction.
//
//   CapturedImage --packImage--> PackedImage --encodeRle4--> Rle4Code
//        \______________________ bitmapFileBytes ______________________/
//                  (startSave's header through longToBytes/shortToBytes)
//
// Everything here works on values in memory and needs no window; the file
// itself is written by the caller in one piece (writeFileAtomically).

#include <cstdint>
#include <span>
#include <vector>

namespace quill {

// Captured colours, 0x00BBGGRR, with -1 for a point that has no colour.
// Stored row by row from the top: colour(x, y) is colours[y * width + x].
struct CapturedImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::int32_t> colours;

    std::int32_t colour(std::int32_t x, std::int32_t y) const {
        return colours[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                       static_cast<std::size_t>(x)];
    }
};

// The grey level (0..15) of a colour: the upper four bits of green. A point
// without colour (any negative value) is level 0, black.
constexpr std::uint8_t greyLevel(std::int32_t colour) {
    return colour < 0 ? 0 : static_cast<std::uint8_t>((colour >> 12) & 0xF);
}

// Packs one captured row of `width` colours into ceil(width / 2) bytes of
// grey levels, two a byte, the first in the high half (as the bitmap's and
// the PNG's rows hold them).
void packGreyRow(const std::int32_t* __restrict src, std::size_t width,
                 std::uint8_t* __restrict row);

// Resolution in pixels per metre for a position of the size-reduction list:
// positions 0 to 5 give 1, 2, 4, 8, 16, 32 times 3780 (96 dots per inch);
// any other position (typed text, nothing selected) gives 0.
std::int32_t pixelsPerMetre(int sizeReductionPosition);

// The header record of the bitmap file. Every field holds its fixed value
// until packImage fills the size and startSave the resolution, image and
// file sizes.
struct BitmapHeader {
    static constexpr std::uint16_t fileHeaderSize = 14;
    static constexpr std::uint32_t infoHeaderSize = 40;
    static constexpr std::uint32_t paletteSize = 16 * 4;
    static constexpr std::uint32_t dataOffset = fileHeaderSize + infoHeaderSize + paletteSize;

    std::uint32_t fileSize = 0;
    std::uint16_t reserved1 = 0;
    std::uint16_t reserved2 = 0;
    std::int32_t width = 0;
    std::int32_t height = 0; // positive: rows run bottom-up
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 4;
    std::uint32_t compression = 2; // RLE4
    std::uint32_t imageSize = 0;
    std::int32_t xPixelsPerMetre = 0;
    std::int32_t yPixelsPerMetre = 0;
    std::uint32_t coloursUsed = 0;
    std::uint32_t coloursImportant = 0;
};

// Grey levels two to a byte (left pixel in the upper half), each row padded
// with zero bytes to rowBytes, a multiple of 4; the bottom row comes first.
struct PackedImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t rowBytes = 0;
    std::vector<std::uint8_t> bytes; // height * rowBytes

    // The bytes of a row that hold pixels: ceil(width / 2).
    std::int32_t dataBytes() const { return (width + 1) / 2; }
};

// Packs captured colours into grey rows and puts the width, height and
// uncompressed image size into the header.
PackedImage packImage(const CapturedImage& image, BitmapHeader& header);

// The RLE4 code of a packed image, ending in end of bitmap. An image with
// no pixels has no code.
struct Rle4Code {
    std::vector<std::uint8_t> rleData;
    std::int32_t rleLength() const { return static_cast<std::int32_t>(rleData.size()); }
};

Rle4Code encodeRle4(const PackedImage& packed);

// Appends a 32-bit or 16-bit value, low byte first.
void longToBytes(std::vector<std::uint8_t>& out, std::uint32_t inLong);
void shortToBytes(std::vector<std::uint8_t>& out, std::uint16_t value);

// The whole file: the two headers, the palette and the code. The header's
// image and file sizes are set from the code's length.
std::vector<std::uint8_t> bitmapFileBytes(BitmapHeader& header, const Rle4Code& code);

// Captured colours to finished file bytes, the resolution taken from the
// size-reduction list position.
std::vector<std::uint8_t> bitmapFileFromCapture(const CapturedImage& image,
                                                int sizeReductionPosition);
// The same with the resolution already in `header`, which ends up complete.
std::vector<std::uint8_t> bitmapFileFromCapture(const CapturedImage& image, BitmapHeader& header);

// A file that bitmapFileFromCapture made with `header`, given another
// resolution: only the header changes, so the picture is not coded again.
std::vector<std::uint8_t> withResolution(std::vector<std::uint8_t> file, BitmapHeader& header,
                                         std::int32_t pixelsPerMetre);

} // namespace quill
