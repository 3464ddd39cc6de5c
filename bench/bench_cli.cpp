#include "bench_cli.h"

#include "edit/tables.h"
#include "files/expcodec.h"
#include "model/expression.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace quill;

namespace {

constexpr int Expressions = 1000;

const char* const Parts[] = {"a+b", "2n+1", "x", "f(x)", "dx", "lim", "sin", "y=mx+c", "ij", "e"};

// A formula of the kind the editor is used for: a fraction (numerator,
// bar, denominator), something to its left and right, and a radical's
// vertical bar, in a few faces and sizes around the middle of the canvas.
Expression typicalExpression(unsigned seed) {
    std::mt19937 rng(seed);
    Expression e;
    auto text = [&](int x, int y, int size) {
        const FontChoice& f = FontTable[rng() % FontTable.size()];
        const auto h = static_cast<std::int16_t>(size * 4 / 3 * 115 / 100);
        e.AddTextItem(std::string(f.face), toVb(f.bold), toVb(f.italic),
                      static_cast<std::int16_t>(size), Parts[rng() % std::size(Parts)],
                      static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                      static_cast<std::int16_t>(x - 4), static_cast<std::int16_t>(y + h - 4), h);
    };
    const int x0 = 150 + static_cast<int>(rng() % 400), y0 = 200 + static_cast<int>(rng() % 200);
    const int size = FontSizeTable[rng() % 4];
    text(x0, y0, 25 + static_cast<int>(rng() % 4) * 25); // left of the fraction
    text(x0 + 200, y0 - 60, size);                       // numerator
    e.AddHLine(static_cast<std::int16_t>(y0 + 40), static_cast<std::int16_t>(x0 + 190),
               static_cast<std::int16_t>(x0 + 420), LineWidthTable[rng() % 3]);
    text(x0 + 210, y0 + 60, size); // denominator
    e.AddVLine(static_cast<std::int16_t>(x0 + 460), static_cast<std::int16_t>(y0 - 40),
               static_cast<std::int16_t>(y0 + 120), LineWidthTable[rng() % 3]);
    text(x0 + 480, y0, size); // under the radical
    if (rng() % 2 == 0)
        text(x0 + 700, y0 + 10, 25); // a trailing term
    return e;
}

bool writeBytes(const QString& path, const std::vector<std::uint8_t>& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           f.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}

struct RunTimes {
    double wallMs = -1; // negative when the run failed
    double cpuMs = 0;   // user and system time of the process
};

// One run of the exporter, started directly so that its own CPU time can be
// read when it ends.
RunTimes runOnce(const QString& exe, const QStringList& args) {
    std::vector<QByteArray> store{QFile::encodeName(exe)};
    for (const QString& a : args)
        store.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& b : store)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    RunTimes t;
    QElapsedTimer clock;
    clock.start();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return t;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "export benchmark: the exporter failed on %s\n",
                     qPrintable(args.first()));
        return t;
    }
    t.wallMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    auto ms = [](const timeval& v) {
        return static_cast<double>(v.tv_sec) * 1e3 + static_cast<double>(v.tv_usec) / 1e3;
    };
    t.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    return t;
}

} // namespace

void runCliBenchmarks(const QString& fastDir, const QString& diskDir, bool quick) {
    const QString exe =
        QCoreApplication::applicationDirPath() + QStringLiteral("/corvel-quillmark-export");
    if (!QFile::exists(exe)) {
        std::fprintf(stderr, "corvel-quillmark-export not found next to the benchmark\n");
        return;
    }
    const QDir dir(fastDir);
    QStringList inputs;
    for (int i = 0; i < Expressions; ++i) {
        const QString path =
            dir.filePath(QStringLiteral("eq%1.exp").arg(i, 3, 10, QLatin1Char('0')));
        const EncodeResult enc = encodeExpression(typicalExpression(static_cast<unsigned>(i) + 1));
        if (!enc.ok || !writeBytes(path, enc.bytes))
            return;
        inputs << path;
    }
    const int reps = quick ? 1 : 5;
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::vector<double> startWall, startCpu;
    for (int r = 0; r < reps * 2 + 1; ++r) {
        const RunTimes t = runOnce(exe, {QStringLiteral("--version")});
        if (t.wallMs < 0)
            return;
        startWall.push_back(t.wallMs);
        startCpu.push_back(t.cpuMs);
    }
    const double startup = median(startWall);
    std::printf("cli_startup_ms: %.1f ms\n", startup);
    std::printf("cli_startup_cpu_ms: %.1f ms\n", median(startCpu));
    struct Run {
        const char* name;
        const char* format;
        QDir outputs;
        std::vector<double> wall, cpu;
    };
    Run runs[] = {{"bmp", "bmp", dir, {}, {}},
                  {"png", "png", dir, {}, {}},
                  {"svg", "svg", dir, {}, {}},
                  {"bmp_disk", "bmp", QDir(diskDir), {}, {}}};
    // The formats take turns, so that what else the machine does at the
    // time weighs on each alike.
    for (int r = 0; r < reps; ++r) {
        for (Run& run : runs) {
            const QString out = run.outputs.filePath(
                QStringLiteral("out-%1-%2").arg(QLatin1String(run.name)).arg(r));
            const QStringList args{QStringLiteral("--fit"), QStringLiteral("--format"),
                                   QString::fromLatin1(run.format), QStringLiteral("--out-dir"),
                                   out};
            const RunTimes t = runOnce(exe, args + inputs);
            if (t.wallMs < 0)
                return;
            run.wall.push_back(t.wallMs);
            run.cpu.push_back(t.cpuMs);
            QDir(out).removeRecursively();
        }
    }
    for (const Run& run : runs) {
        const double total = median(run.wall);
        const char* format = run.name;
        std::printf("cli_%s_fit_%d_files_ms: %.1f ms\n", format, Expressions, total);
        std::printf("cli_%s_fit_per_file_ms: %.3f ms\n", format, total / Expressions);
        std::printf("cli_%s_fit_per_file_after_startup_ms: %.3f ms\n", format,
                    (total - startup) / Expressions);
        std::printf("cli_%s_fit_cpu_per_file_ms: %.3f ms\n", format, median(run.cpu) / Expressions);
    }
    // Goals: a PNG at most 1.2 times a bitmap's time, an SVG at most twice.
    const double bmp = median(runs[0].wall);
    std::printf("cli_png_vs_bmp_per_file: %.2f x (goal <= 1.2)\n", median(runs[1].wall) / bmp);
    std::printf("cli_svg_vs_bmp_per_file: %.2f x (goal <= 2)\n", median(runs[2].wall) / bmp);
    // The same in the process's CPU time, which a busy machine disturbs less.
    const double bmpCpu = median(runs[0].cpu);
    std::printf("cli_png_vs_bmp_cpu_per_file: %.2f x\n", median(runs[1].cpu) / bmpCpu);
    std::printf("cli_svg_vs_bmp_cpu_per_file: %.2f x\n", median(runs[2].cpu) / bmpCpu);

    // One formula, one process, as a script calls it, beside ImageMagick
    // drawing one line of text (the quickest tool a script could call
    // instead), taking turns.
    const QString label = QStandardPaths::findExecutable(QStringLiteral("convert"));
    std::vector<double> one, oneCpu, magick;
    for (int r = 0; r < reps * 4 + 1; ++r) {
        const QString out = dir.filePath(QStringLiteral("one.png"));
        QFile::remove(out);
        const RunTimes t = runOnce(
            exe, {QStringLiteral("--format=png"), QStringLiteral("-o"), out, inputs.first()});
        if (t.wallMs < 0)
            return;
        one.push_back(t.wallMs);
        oneCpu.push_back(t.cpuMs);
        if (!label.isEmpty()) {
            const RunTimes m = runOnce(label, {QStringLiteral("label:f(x)=3x-2.5"),
                                               dir.filePath(QStringLiteral("label.png"))});
            if (m.wallMs >= 0)
                magick.push_back(m.wallMs);
        }
    }
    std::printf("cli_one_file_png_ms: %.1f ms\n", median(one));
    std::printf("cli_one_file_png_cpu_ms: %.1f ms\n", median(oneCpu));
    if (!magick.empty()) {
        std::printf("imagemagick_label_one_line_ms: %.1f ms\n", median(magick));
        std::printf("cli_one_file_vs_imagemagick_label: %.2f x (goal <= 0.7)\n",
                    median(one) / median(magick));
    }
}
