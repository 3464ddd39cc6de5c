#include "bench_cli.h"

#include "edit/tables.h"
#include "files/expcodec.h"
#include "model/expression.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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

constexpr int Expressions = 100;

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
    };
    const Run runs[] = {{"bmp", "bmp", dir},
                        {"png", "png", dir},
                        {"svg", "svg", dir},
                        {"bmp_disk", "bmp", QDir(diskDir)}};
    for (const Run& run : runs) {
        std::vector<double> wall, cpu;
        for (int r = 0; r < reps; ++r) {
            const QString out = run.outputs.filePath(
                QStringLiteral("out-%1-%2").arg(QLatin1String(run.name)).arg(r));
            const QStringList args{QStringLiteral("--fit"), QStringLiteral("--format"),
                                   QString::fromLatin1(run.format), QStringLiteral("--out-dir"),
                                   out};
            const RunTimes t = runOnce(exe, args + inputs);
            if (t.wallMs < 0)
                return;
            wall.push_back(t.wallMs);
            cpu.push_back(t.cpuMs);
        }
        const double total = median(wall);
        const char* format = run.name;
        std::printf("cli_%s_fit_100_files_ms: %.1f ms\n", format, total);
        std::printf("cli_%s_fit_per_file_ms: %.2f ms\n", format, total / Expressions);
        std::printf("cli_%s_fit_per_file_after_startup_ms: %.2f ms\n", format,
                    (total - startup) / Expressions);
        std::printf("cli_%s_fit_cpu_per_file_ms: %.2f ms\n", format, median(cpu) / Expressions);
    }
}
