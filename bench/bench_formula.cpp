#include "bench_formula.h"

#include "everydayformulas.h"
#include "files/expcodec.h"
#include "formula/formulalayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
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

// Wall time of one run of a program, or a negative value when it failed
// (exited with a status above `allowedStatus`).
double runProgram(const QString& exe, const QStringList& args, const QString& folder = {},
                  int allowedStatus = 0) {
    QProcess p;
    if (!folder.isEmpty())
        p.setWorkingDirectory(folder);
    QElapsedTimer t;
    t.start();
    p.start(exe, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() > allowedStatus) {
        std::fprintf(stderr, "formula benchmark: %s failed: %s\n", qPrintable(exe),
                     p.readAllStandardError().left(2000).constData());
        return -1;
    }
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

double runExporter(const QString& exe, const QStringList& args) {
    return runProgram(exe, args);
}

// The fifty everyday formulas as pictures: one exporter process for all,
// against latex and dvipng making the same fifty pictures at the same em
// (100 points is 133 pixels; TeX sets 10 points, so 964 dots an inch).
void batchAgainstLatex(const QString& exe, const QDir& out, bool quick) {
    QStringList args{QStringLiteral("--format"), QStringLiteral("png"), QStringLiteral("--force"),
                     QStringLiteral("--out-dir"), out.filePath(QStringLiteral("batch"))};
    QString tex = QStringLiteral("\\documentclass{article}\n\\usepackage{amsmath,amssymb}\n"
                                 "\\pagestyle{empty}\n\\begin{document}\n");
    int count = 0;
    for (const test::EverydayFormula& f : test::EverydayFormulas) {
        args << QStringLiteral("--formula") << QString::fromUtf8(f.line);
        tex += QStringLiteral("\\[ %1 \\]\n\\newpage\n").arg(QString::fromUtf8(f.line));
        ++count;
    }
    tex += QStringLiteral("\\end{document}\n");
    const int runs = quick ? 3 : 7;
    std::vector<double> ours, theirs;
    const QString latex = QStandardPaths::findExecutable(QStringLiteral("latex"));
    const QString dvipng = QStandardPaths::findExecutable(QStringLiteral("dvipng"));
    QTemporaryDir texDir;
    const bool withTex = !latex.isEmpty() && !dvipng.isEmpty() && texDir.isValid();
    if (withTex) {
        QFile f(texDir.filePath(QStringLiteral("formulas.tex")));
        if (!f.open(QIODevice::WriteOnly) || f.write(tex.toUtf8()) < 0)
            return;
    }
    // Each takes its turn, so that what else the machine does weighs on
    // both alike. A formula the exporter cannot typeset is reported by it
    // (status 1) and counted below.
    for (int r = 0; r < runs; ++r) {
        const double t = runProgram(exe, args, {}, 1);
        if (t < 0)
            return;
        ours.push_back(t);
        if (!withTex)
            continue;
        const double a =
            runProgram(latex,
                       {QStringLiteral("-interaction=batchmode"), QStringLiteral("-halt-on-error"),
                        QStringLiteral("formulas.tex")},
                       texDir.path());
        const double b =
            a < 0 ? -1
                  : runProgram(dvipng,
                               {QStringLiteral("-q"), QStringLiteral("-T"), QStringLiteral("tight"),
                                QStringLiteral("-D"), QStringLiteral("964"), QStringLiteral("-o"),
                                QStringLiteral("f%d.png"), QStringLiteral("formulas.dvi")},
                               texDir.path());
        if (b < 0)
            return;
        theirs.push_back(a + b);
    }
    const int pictures = static_cast<int>(
        QDir(out.filePath(QStringLiteral("batch"))).entryList({QStringLiteral("*.png")}).size());
    std::printf("formula_batch_%d_pictures: %d\n", count, pictures);
    std::printf("formula_batch_%d_exporter_ms: %.1f ms\n", count, median(ours));
    if (!withTex) {
        std::printf("formula_batch_%d_latex_dvipng_ms: not measured, latex or dvipng is not "
                    "installed\n",
                    count);
        return;
    }
    const int texPictures =
        static_cast<int>(QDir(texDir.path()).entryList({QStringLiteral("f*.png")}).size());
    std::printf("formula_batch_%d_latex_dvipng_pictures: %d\n", count, texPictures);
    std::printf("formula_batch_%d_latex_dvipng_ms: %.1f ms\n", count, median(theirs));
    std::printf("formula_batch_%d_vs_latex_dvipng: %.2f (goal <= 0.5)\n", count,
                median(ours) / median(theirs));
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
    std::fflush(stdout);

    batchAgainstLatex(exe, out, quick);
}
