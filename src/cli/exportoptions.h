#pragma once
// The command line of corvel-quillmark-export: what it is asked to do, read
// from its arguments. Parsing never touches the file system; every mistake
// in the arguments comes back as one message.

#include <QSize>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

namespace quill::cli {

enum class ImageFormat { Bmp, Png, Svg };

// Reduction factors the editor's size list offers, by list position.
inline constexpr std::array<int, 6> ReductionFactors{1, 2, 4, 8, 16, 32};

struct ExportOptions {
    QSize screen{1920, 1080};
    // Outline corners X1, Y1, X2, Y2 in workspace pixels; when absent the
    // area is fitted to the ink with `fitMargin` pixels of white around it.
    std::optional<std::array<int, 4>> outline;
    int fitMargin = 8;
    std::vector<int> reductions{1}; // each one of ReductionFactors, no repeats
    ImageFormat format = ImageFormat::Bmp;
    bool transparent = false;
    QString output; // -o: the one output file
    QString outDir; // --out-dir: folder for every output
    bool force = false;
    QStringList inputs;

    // --extract IMAGE.png OUT.exp
    bool extract = false;
    QString extractImage;
    QString extractOutput;

    // --formula TEXT (repeatable) and --size POINTS: formula lines typeset
    // at that size and exported instead of expression files.
    QStringList formulas;
    int formulaPoints = 100;
    bool formulaPointsGiven = false;

    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    bool ok = false;
    QString message; // when not ok: what is wrong, one line
    ExportOptions options;
};

// `args` are the arguments without the program name.
ParsedOptions parseExportOptions(const QStringList& args);

QString exportHelpText();
QString formatExtension(ImageFormat f); // "bmp", "png", "svg"

// Position of a factor in the editor's size list, or -1.
int reductionListPosition(int factor);

} // namespace quill::cli
