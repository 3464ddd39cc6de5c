#include "cli/exportcommand.h"

#include "cli/formulaexport.h"
#include "export/bmpimage.h"
#include "export/pictureformats.h"
#include "export/workspacecapture.h"
#include "files/atomicwrite.h"
#include "files/expcodec.h"
#include "files/expfile.h"
#include "files/filename.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fontconfig/fontconfig.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quill::cli {

void useProgramFontsOnly() {
    // An empty configuration: no font folders, no rules. Installed as the
    // current one, it is the one Qt finds, so the system's is never read.
    if (FcConfig* empty = FcConfigCreate())
        FcConfigSetCurrent(empty);
}

namespace {

QString displayName(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString line(const QString& file, const QString& what) {
    return displayName(file) + QLatin1String(": ") + what;
}

// The file system is asked with each name's own bytes (files/filename.h):
// QFileInfo and QDir would ask with Qt's encoding, which changes bytes of a
// name that are not UTF-8.
bool existsOrIsLink(const QString& path) {
    struct stat st {};
    return ::lstat(encodeFileName(path).constData(), &st) == 0;
}

bool isFolder(const QString& path) {
    struct stat st {};
    return ::stat(encodeFileName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Both names lead to one file (after links).
bool sameFile(const QString& a, const QString& b) {
    struct stat sa {
    }, sb{};
    return ::stat(encodeFileName(a).constData(), &sa) == 0 &&
           ::stat(encodeFileName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Makes a folder and the folders above it that are missing; 0 or errno.
int makeFolders(const QString& path) {
    const QByteArray p = encodeFileName(path);
    for (qsizetype i = 1; i <= p.size(); ++i) {
        if (i < p.size() && p[i] != '/')
            continue;
        const QByteArray part = p.left(i);
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return errno;
    }
    return isFolder(path) ? 0 : ENOTDIR;
}

// The absolute, cleaned spelling of a name, without asking the file system.
QString absoluteName(const QString& path) {
    if (path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(path);
    char* here = ::getcwd(nullptr, 0);
    const QString folder = here ? decodeFileName(QByteArray(here)) : QString();
    std::free(here);
    return QDir::cleanPath(folder + QLatin1Char('/') + path);
}

// "FOLDER/NAME", keeping both as spelt.
QString joined(const QString& folder, const QString& name) {
    if (folder.isEmpty())
        return name;
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

ExpressionInput readExpressionInput(const QString& path) {
    ExpressionInput r;
    // The same bound as the editor's Open, so a huge file costs nothing,
    // and like it regular files only: a named pipe or a device is refused
    // without waiting on it.
    BoundedRead read = readRegularFile(path, MaxExpFileBytes);
    if (read.outcome == BoundedRead::Outcome::TooLarge) {
        r.message = QStringLiteral("not an expression file (larger than %1 MiB)")
                        .arg(MaxExpFileBytes / (1024 * 1024));
        return r;
    }
    if (read.outcome == BoundedRead::Outcome::NotAFile) {
        r.message = QStringLiteral("is %1, not an expression file").arg(read.error);
        return r;
    }
    if (read.outcome != BoundedRead::Outcome::Ok) {
        r.message = read.errorCode == ENOENT
                        ? QStringLiteral("no such file")
                        : QStringLiteral("cannot be read (%1)").arg(read.error);
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
    if (m_options.outline)
        return m_canvas.outlined(expr, *m_options.outline);
    return m_canvas.fitted(expr, m_options.fitMargin);
}

QString Exporter::outputPath(const QString& input, int factor) const {
    const QString ext = formatExtension(m_options.format);
    const bool several = m_options.reductions.size() > 1;
    const QString tag = several ? QStringLiteral("-r%1").arg(factor) : QString();
    // Names are put together as text, never through the file system.
    auto split = [](const QString& path) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        return std::pair(path.left(slash + 1), path.mid(slash + 1));
    };
    if (!m_options.output.isEmpty()) {
        if (!several)
            return m_options.output;
        const auto [folder, file] = split(m_options.output);
        const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
        if (dot <= 0)
            return folder + file + tag;
        return folder + file.left(dot) + tag + file.mid(dot);
    }
    QString stem = split(input).second;
    if (stem.endsWith(QLatin1String(".exp"), Qt::CaseInsensitive) && stem.size() > 4)
        stem.chop(4);
    const QString name = stem + tag + QLatin1Char('.') + ext;
    if (!m_options.outDir.isEmpty())
        return joined(m_options.outDir, name);
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
    const QString key = absoluteName(path);
    if (m_claimed.contains(key))
        return refuse(path, QStringLiteral("already written for another input in this run"));
    if (sameFile(path, input))
        return refuse(path, QStringLiteral("is the input file itself"));
    if (!m_options.force && existsOrIsLink(path))
        return refuse(path, QStringLiteral("exists (use --force to replace it)"));
    if (!m_options.outDir.isEmpty() && !isFolder(m_options.outDir)) {
        if (const int err = makeFolders(m_options.outDir))
            return refuse(m_options.outDir, QStringLiteral("the output folder cannot be made (%1)")
                                                .arg(QString::fromLocal8Bit(std::strerror(err))));
    }
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
            errors << line(w.path, QStringLiteral("cannot be written: %1").arg(r.reason));
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
    if (sameFile(path, options.extractImage)) {
        errors << line(path, QStringLiteral("is the input file itself"));
        return false;
    }
    if (!options.force && existsOrIsLink(path)) {
        errors << line(path, QStringLiteral("exists (use --force to replace it)"));
        return false;
    }
    const FileResult w = writeFileAtomically(
        path,
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(r.expFile.constData()),
                                      static_cast<std::size_t>(r.expFile.size())));
    if (!w.ok) {
        errors << line(path, QStringLiteral("cannot be written: %1").arg(w.reason));
        return false;
    }
    return true;
}

int runExportCommand(const QStringList& args, const QString& programFolder, std::FILE* out,
                     std::FILE* err) {
    // File names in messages come out as the bytes they were given in.
    auto say = [](std::FILE* f, const QString& text) {
        const QByteArray b = encodeFileName(text);
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
        Exporter exporter(o);
        registerProgramFonts(programFolder);
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
