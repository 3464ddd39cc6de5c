#include "files/expcodec.h"

#include <array>
#include <cassert>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <utility>

namespace quill {

namespace {

constexpr std::int32_t MaxLastIndex = MaxTableRows - 1;

// The two line tables share one record shape: six int16 columns, listed
// here in file order.
using LineColumns = std::array<std::vector<std::int16_t>*, 6>;
using ConstLineColumns = std::array<const std::vector<std::int16_t>*, 6>;

LineColumns columns(HLineTable& t) {
    return {&t.midX, &t.y, &t.x1, &t.x2, &t.width, &t.live};
}
ConstLineColumns columns(const HLineTable& t) {
    return {&t.midX, &t.y, &t.x1, &t.x2, &t.width, &t.live};
}
LineColumns columns(VLineTable& t) {
    return {&t.x, &t.midY, &t.y1, &t.y2, &t.width, &t.live};
}
ConstLineColumns columns(const VLineTable& t) {
    return {&t.x, &t.midY, &t.y1, &t.y2, &t.width, &t.live};
}

// ---------------------------------------------------------------- writing

// Writes into a buffer already sized to the whole file.
class Writer {
public:
    explicit Writer(std::uint8_t* out) : p_(out) {}

    void i16(std::int16_t v) {
        const auto u = static_cast<std::uint16_t>(v);
        p_[0] = static_cast<std::uint8_t>(u & 0xFFu);
        p_[1] = static_cast<std::uint8_t>(u >> 8);
        p_ += 2;
    }
    void i32(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int k = 0; k < 4; ++k)
            p_[k] = static_cast<std::uint8_t>((u >> (8 * k)) & 0xFFu);
        p_ += 4;
    }
    // The caller has checked the length against MaxExpStringBytes.
    void str(const std::string& s) {
        i16(static_cast<std::int16_t>(s.size()));
        std::memcpy(p_, s.data(), s.size());
        p_ += s.size();
    }
    const std::uint8_t* end() const { return p_; }

private:
    std::uint8_t* p_;
};

// The tables as the user knows them, for messages.
const char* plainName(const char* table) {
    const std::string_view t(table);
    return t == "TextItems" ? "text items" : t == "HLines" ? "horizontal lines" : "vertical lines";
}

std::string rowsMessage(const char* table, std::int32_t last) {
    return std::string("the ") + plainName(table) + " table cannot be stored: its last row " +
           std::to_string(last) + " is not one of rows 0 to 32767 held in every column";
}

// True when every column holds at least `rows` rows.
template <typename... Columns> bool columnsHold(std::size_t rows, const Columns&... columns) {
    return ((columns.size() >= rows) && ...);
}

// Checks a present table before anything is written, and adds its size in
// bytes to `total`. Returns an error message, empty when the table is fine.
std::string checkText(const Expression& e, std::size_t& total) {
    const auto& t = e.TextItems;
    const std::int32_t last = e.lastTextItem;
    if (last < 0 || last > MaxLastIndex)
        return rowsMessage("TextItems", last);
    const auto rows = static_cast<std::size_t>(last) + 1;
    if (!columnsHold(rows, t.fontName, t.fontBold, t.fontItalic, t.fontSize, t.text, t.x, t.y,
                     t.markerX, t.markerY, t.height, t.live))
        return rowsMessage("TextItems", last);
    total += 4 + rows * MinTextRecordBytes;
    for (std::size_t i = 0; i < rows; ++i) {
        for (const std::string* s : {&t.fontName[i], &t.text[i]}) {
            if (s->size() > MaxExpStringBytes)
                return "text item " + std::to_string(i) + " has a text or font name of " +
                       std::to_string(s->size()) +
                       " characters, more than the 32767 a file can hold";
            total += s->size();
        }
    }
    return {};
}

template <typename Lines>
std::string checkLines(const char* name, const Lines& t, std::int32_t last, std::size_t& total) {
    if (last < 0 || last > MaxLastIndex)
        return rowsMessage(name, last);
    const auto rows = static_cast<std::size_t>(last) + 1;
    for (const auto* c : columns(t))
        if (c->size() < rows)
            return rowsMessage(name, last);
    total += 4 + rows * LineRecordBytes;
    return {};
}

// ---------------------------------------------------------------- reading

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}

    std::size_t remaining() const { return data_.size() - pos_; }
    std::size_t position() const { return pos_; }

    bool i16(std::int16_t& v) {
        if (remaining() < 2)
            return false;
        const auto u = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        v = static_cast<std::int16_t>(u);
        pos_ += 2;
        return true;
    }
    bool i32(std::int32_t& v) {
        if (remaining() < 4)
            return false;
        std::uint32_t u = 0;
        for (std::size_t k = 0; k < 4; ++k)
            u |= static_cast<std::uint32_t>(data_[pos_ + k]) << (8 * k);
        v = static_cast<std::int32_t>(u);
        pos_ += 4;
        return true;
    }
    // Bytes are taken as they are: one byte, one character.
    void bytes(std::string& s, std::size_t n) {
        s.assign(reinterpret_cast<const char*>(data_.data() + pos_), n);
        pos_ += n;
    }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

struct DecodeError {
    std::string message;
};

std::string truncatedMessage(const char* table, std::size_t row) {
    return std::string("the file ends inside the ") + plainName(table) + " table (in row " +
           std::to_string(row) + ")";
}

// Reads a section's last-row index and checks that the bytes left can hold
// that many records of at least `minRecord` bytes, before any column grows.
bool readLast(Reader& in, const char* table, std::size_t minRecord, std::int32_t& last,
              DecodeError& err) {
    if (!in.i32(last)) {
        err.message = std::string("the file ends inside the ") + plainName(table) + " table";
        return false;
    }
    if (last < 0) {
        err.message = last == -1 ? std::string("the ") + plainName(table) +
                                       " table is marked present but has no rows"
                                 : std::string("a row count is negative (") +
                                       std::to_string(std::int64_t(last) + 1) + " rows in the " +
                                       plainName(table) + " table)";
        return false;
    }
    if (last > MaxLastIndex) {
        err.message = std::string("the ") + plainName(table) + " table announces " +
                      std::to_string(std::int64_t(last) + 1) +
                      " rows, more than the 32768 a file can hold";
        return false;
    }
    const auto rows = static_cast<std::size_t>(last) + 1;
    if (in.remaining() / minRecord < rows) {
        err.message = std::string("the file ends inside the ") + plainName(table) +
                      " table (it announces " + std::to_string(rows) + " rows, but only " +
                      std::to_string(in.remaining()) + " bytes follow)";
        return false;
    }
    return true;
}

bool readString(Reader& in, std::size_t row, const char* what, std::string& s, DecodeError& err) {
    std::int16_t count = 0;
    if (!in.i16(count)) {
        err.message = truncatedMessage("TextItems", row);
        return false;
    }
    if (count < 0) {
        err.message = std::string("a length is negative (") + what + " of text item " +
                      std::to_string(row) + " has " + std::to_string(count) + " characters)";
        return false;
    }
    if (static_cast<std::size_t>(count) > in.remaining()) {
        err.message = std::string("the file ends inside the text items table (") + what +
                      " of text item " + std::to_string(row) + " has " + std::to_string(count) +
                      " characters, more than the file has left)";
        return false;
    }
    in.bytes(s, static_cast<std::size_t>(count));
    return true;
}

bool readText(Reader& in, TextItemTable& t, std::int32_t& last, DecodeError& err) {
    if (!readLast(in, "TextItems", MinTextRecordBytes, last, err))
        return false;
    const auto rows = static_cast<std::size_t>(last) + 1;
    t.redim(rows, false);
    for (std::size_t i = 0; i < rows; ++i) {
        if (!readString(in, i, "the font name", t.fontName[i], err))
            return false;
        if (!(in.i16(t.fontBold[i]) && in.i16(t.fontItalic[i]) && in.i16(t.fontSize[i]))) {
            err.message = truncatedMessage("TextItems", i);
            return false;
        }
        if (!readString(in, i, "the text", t.text[i], err))
            return false;
        if (!(in.i16(t.x[i]) && in.i16(t.y[i]) && in.i16(t.markerX[i]) && in.i16(t.markerY[i]) &&
              in.i16(t.height[i]) && in.i16(t.live[i]))) {
            err.message = truncatedMessage("TextItems", i);
            return false;
        }
    }
    return true;
}

template <typename Lines>
bool readLines(Reader& in, const char* name, Lines& t, std::int32_t& last, DecodeError& err) {
    if (!readLast(in, name, LineRecordBytes, last, err))
        return false;
    const auto rows = static_cast<std::size_t>(last) + 1;
    // readLast has made sure every record is there in full.
    t.redim(rows, false);
    const LineColumns cols = columns(t);
    for (std::size_t i = 0; i < rows; ++i)
        for (auto* c : cols)
            in.i16((*c)[i]);
    return true;
}

} // namespace

EncodeResult encodeExpression(const Expression& e) {
    EncodeResult result;
    const bool text = e.textItemsExist != VbFalse;
    const bool hLines = e.hLinesExist != VbFalse;
    const bool vLines = e.vLinesExist != VbFalse;

    std::size_t total = ExpHeaderBytes;
    std::string problem;
    if (problem.empty() && text)
        problem = checkText(e, total);
    if (problem.empty() && hLines)
        problem = checkLines("HLines", e.HLines, e.lastHLine, total);
    if (problem.empty() && vLines)
        problem = checkLines("VLines", e.VLines, e.lastVLine, total);
    if (!problem.empty()) {
        result.message = std::move(problem);
        return result;
    }

    result.bytes.resize(total);
    Writer out(result.bytes.data());
    // Any non-zero flag means the section is present; the file says True.
    out.i16(toVb(text));
    out.i16(toVb(hLines));
    out.i16(toVb(vLines));

    if (text) {
        const auto& t = e.TextItems;
        out.i32(e.lastTextItem);
        const auto rows = static_cast<std::size_t>(e.lastTextItem) + 1;
        for (std::size_t i = 0; i < rows; ++i) {
            out.str(t.fontName[i]);
            out.i16(t.fontBold[i]);
            out.i16(t.fontItalic[i]);
            out.i16(t.fontSize[i]);
            out.str(t.text[i]);
            out.i16(t.x[i]);
            out.i16(t.y[i]);
            out.i16(t.markerX[i]);
            out.i16(t.markerY[i]);
            out.i16(t.height[i]);
            out.i16(t.live[i]);
        }
    }
    auto writeLines = [&out](const auto& t, std::int32_t last) {
        out.i32(last);
        const auto rows = static_cast<std::size_t>(last) + 1;
        const ConstLineColumns cols = columns(t);
        for (std::size_t i = 0; i < rows; ++i)
            for (const auto* c : cols)
                out.i16((*c)[i]);
    };
    if (hLines)
        writeLines(e.HLines, e.lastHLine);
    if (vLines)
        writeLines(e.VLines, e.lastVLine);

    // The sizes counted by the checks and the bytes written must agree.
    assert(out.end() == result.bytes.data() + result.bytes.size());
    result.ok = true;
    return result;
}

DecodeResult decodeExpression(std::span<const std::uint8_t> data, const Expression& current) {
    DecodeResult result;
    Reader in(data);
    DecodeError err;
    std::int16_t flags[3] = {0, 0, 0};
    for (auto& f : flags) {
        if (!in.i16(f)) {
            result.message = "the file ends inside its 6-byte header";
            return result;
        }
    }
    const bool text = flags[0] != 0;
    const bool hLines = flags[1] != 0;
    const bool vLines = flags[2] != 0;

    // Present sections are read into a fresh expression; the current one is
    // only copied from once the whole file has been accepted.
    Expression e;
    if ((text && !readText(in, e.TextItems, e.lastTextItem, err)) ||
        (hLines && !readLines(in, "HLines", e.HLines, e.lastHLine, err)) ||
        (vLines && !readLines(in, "VLines", e.VLines, e.lastVLine, err))) {
        result.message = std::move(err.message);
        return result;
    }

    // Drawing and appending test a flag for True (-1); a stray non-zero value
    // would leave a table half present, so every non-zero flag becomes True.
    e.textItemsExist = toVb(text);
    e.hLinesExist = toVb(hLines);
    e.vLinesExist = toVb(vLines);
    if (!text) {
        e.TextItems = current.TextItems;
        e.lastTextItem = current.lastTextItem;
    }
    if (!hLines) {
        e.HLines = current.HLines;
        e.lastHLine = current.lastHLine;
    }
    if (!vLines) {
        e.VLines = current.VLines;
        e.lastVLine = current.lastVLine;
    }

    result.ok = true;
    result.bytesRead = in.position();
    result.expression = std::move(e);
    return result;
}

} // namespace quill
