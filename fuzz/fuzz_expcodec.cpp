// libFuzzer target for the .exp reader. Any input must either be refused
// or give an expression that saves and reads back to the same thing; the
// bytes written must be exactly the bytes read, flags aside.

#include "files/expcodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// What was on the canvas before Open: tables the file leaves out keep these
// columns, so every table holds something that could leak through.
const quill::Expression& shownBefore() {
    static const quill::Expression e = [] {
        quill::Expression x;
        x.AddTextItem("Arial", quill::VbTrue, quill::VbFalse, 25, "a+b", 30, 100, 25, 120, 25);
        x.AddHLine(160, 26, 114, 12);
        x.AddHLine(10, -40, 40, 1);
        x.AddVLine(70, 20, 80, 3);
        x.VLines.live[0] = quill::VbFalse;
        return x;
    }();
    return e;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_expcodec: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const quill::Expression& current = shownBefore();
    const quill::DecodeResult first = quill::decodeExpression(data, size, current);
    if (!first.ok) {
        if (first.message.empty())
            fail("a refused file came without a reason");
        return 0;
    }
    if (first.bytesRead > size || first.bytesRead < quill::ExpHeaderBytes)
        fail("bytesRead outside the input");

    const quill::EncodeResult encoded = quill::encodeExpression(first.expression);
    if (!encoded.ok)
        fail("an accepted file could not be written back");
    // Flags are written as -1 whatever non-zero value was read; the rest of
    // the accepted bytes must come back unchanged.
    if (encoded.bytes.size() != first.bytesRead)
        fail("re-encoded size differs from the bytes read");
    for (std::size_t k = 0; k < quill::ExpHeaderBytes; k += 2) {
        const bool present = data[k] != 0 || data[k + 1] != 0;
        const std::uint8_t flag = present ? 0xFF : 0x00;
        if (encoded.bytes[k] != flag || encoded.bytes[k + 1] != flag)
            fail("header flags not normalised");
    }
    if (std::memcmp(encoded.bytes.data() + quill::ExpHeaderBytes, data + quill::ExpHeaderBytes,
                    first.bytesRead - quill::ExpHeaderBytes) != 0)
        fail("re-encoded sections differ from the input");

    const quill::DecodeResult second =
        quill::decodeExpression(encoded.bytes.data(), encoded.bytes.size(), current);
    if (!second.ok || !(second.expression == first.expression))
        fail("decode(encode(decode(x))) differs from decode(x)");
    return 0;
}
