#include "bench_files.h"

#include "files/expfile.h"
#include "model/expression.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using quill::Expression;

// As large as the tables go, with text of the kind people type.
Expression fullExpression() {
    static const char* const fonts[] = {"Arial", "MathSymbols", "Zidezir"};
    static const char* const texts[] = {"x+y=z",
                                        "\xA3"
                                        "100",
                                        "a\xAC"
                                        "b",
                                        "sin(2x)",
                                        "",
                                        "f(x)"};
    Expression e;
    for (std::int32_t i = 0; i < quill::MaxTableRows; ++i) {
        const auto a = static_cast<std::int16_t>(i % 1000);
        const auto b = static_cast<std::int16_t>(i % 700);
        e.AddTextItem(fonts[i % 3], quill::toVb(i % 2 == 0), quill::VbFalse,
                      static_cast<std::int16_t>(25 + i % 226), texts[i % 6], a, b,
                      static_cast<std::int16_t>(a - 5), static_cast<std::int16_t>(b + 20), 25);
        e.AddHLine(b, a, static_cast<std::int16_t>(a + 88), static_cast<std::int16_t>(1 + i % 7));
        e.AddVLine(a, b, static_cast<std::int16_t>(b + 60), static_cast<std::int16_t>(1 + i % 7));
        if (i % 10 == 0)
            e.HLines.live.back() = quill::VbFalse;
    }
    return e;
}

double medianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

void report(const char* name, double ms, double bytes) {
    std::printf("%s_ms: %.3f ms\n", name, ms);
    std::printf("%s_throughput: %.1f MB/s\n", name, bytes / 1e6 / (ms / 1e3));
}

} // namespace

void runFileBenchmarks(const QString& tempDir) {
    constexpr int Repetitions = 9;
    using Clock = std::chrono::steady_clock;
    const auto msSince = [](Clock::time_point t0) {
        return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    };

    const Expression e = fullExpression();
    const QString path = QDir(tempDir).filePath(QStringLiteral("bench_full.exp"));

    std::vector<double> saveMs, openMs;
    for (int r = 0; r < Repetitions; ++r) {
        const auto t0 = Clock::now();
        const quill::FileResult saved = quill::saveExpressionFile(path, e);
        saveMs.push_back(msSince(t0));
        if (!saved.ok) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(saved.message));
            return;
        }
    }
    const auto bytes = static_cast<double>(QFile(path).size());
    for (int r = 0; r < Repetitions; ++r) {
        const auto t0 = Clock::now();
        const quill::LoadResult opened = quill::loadExpressionFile(path, Expression{});
        openMs.push_back(msSince(t0));
        if (!opened.ok || !(opened.expression == e)) {
            std::fprintf(stderr, "open failed: %s\n", qPrintable(opened.message));
            return;
        }
    }
    QFile::remove(path);

    report("save_exp_32768x3", medianOf(saveMs), bytes);
    report("open_exp_32768x3", medianOf(openMs), bytes);
    std::fflush(stdout);
}
