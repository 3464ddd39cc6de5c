#include "bench_formula.h"

#include "files/expcodec.h"
#include "formula/formulalayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace quill;

namespace {

// 200 characters of everything the language has: fractions in fractions,
// roots, scripts, limits, named symbols, text and spaces.
const std::string& longFormula() {
    static const std::string f = [] {
        std::string s = "x = \\frac{-b \\pm \\sqrt{b^2-4ac}}{2a} + \\sum_{i=1}^{n} "
                        "\\frac{x_i^2}{\\sigma^2} - \\int_0^1 e^{-t^2} \\, dt + "
                        "\\sqrt{\\frac{\\alpha+\\beta}{\\gamma}} \\cdot \\text{if } "
                        "\\frac{1}{1+\\frac{1}{y}} \\le z_{ij}^{k+1}";
        while (s.size() < 200)
            s += " +1";
        s.resize(200);
        return s;
    }();
    return f;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Wall time of one exporter run, or a negative value when it failed.
double runExporter(const QString& exe, const QStringList& args) {
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(exe, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "formula benchmark: the exporter failed: %s\n",
                     p.readAllStandardError().constData());
        return -1;
    }
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

} // namespace

void runFormulaBenchmarks(const QString& dir, bool quick) {
    const std::string& line = longFormula();
    formula::Typesetter typesetter;
    formula::TypesetFormula f = typesetter.typeset(line, 100); // measures the fonts
    if (!f.ok) {
        std::fprintf(stderr, "formula benchmark: %s\n", f.message.c_str());
        return;
    }
    const int reps = quick ? 51 : 501;
    std::vector<double> times;
    for (int r = 0; r < reps; ++r) {
        QElapsedTimer t;
        t.start();
        f = typesetter.typeset(line, 100);
        times.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    const double ms = median(times);
    std::printf("formula_typeset_chars: %zu chars\n", line.size());
    std::printf("formula_typeset_items: %zu items\n",
                f.texts.size() + f.bars.size() + f.vbars.size());
    std::printf("formula_typeset_200_chars_ms: %.3f ms\n", ms);
    std::printf("formula_typeset_200_chars_vs_goal: %.2f\n", ms / 1.0);
    std::fflush(stdout);

    // The exporter: --formula to a PNG, against the expression it gives
    // read from a file, both to a PNG in one process each.
    const QString exe =
        QCoreApplication::applicationDirPath() + QStringLiteral("/corvel-quillmark-export");
    const QDir out(dir);
    const QString exp = out.filePath(QStringLiteral("formula.exp"));
    const QString text = QString::fromStdString(line);
    if (runExporter(exe, {QStringLiteral("--formula"), text, QStringLiteral("-o"), exp}) < 0)
        return;
    const int runs = quick ? 3 : 11;
    std::vector<double> formulaRuns, fileRuns;
    for (int r = 0; r < runs; ++r) {
        const QString a = out.filePath(QStringLiteral("f%1.png").arg(r));
        const QString b = out.filePath(QStringLiteral("e%1.png").arg(r));
        const double tf =
            runExporter(exe, {QStringLiteral("--formula"), text, QStringLiteral("--format"),
                              QStringLiteral("png"), QStringLiteral("-o"), a});
        const double te = runExporter(
            exe, {QStringLiteral("--format"), QStringLiteral("png"), QStringLiteral("-o"), b, exp});
        if (tf < 0 || te < 0)
            return;
        formulaRuns.push_back(tf);
        fileRuns.push_back(te);
    }
    const double mf = median(formulaRuns), me = median(fileRuns);
    std::printf("cli_formula_png_ms: %.1f ms\n", mf);
    std::printf("cli_exp_file_png_ms: %.1f ms\n", me);
    std::printf("cli_formula_png_vs_exp_file: %.2f\n", mf / me);
}
