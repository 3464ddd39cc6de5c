#include "cli/exportoptions.h"

#include "edit/tables.h"

#include <algorithm>
#include <limits>

namespace quill::cli {

namespace {

// The workspace lies 96 pixels below the top of the canvas, so a canvas
// must be taller than that; the upper bounds keep one canvas picture
// within 256 MiB.
constexpr int MinScreenWidth = 1;
constexpr int MinScreenHeight = 97;
constexpr int MaxScreenSide = 8192;
constexpr int MaxFitMargin = 4096;

std::optional<int> parseInt(const QString& s, int lo, int hi) {
    bool ok = false;
    const qlonglong v = s.trimmed().toLongLong(&ok, 10);
    if (!ok || s.trimmed().isEmpty() || v < lo || v > hi)
        return std::nullopt;
    return static_cast<int>(v);
}

// The factors are the numbers the editor's size list shows.
constexpr bool factorsMatchSizeList() {
    if (ReductionFactors.size() != SizeReductionItems.size())
        return false;
    for (std::size_t i = 0; i < ReductionFactors.size(); ++i) {
        int shown = 0;
        for (const char c : SizeReductionItems[i])
            shown = shown * 10 + (c - '0');
        if (shown != ReductionFactors[i])
            return false;
    }
    return true;
}
static_assert(factorsMatchSizeList());

ParsedOptions fail(const QString& message) {
    ParsedOptions r;
    r.message = message;
    return r;
}

} // namespace

QString formatExtension(ImageFormat f) {
    switch (f) {
    case ImageFormat::Bmp:
        return QStringLiteral("bmp");
    case ImageFormat::Png:
        return QStringLiteral("png");
    case ImageFormat::Svg:
        return QStringLiteral("svg");
    }
    return QString();
}

int reductionListPosition(int factor) {
    const auto it = std::find(ReductionFactors.begin(), ReductionFactors.end(), factor);
    return it == ReductionFactors.end() ? -1 : static_cast<int>(it - ReductionFactors.begin());
}

ParsedOptions parseExportOptions(const QStringList& args) {
    ExportOptions o;
    bool outlineGiven = false, fitGiven = false;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            o.inputs << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        // "--name=value" or "--name value"; -o takes its value separately.
        QString name = arg, value;
        bool hasValue = false;
        if (arg.startsWith(QLatin1String("--"))) {
            const qsizetype eq = arg.indexOf(QLatin1Char('='));
            if (eq > 0) {
                name = arg.left(eq);
                value = arg.mid(eq + 1);
                hasValue = true;
            }
        }
        auto takeValue = [&]() -> std::optional<QString> {
            if (hasValue)
                return value;
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        auto missing = [&] { return fail(QStringLiteral("option %1 needs a value").arg(name)); };
        auto noValue = [&] {
            return hasValue ? std::optional<ParsedOptions>(
                                  fail(QStringLiteral("option %1 takes no value").arg(name)))
                            : std::nullopt;
        };

        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            if (auto e = noValue())
                return *e;
            o.help = true;
        } else if (name == QLatin1String("--version")) {
            if (auto e = noValue())
                return *e;
            o.version = true;
        } else if (name == QLatin1String("--force") || name == QLatin1String("-f")) {
            if (auto e = noValue())
                return *e;
            o.force = true;
        } else if (name == QLatin1String("--transparent")) {
            if (auto e = noValue())
                return *e;
            o.transparent = true;
        } else if (name == QLatin1String("--fit")) {
            fitGiven = true;
            if (hasValue) {
                const auto m = parseInt(value, 0, MaxFitMargin);
                if (!m)
                    return fail(QStringLiteral("--fit: the margin must be a whole number of "
                                               "pixels from 0 to %1, not \"%2\"")
                                    .arg(MaxFitMargin)
                                    .arg(value));
                o.fitMargin = *m;
            }
        } else if (name == QLatin1String("--screen")) {
            const auto v = takeValue();
            if (!v)
                return missing();
            const QStringList parts = v->toLower().split(QLatin1Char('x'));
            const auto w = parts.size() == 2 ? parseInt(parts[0], MinScreenWidth, MaxScreenSide)
                                             : std::nullopt;
            const auto h = parts.size() == 2 ? parseInt(parts[1], MinScreenHeight, MaxScreenSide)
                                             : std::nullopt;
            if (!w || !h)
                return fail(QStringLiteral("--screen: expected WIDTHxHEIGHT in pixels, width %1 "
                                           "to %2, height %3 to %2, not \"%4\"")
                                .arg(MinScreenWidth)
                                .arg(MaxScreenSide)
                                .arg(MinScreenHeight)
                                .arg(*v));
            o.screen = QSize(*w, *h);
        } else if (name == QLatin1String("--outline")) {
            const auto v = takeValue();
            if (!v)
                return missing();
            const QStringList parts = v->split(QLatin1Char(','));
            std::array<int, 4> c{};
            bool good = parts.size() == 4;
            for (qsizetype k = 0; good && k < 4; ++k) {
                const auto n = parseInt(parts[k], std::numeric_limits<std::int16_t>::min(),
                                        std::numeric_limits<std::int16_t>::max());
                good = n.has_value();
                if (good)
                    c[static_cast<std::size_t>(k)] = *n;
            }
            if (!good)
                return fail(QStringLiteral("--outline: expected X1,Y1,X2,Y2 (whole pixels from "
                                           "-32768 to 32767), not \"%1\"")
                                .arg(*v));
            o.outline = c;
            outlineGiven = true;
        } else if (name == QLatin1String("--reduction")) {
            const auto v = takeValue();
            if (!v)
                return missing();
            o.reductions.clear();
            for (const QString& part : v->split(QLatin1Char(','))) {
                const auto n = parseInt(part, 1, 32);
                if (!n || reductionListPosition(*n) < 0)
                    return fail(QStringLiteral("--reduction: each factor must be one of 1, 2, "
                                               "4, 8, 16, 32, not \"%1\"")
                                    .arg(part));
                if (std::find(o.reductions.begin(), o.reductions.end(), *n) == o.reductions.end())
                    o.reductions.push_back(*n);
            }
        } else if (name == QLatin1String("--format")) {
            const auto v = takeValue();
            if (!v)
                return missing();
            const QString f = v->toLower();
            if (f == QLatin1String("bmp"))
                o.format = ImageFormat::Bmp;
            else if (f == QLatin1String("png"))
                o.format = ImageFormat::Png;
            else if (f == QLatin1String("svg"))
                o.format = ImageFormat::Svg;
            else
                return fail(
                    QStringLiteral("--format: expected bmp, png or svg, not \"%1\"").arg(*v));
        } else if (name == QLatin1String("-o") || name == QLatin1String("--output")) {
            const auto v = takeValue();
            if (!v || v->isEmpty())
                return missing();
            o.output = *v;
        } else if (name == QLatin1String("--out-dir")) {
            const auto v = takeValue();
            if (!v || v->isEmpty())
                return missing();
            o.outDir = *v;
        } else if (name == QLatin1String("--formula")) {
            const auto v = takeValue();
            if (!v)
                return missing();
            o.formulas << *v;
        } else if (name == QLatin1String("--size")) {
            const auto v = takeValue();
            if (!v)
                return missing();
            const auto n = parseInt(*v, 25, 250);
            if (!n)
                return fail(QStringLiteral("--size: expected whole points from 25 to 250, not "
                                           "\"%1\"")
                                .arg(*v));
            o.formulaPoints = *n;
            o.formulaPointsGiven = true;
        } else if (name == QLatin1String("--extract")) {
            if (hasValue)
                return fail(QStringLiteral("--extract takes two arguments: IMAGE.png OUT.exp"));
            if (i + 2 >= args.size())
                return fail(QStringLiteral("--extract needs two arguments: IMAGE.png OUT.exp"));
            o.extract = true;
            o.extractImage = args[++i];
            o.extractOutput = args[++i];
        } else {
            return fail(QStringLiteral("unknown option %1 (see --help)").arg(name));
        }
    }

    if (o.help || o.version) {
        ParsedOptions r;
        r.ok = true;
        r.options = o;
        return r;
    }
    if (outlineGiven && fitGiven)
        return fail(QStringLiteral("--outline and --fit exclude each other"));
    if (o.formulaPointsGiven && o.formulas.isEmpty())
        return fail(QStringLiteral("--size applies to --formula only"));
    if (o.extract) {
        if (!o.inputs.isEmpty() || !o.formulas.isEmpty())
            return fail(QStringLiteral("--extract takes no other input files"));
    } else if (!o.formulas.isEmpty()) {
        if (!o.inputs.isEmpty())
            return fail(QStringLiteral("--formula and expression files exclude each other"));
        if (!o.output.isEmpty() && !o.outDir.isEmpty())
            return fail(QStringLiteral("-o and --out-dir exclude each other"));
        if (o.transparent && o.format == ImageFormat::Bmp)
            return fail(QStringLiteral("--transparent applies to png and svg only"));
    } else {
        if (o.inputs.isEmpty())
            return fail(QStringLiteral("no expression file given (see --help)"));
        if (!o.output.isEmpty() && !o.outDir.isEmpty())
            return fail(QStringLiteral("-o and --out-dir exclude each other"));
        if (!o.output.isEmpty() && o.inputs.size() > 1)
            return fail(QStringLiteral("-o names one output; use --out-dir for %1 inputs")
                            .arg(o.inputs.size()));
        if (o.transparent && o.format == ImageFormat::Bmp)
            return fail(QStringLiteral("--transparent applies to png and svg only"));
    }
    ParsedOptions r;
    r.ok = true;
    r.options = o;
    return r;
}

QString exportHelpText() {
    return QStringLiteral(
        "Usage: corvel-quillmark-export [options] FILE.exp...\n"
        "       corvel-quillmark-export [options] --formula TEXT... [-o OUT]\n"
        "       corvel-quillmark-export --extract IMAGE.png OUT.exp\n"
        "\n"
        "Renders each expression file as the editor's canvas shows it in image mode\n"
        "(no grid, no markers, no typed line) and writes the chosen area as a picture.\n"
        "No display is needed.\n"
        "\n"
        "Area (workspace pixels: the canvas below the 96-pixel tool strip):\n"
        "  --outline X1,Y1,X2,Y2  the area inside an outline, as Save Image takes it:\n"
        "                         from one pixel inside the lesser corner to two\n"
        "                         pixels inside the greater one\n"
        "  --fit[=MARGIN]         the tightest box around the ink, with MARGIN pixels\n"
        "                         of white on each side (default; MARGIN 8)\n"
        "  --screen WxH           canvas size in pixels (default 1920x1080; for a\n"
        "                         formula, the least size)\n"
        "\n"
        "Output:\n"
        "  --format bmp|png|svg   bmp (default): the editor's 16-grey RLE4 bitmap;\n"
        "                         png: the same grey levels, with the expression file\n"
        "                         embedded; svg: text and bars as vector shapes\n"
        "  --reduction N[,N...]   size reduction 1, 2, 4, 8, 16 or 32 (default 1),\n"
        "                         stored as the picture's resolution; with several\n"
        "                         factors one file each, named NAME-rN.EXT\n"
        "  --transparent          png and svg: no white background\n"
        "  -o OUT                 output file (one input only)\n"
        "  --out-dir DIR          folder for the outputs, named after the inputs\n"
        "                         (default: beside each input)\n"
        "  -f, --force            replace existing files\n"
        "\n"
        "Formulas (instead of expression files):\n"
        "  --formula TEXT         typeset a formula line such as\n"
        "                         'x = \\frac{-b \\pm \\sqrt{b^2-4ac}}{2a}' and export it;\n"
        "                         repeatable, one file each (OUT-N.EXT, or formula-N.EXT\n"
        "                         without -o); an OUT ending in .exp gets the typeset\n"
        "                         expression itself\n"
        "  --size POINTS          the formula's size, 25 to 250 (default 100)\n"
        "                         The canvas grows to hold the whole formula, up to\n"
        "                         16000 pixels a side; a larger one is refused.\n"
        "\n"
        "  --extract IMAGE.png OUT.exp\n"
        "                         write the expression embedded in a png made here\n"
        "  -h, --help             this text\n"
        "  --version              the program's version\n"
        "\n"
        "Exit status: 0 when every file was written, 1 when any input or output\n"
        "failed (the others are still done; each failure is one line on stderr),\n"
        "2 for a mistake in the options (nothing is done).\n");
}

} // namespace quill::cli
