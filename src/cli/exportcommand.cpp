#include "cli/exportcommand.h"

#include "cli/formulaexport.h"
#include "cli/pictureformats.h"
#include "export/bmpimage.h"
#include "export/workspacecapture.h"
#include "files/atomicwrite.h"
#include "files/expcodec.h"
#include "files/expfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <cstring>
#include <deque>

namespace quill::cli {

namespace {

QString displayName(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString line(const QString& file, const QString& what) {
    return displayName(file) + QLatin1String(": ") + what;
}

// The error text of a file operation, without the path it already names.
QString stripQuotedPath(const QString& message, const QString& path) {
    QString m = message;
    for (const QString& p : {QLatin1Char('"') + path + QLatin1Char('"'), path}) {
        const qsizetype at = m.indexOf(p);
        if (at >= 0) {
            m.remove(at, p.size());
            break;
        }
    }
    m = m.simplified();
    if (m.startsWith(QLatin1String(": ")))
        m.remove(0, 2);
    return m;
}

} // namespace

ExpressionInput readExpressionInput(const QString& path) {
    ExpressionInput r;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        r.message = QStringLiteral("no such file");
        return r;
    }
    if (info.isDir()) {
        r.message = QStringLiteral("is a folder, not an expression file");
        return r;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        r.message = QStringLiteral("cannot be read (%1)").arg(file.errorString());
        return r;
    }
    // The same bound as the editor's Open, so a huge file costs nothing.
    BoundedRead read = readFileUpTo(file, MaxExpFileBytes);
    if (read.outcome == BoundedRead::Outcome::TooLarge) {
        r.message = QStringLiteral("not an expression file (larger than %1 MiB)")
                        .arg(MaxExpFileBytes / (1024 * 1024));
        return r;
    }
    if (read.outcome != BoundedRead::Outcome::Ok) {
        r.message = QStringLiteral("cannot be read (%1)").arg(read.error);
        return r;
    }
    QByteArray bytes = std::move(read.bytes);
    DecodeResult decoded =
        decodeExpression(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                         static_cast<std::size_t>(bytes.size()), Expression{});
    if (!decoded.ok) {
        r.message = QStringLiteral("not an expression file (%1)")
                        .arg(QString::fromStdString(decoded.message));
        return r;
    }
    r.ok = true;
    r.bytes = std::move(bytes);
    r.expression = std::move(decoded.expression);
    return r;
}

Exporter::Exporter(const ExportOptions& options) : m_options(options), m_canvas(options.screen) {}

ExportArea Exporter::area(const Expression& expr) {
    ExportArea a;
    m_canvas.paint(expr);
    const QImage workspace = m_canvas.workspace();
    if (m_options.outline) {
        const auto& c = *m_options.outline;
        const OutlineArea inside = outlineArea(c[0], c[1], c[2], c[3]);
        if (inside.empty()) {
            a.message = QStringLiteral("empty area: the outline %1,%2,%3,%4 encloses no pixels")
                            .arg(c[0])
                            .arg(c[1])
                            .arg(c[2])
                            .arg(c[3]);
            return a;
        }
        if (static_cast<long long>(inside.width) * inside.height > MaxAreaPixels) {
            a.message = QStringLiteral("the outline's area of %1 x %2 pixels is too large")
                            .arg(inside.width)
                            .arg(inside.height);
            return a;
        }
        a.rect = QRect(inside.left, inside.top, inside.width, inside.height);
        a.captured = captureOutline(workspace, inside);
        a.ok = true;
        return a;
    }
    const std::optional<QRect> ink = inkBounds(workspace, m_canvas.paintedArea());
    if (!ink) {
        a.message = QStringLiteral("empty area: nothing is drawn in the %1 x %2 workspace")
                        .arg(workspace.width())
                        .arg(workspace.height());
        return a;
    }
    const int m = m_options.fitMargin;
    a.rect = ink->adjusted(-m, -m, m, m);
    if (static_cast<long long>(a.rect.width()) * a.rect.height() > MaxAreaPixels) {
        a.message = QStringLiteral("the fitted area of %1 x %2 pixels is too large")
                        .arg(a.rect.width())
                        .arg(a.rect.height());
        return a;
    }
    // The margin is white even where it reaches past the workspace, so the
    // box is captured from a white picture of its own size that holds the
    // workspace's part of it.
    QImage box(a.rect.size(), QImage::Format_RGB32);
    box.fill(Qt::white);
    const QRect inWorkspace = a.rect.intersected(workspace.rect());
    for (int y = inWorkspace.top(); y <= inWorkspace.bottom(); ++y)
        std::memcpy(box.scanLine(y - a.rect.top()) +
                        static_cast<std::ptrdiff_t>(inWorkspace.left() - a.rect.left()) * 4,
                    workspace.constScanLine(y) +
                        static_cast<std::ptrdiff_t>(inWorkspace.left()) * 4,
                    static_cast<std::size_t>(inWorkspace.width()) * 4);
    OutlineArea whole;
    whole.width = a.rect.width();
    whole.height = a.rect.height();
    a.captured = captureOutline(box, whole);
    a.ok = true;
    return a;
}

QString Exporter::outputPath(const QString& input, int factor) const {
    const QString ext = formatExtension(m_options.format);
    const bool several = m_options.reductions.size() > 1;
    const QString tag = several ? QStringLiteral("-r%1").arg(factor) : QString();
    if (!m_options.output.isEmpty()) {
        if (!several)
            return m_options.output;
        const QFileInfo out(m_options.output);
        const QString suffix = out.suffix();
        const QString stem = suffix.isEmpty() ? out.fileName() : out.completeBaseName();
        return out.dir().filePath(stem + tag +
                                  (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix));
    }
    const QFileInfo in(input);
    QString stem = in.fileName();
    if (stem.endsWith(QLatin1String(".exp"), Qt::CaseInsensitive) && stem.size() > 4)
        stem.chop(4);
    const QString name = stem + tag + QLatin1Char('.') + ext;
    if (!m_options.outDir.isEmpty())
        return QDir(m_options.outDir).filePath(name);
    // Beside the input, spelt the way the input was.
    const qsizetype slash = input.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? name : input.left(slash + 1) + name;
}

void Exporter::writeOutput(const QString& input, const QString& path, QByteArray bytes,
                           PendingExport& pending) {
    auto refuse = [&](const QString& file, const QString& why) {
        pending.m_errors << line(file, why);
        pending.m_ok = false;
    };
    const QFileInfo out(path);
    const QString key = QDir::cleanPath(out.absoluteFilePath());
    if (m_claimed.contains(key))
        return refuse(path, QStringLiteral("already written for another input in this run"));
    const QFileInfo in(input);
    if (out.exists() && in.exists() && out.canonicalFilePath() == in.canonicalFilePath())
        return refuse(path, QStringLiteral("is the input file itself"));
    if (!m_options.force && (out.exists() || out.isSymLink()))
        return refuse(path, QStringLiteral("exists (use --force to replace it)"));
    if (!m_options.outDir.isEmpty() && !QDir(m_options.outDir).exists() &&
        !QDir().mkpath(m_options.outDir))
        return refuse(m_options.outDir, QStringLiteral("the output folder cannot be made"));
    m_claimed.insert(key);
    pending.m_writes.push_back(
        {path, std::async(std::launch::async, [path, bytes = std::move(bytes)] {
             return writeFileAtomically(
                 path, std::span<const std::uint8_t>(
                           reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                           static_cast<std::size_t>(bytes.size())));
         })});
}

bool PendingExport::done() const {
    for (const Write& w : m_writes)
        if (w.result.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return false;
    return true;
}

PendingExport PendingExport::failed(const QString& line) {
    PendingExport p;
    p.m_ok = false;
    p.m_errors << line;
    return p;
}

bool PendingExport::finish(QStringList& errors) {
    errors << m_errors;
    m_errors.clear();
    for (Write& w : m_writes) {
        const FileResult r = w.result.get();
        if (!r.ok) {
            errors << line(
                w.path,
                QStringLiteral("cannot be written (%1)").arg(stripQuotedPath(r.message, w.path)));
            m_ok = false;
        }
    }
    m_writes.clear();
    return m_ok;
}

PendingExport Exporter::start(const QString& input) {
    PendingExport pending;
    auto refuse = [&](const QString& why) {
        pending.m_errors << line(input, why);
        pending.m_ok = false;
        return std::move(pending);
    };
    const ExpressionInput in = readExpressionInput(input);
    if (!in.ok)
        return refuse(in.message);
    return startExpression(input, in.expression, in.bytes,
                           [&](int factor) { return outputPath(input, factor); });
}

PendingExport Exporter::startWrite(const QString& path, QByteArray bytes) {
    PendingExport pending;
    writeOutput(QString(), path, std::move(bytes), pending);
    return pending;
}

PendingExport Exporter::startExpression(const QString& input, const Expression& expression,
                                        const QByteArray& expFile,
                                        const std::function<QString(int)>& pathFor) {
    PendingExport pending;
    auto refuse = [&](const QString& why) {
        pending.m_errors << line(input, why);
        pending.m_ok = false;
        return std::move(pending);
    };
    const ExportArea a = area(expression);
    if (!a.ok)
        return refuse(a.message);
    // Bitmaps for several factors differ in their resolution only: the
    // picture is coded once.
    std::vector<std::uint8_t> bmp;
    BitmapHeader bmpHeader;
    for (const int factor : m_options.reductions) {
        const int position = reductionListPosition(factor);
        QByteArray bytes;
        switch (m_options.format) {
        case ImageFormat::Bmp: {
            if (bmp.empty()) {
                bmpHeader.xPixelsPerMetre = bmpHeader.yPixelsPerMetre = pixelsPerMetre(position);
                bmp = bitmapFileFromCapture(a.captured, bmpHeader);
            } else {
                bmp = withResolution(std::move(bmp), bmpHeader, pixelsPerMetre(position));
            }
            bytes = QByteArray(reinterpret_cast<const char*>(bmp.data()),
                               static_cast<qsizetype>(bmp.size()));
            break;
        }
        case ImageFormat::Png:
            bytes = pngBytes(a.captured, pixelsPerMetre(position), m_options.transparent, expFile);
            break;
        case ImageFormat::Svg:
            bytes = svgBytes(expression, a.rect, factor, m_options.transparent);
            break;
        }
        const QString path = pathFor(factor);
        if (bytes.isEmpty()) {
            pending.m_errors << line(path, QStringLiteral("the picture could not be encoded"));
            pending.m_ok = false;
            continue;
        }
        writeOutput(input, path, std::move(bytes), pending);
    }
    return pending;
}

bool Exporter::exportFile(const QString& input, QStringList& errors) {
    return start(input).finish(errors);
}

bool extractCommand(const ExportOptions& options, QStringList& errors) {
    const ExtractResult r = extractExpression(options.extractImage);
    if (!r.ok) {
        errors << line(options.extractImage, r.message);
        return false;
    }
    const QString& path = options.extractOutput;
    const QFileInfo out(path);
    const QFileInfo in(options.extractImage);
    if (out.exists() && out.canonicalFilePath() == in.canonicalFilePath()) {
        errors << line(path, QStringLiteral("is the input file itself"));
        return false;
    }
    if (!options.force && (out.exists() || out.isSymLink())) {
        errors << line(path, QStringLiteral("exists (use --force to replace it)"));
        return false;
    }
    const FileResult w = writeFileAtomically(
        path,
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(r.expFile.constData()),
                                      static_cast<std::size_t>(r.expFile.size())));
    if (!w.ok) {
        errors << line(
            path, QStringLiteral("cannot be written (%1)").arg(stripQuotedPath(w.message, path)));
        return false;
    }
    return true;
}

int runExportCommand(const QStringList& args, const QString& programFolder, std::FILE* out,
                     std::FILE* err) {
    auto say = [](std::FILE* f, const QString& text) {
        const QByteArray b = text.toLocal8Bit();
        std::fwrite(b.constData(), 1, static_cast<std::size_t>(b.size()), f);
        std::fflush(f);
    };
    const QString prefix = QString::fromLatin1(ExportProgramName) + QLatin1String(": ");
    const ParsedOptions parsed = parseExportOptions(args);
    if (!parsed.ok) {
        say(err, prefix + parsed.message + QLatin1Char('\n'));
        return 2;
    }
    const ExportOptions& o = parsed.options;
    if (o.help) {
        say(out, exportHelpText());
        return 0;
    }
    if (o.version) {
        say(out, QString::fromLatin1(ExportProgramName) + QLatin1Char(' ') +
                     QStringLiteral(QUILLMARK_VERSION_TEXT) + QLatin1Char('\n'));
        return 0;
    }
    QStringList errors;
    bool ok = true;
    if (o.extract) {
        ok = extractCommand(o, errors);
    } else {
        registerProgramFonts(programFolder);
        Exporter exporter(o);
        // Inputs are reported in their order; a few may still be writing
        // while the next ones are painted.
        constexpr std::size_t MaxInFlight = 8;
        std::deque<PendingExport> pending;
        auto settleFront = [&] {
            QStringList fileErrors;
            ok = pending.front().finish(fileErrors) && ok;
            for (const QString& e : fileErrors)
                say(err, prefix + e + QLatin1Char('\n'));
            pending.pop_front();
        };
        auto settleDone = [&] {
            while (!pending.empty() && (pending.size() > MaxInFlight || pending.front().done()))
                settleFront();
        };
        if (!o.formulas.isEmpty())
            startFormulaExports(exporter, o, pending, settleDone);
        for (const QString& input : o.inputs) {
            pending.push_back(exporter.start(input));
            settleDone();
        }
        while (!pending.empty())
            settleFront();
    }
    for (const QString& e : errors)
        say(err, prefix + e + QLatin1Char('\n'));
    return ok ? 0 : 1;
}

} // namespace quill::cli
