#include "export/deflateruns.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <queue>
#include <utility>
#include <zlib.h>

namespace quill {

namespace {

// The zlib stream's Adler-32 of the data, as zlib's adler32 gives it. The
// data are filtered rows of a picture, mostly zeros: a zero byte leaves the
// first sum as it is and adds it to the second, so eight zero bytes cost one
// comparison and one addition.
std::uint32_t adler32OfSparse(const std::uint8_t* p, std::size_t n) {
    constexpr std::uint64_t Mod = 65521;
    // Sums reduced every 5552 bytes, as zlib does, stay far inside 64 bits.
    constexpr std::size_t Block = 5552 / 8 * 8;
    std::uint64_t a = 1, b = 0;
    std::size_t i = 0;
    while (i < n) {
        const std::size_t end = std::min(n, i + Block);
        for (; i + 8 <= end; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if (word == 0) {
                b += 8 * a;
                continue;
            }
            for (std::size_t k = 0; k < 8; ++k) {
                a += p[i + k];
                b += a;
            }
        }
        for (; i < end; ++i) {
            a += p[i];
            b += a;
        }
        a %= Mod;
        b %= Mod;
    }
    return static_cast<std::uint32_t>(b << 16 | a);
}

// Writes codes low bit first, as deflate wants them, a word at a time.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : m_out(out) {}
    void put(std::uint32_t bits, int n) {
        m_acc |= static_cast<std::uint64_t>(bits) << m_n;
        m_n += n;
        if (m_n >= 32) {
            const auto w = static_cast<std::uint32_t>(m_acc);
            const std::size_t at = m_out.size();
            m_out.resize(at + 4);
            std::memcpy(m_out.data() + at, &w, 4);
            m_acc >>= 32;
            m_n -= 32;
        }
    }
    void flush() {
        for (; m_n > 0; m_n -= 8) {
            m_out.push_back(static_cast<std::uint8_t>(m_acc));
            m_acc >>= 8;
        }
        m_n = 0;
    }

private:
    std::vector<std::uint8_t>& m_out;
    std::uint64_t m_acc = 0;
    int m_n = 0;
};

constexpr int LengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// The length code (0..28) of every match length 3..258.
struct LengthCodes {
    std::array<std::uint8_t, 259> code{};
    LengthCodes() {
        for (int l = 3; l <= 258; ++l) {
            int k = 28;
            while (LengthBase[k] > l)
                --k;
            code[static_cast<std::size_t>(l)] = static_cast<std::uint8_t>(k);
        }
    }
};
const LengthCodes lengthCodes;

// Huffman code lengths for `freq`, none longer than `limit`: a tree built on
// the frequencies, rebuilt on flattened ones while it is too deep.
void codeLengths(const std::uint32_t* freq, int n, int limit, std::uint8_t* lengths) {
    std::vector<std::uint32_t> f(freq, freq + n);
    for (;;) {
        struct Node {
            std::uint64_t weight;
            int left, right;
        };
        std::vector<Node> nodes;
        using Item = std::pair<std::uint64_t, int>;
        std::priority_queue<Item, std::vector<Item>, std::greater<>> heap;
        for (int s = 0; s < n; ++s) {
            lengths[s] = 0;
            if (f[static_cast<std::size_t>(s)] != 0) {
                nodes.push_back({f[static_cast<std::size_t>(s)], -1, s});
                heap.push({f[static_cast<std::size_t>(s)], static_cast<int>(nodes.size()) - 1});
            }
        }
        if (nodes.size() == 1) { // one symbol still needs a code of one bit
            lengths[nodes[0].right] = 1;
            return;
        }
        while (heap.size() > 1) {
            const Item a = heap.top();
            heap.pop();
            const Item b = heap.top();
            heap.pop();
            nodes.push_back({a.first + b.first, a.second, b.second});
            heap.push({a.first + b.first, static_cast<int>(nodes.size()) - 1});
        }
        // Depths from the root down.
        std::vector<int> depth(nodes.size(), 0);
        int deepest = 0;
        for (int i = static_cast<int>(nodes.size()) - 1; i >= 0; --i) {
            const Node& node = nodes[static_cast<std::size_t>(i)];
            if (node.left < 0) {
                lengths[node.right] = static_cast<std::uint8_t>(depth[static_cast<std::size_t>(i)]);
                deepest = std::max(deepest, depth[static_cast<std::size_t>(i)]);
            } else {
                depth[static_cast<std::size_t>(node.left)] = depth[static_cast<std::size_t>(i)] + 1;
                depth[static_cast<std::size_t>(node.right)] =
                    depth[static_cast<std::size_t>(i)] + 1;
            }
        }
        if (deepest <= limit)
            return;
        for (auto& v : f)
            if (v != 0)
                v = v / 2 + 1;
    }
}

// Canonical codes for `lengths`, bit-reversed for writing low bit first.
void canonicalCodes(const std::uint8_t* lengths, int n, std::uint16_t* codes) {
    int count[16] = {};
    for (int s = 0; s < n; ++s)
        ++count[lengths[s]];
    count[0] = 0;
    int next[16] = {};
    int code = 0;
    for (int bits = 1; bits < 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    for (int s = 0; s < n; ++s) {
        const int len = lengths[s];
        if (len == 0)
            continue;
        int c = next[len]++, r = 0;
        for (int i = 0; i < len; ++i, c >>= 1)
            r = r << 1 | (c & 1);
        codes[s] = static_cast<std::uint16_t>(r);
    }
}

// How many bytes from `p` on equal the one at `p`, compared eight at a time.
std::size_t runLength(const std::uint8_t* p, const std::uint8_t* end) {
    const std::uint8_t b = *p;
    const std::uint8_t* q = p + 1;
    std::uint64_t pattern;
    std::memset(&pattern, b, 8);
    while (end - q >= 8) {
        std::uint64_t w;
        std::memcpy(&w, q, 8);
        if (const std::uint64_t x = w ^ pattern)
            return static_cast<std::size_t>(q - p) +
                   static_cast<std::size_t>(__builtin_ctzll(x) >> 3);
        q += 8;
    }
    while (q < end && *q == b)
        ++q;
    return static_cast<std::size_t>(q - p);
}

} // namespace

void deflateRuns(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out) {
    // Tokens: a byte (0..255), or 256 + a match length (3..258).
    thread_local std::vector<std::uint16_t> tokens;
    tokens.clear();
    std::uint32_t litFreq[286] = {};
    for (const std::uint8_t *p = data, *end = data + size; p < end;) {
        const std::size_t run = runLength(p, end);
        tokens.push_back(*p);
        ++litFreq[*p];
        std::size_t left = run - 1;
        while (left >= 3) {
            std::size_t l = std::min<std::size_t>(left, 258);
            if (left - l != 0 && left - l < 3)
                l = left - 3;
            tokens.push_back(static_cast<std::uint16_t>(256 + l));
            ++litFreq[257 + lengthCodes.code[l]];
            left -= l;
        }
        for (; left > 0; --left) {
            tokens.push_back(*p);
            ++litFreq[*p];
        }
        p += run;
    }
    litFreq[256] = 1;

    std::uint8_t litLen[286];
    std::uint16_t litCode[286] = {};
    codeLengths(litFreq, 286, 15, litLen);
    canonicalCodes(litLen, 286, litCode);
    int hlit = 286;
    while (hlit > 257 && litLen[hlit - 1] == 0)
        --hlit;
    // Two distance codes of one bit; only the first (distance 1) is used.
    const std::uint8_t distLen[2] = {1, 1};

    // The code lengths, run-length coded with the symbols 16, 17 and 18.
    std::vector<std::uint8_t> all(litLen, litLen + hlit);
    all.insert(all.end(), distLen, distLen + 2);
    std::vector<std::pair<std::uint8_t, std::uint8_t>> clTokens; // symbol, extra value
    std::uint32_t clFreq[19] = {};
    for (std::size_t i = 0; i < all.size();) {
        const std::uint8_t v = all[i];
        std::size_t run = 1;
        while (i + run < all.size() && all[i + run] == v)
            ++run;
        std::size_t left = run;
        if (v == 0) {
            while (left >= 11) {
                const std::size_t r = std::min<std::size_t>(left, 138);
                clTokens.push_back({18, static_cast<std::uint8_t>(r - 11)});
                ++clFreq[18];
                left -= r;
            }
            if (left >= 3) {
                clTokens.push_back({17, static_cast<std::uint8_t>(left - 3)});
                ++clFreq[17];
                left = 0;
            }
        } else {
            clTokens.push_back({v, 0});
            ++clFreq[v];
            --left;
            while (left >= 3) {
                const std::size_t r = std::min<std::size_t>(left, 6);
                clTokens.push_back({16, static_cast<std::uint8_t>(r - 3)});
                ++clFreq[16];
                left -= r;
            }
        }
        for (; left > 0; --left) {
            clTokens.push_back({v, 0});
            ++clFreq[v];
        }
        i += run;
    }
    std::uint8_t clLen[19];
    std::uint16_t clCode[19] = {};
    codeLengths(clFreq, 19, 7, clLen);
    canonicalCodes(clLen, 19, clCode);
    static constexpr std::uint8_t Order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                               11, 4,  12, 3, 13, 2, 14, 1, 15};
    int hclen = 19;
    while (hclen > 4 && clLen[Order[hclen - 1]] == 0)
        --hclen;

    out.push_back(0x78);
    out.push_back(0x01);
    BitWriter w(out);
    w.put(1, 1); // the last block
    w.put(2, 2); // codes of its own
    w.put(static_cast<std::uint32_t>(hlit - 257), 5);
    w.put(1, 5); // two distance codes
    w.put(static_cast<std::uint32_t>(hclen - 4), 4);
    for (int i = 0; i < hclen; ++i)
        w.put(clLen[Order[i]], 3);
    static constexpr int ClExtra[3] = {2, 3, 7};
    for (const auto& [sym, extra] : clTokens) {
        w.put(clCode[sym], clLen[sym]);
        if (sym >= 16)
            w.put(extra, ClExtra[sym - 16]);
    }
    for (const std::uint16_t t : tokens) {
        if (t < 256) {
            w.put(litCode[t], litLen[t]);
        } else {
            const int l = t - 256, k = lengthCodes.code[static_cast<std::size_t>(l)];
            w.put(litCode[257 + k], litLen[257 + k]);
            w.put(static_cast<std::uint32_t>(l - LengthBase[k]), LengthExtra[k]);
            w.put(0, 1); // distance code 0: distance 1
        }
    }
    w.put(litCode[256], litLen[256]);
    w.flush();
    const std::uint32_t a = adler32OfSparse(data, size);
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(static_cast<std::uint8_t>(a >> s));
}

} // namespace quill
