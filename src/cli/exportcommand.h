#pragma once
// What corvel-quillmark-export does with its options: each expression file
// is read, painted on one off-screen canvas, and the chosen area written in
// the chosen format, once per reduction factor. A failure of one file is
// reported as one line naming the file and does not stop the others.

#include "cli/exportoptions.h"
#include "export/capture.h"
#include "export/expressioncanvas.h"
#include "files/atomicwrite.h"
#include "model/expression.h"

#include <QByteArray>
#include <QRect>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <functional>
#include <future>
#include <vector>

namespace quill::cli {

inline constexpr char ExportProgramName[] = "corvel-quillmark-export";

// The canvas draws only the program's own fonts (makeQFont), so the
// exporter needs nothing of the system's font configuration, which takes
// longer to load (some eighty files) than a whole picture takes to draw.
// Called before the QGuiApplication is made, this gives Qt an empty one.
void useProgramFontsOnly();

struct ExpressionInput {
    bool ok = false;
    QString message; // why the file cannot be used
    QByteArray bytes;
    Expression expression;
};

// Reads and decodes an expression file, with the reason when it is missing,
// unreadable or not an expression file.
ExpressionInput readExpressionInput(const QString& path);

// One input's outcome: the messages found so far and the files still being
// written. Waiting for it gives every line in order.
class PendingExport {
public:
    // Waits for the writes; appends one line per failure. True when the
    // input was read and every output written.
    bool finish(QStringList& errors);
    bool done() const;
    // An input that failed before anything was written: one line.
    static PendingExport failed(const QString& line);

private:
    friend class Exporter;
    struct Write {
        QString path;
        std::future<FileResult> result;
    };
    bool m_ok = true;
    QStringList m_errors;
    std::vector<Write> m_writes;
};

class Exporter {
public:
    explicit Exporter(const ExportOptions& options);

    // Exports one input. Its outputs are written on threads of their own
    // (each through writeFileAtomically, whose sync to the disk takes
    // longer than painting the next expression); the result says how it
    // ended once finished.
    PendingExport start(const QString& input);
    // Exports an expression that is not read from a file (a typeset
    // formula): `name` names it in messages, `expFile` is its bytes as an
    // expression file (embedded in a PNG), `pathFor` gives the output's
    // path for a reduction factor.
    PendingExport startExpression(const QString& name, const Expression& expr,
                                  const QByteArray& expFile,
                                  const std::function<QString(int)>& pathFor);
    // Writes `bytes` to `path` as an output of this run, with the same
    // checks (no replacing without --force, no path written twice).
    PendingExport startWrite(const QString& path, QByteArray bytes);
    // The same, waited for: every failure appended to `errors` as a line
    // "FILE: what is wrong"; true when every output was written.
    bool exportFile(const QString& input, QStringList& errors);

    // The area the options choose on the expression, painted on the canvas.
    ExportArea area(const Expression& expr);
    // The canvas pictures are taken from: the screen's (--screen) for
    // expression files, grown to hold a whole formula.
    void setCanvasSize(QSize size) { m_canvas.setScreen(size); }
    QRect itemsBounds(const Expression& expr) { return m_canvas.itemsBounds(expr); }

    // Where the output for `input` at `factor` goes.
    QString outputPath(const QString& input, int factor) const;

private:
    void writeOutput(const QString& input, const QString& path, QByteArray bytes,
                     PendingExport& pending);

    ExportOptions m_options;
    ExpressionCanvas m_canvas;
    QSet<QString> m_claimed; // outputs of this run, absolute paths
};

// Extracts the expression embedded in a PNG to an expression file.
bool extractCommand(const ExportOptions& options, QStringList& errors);

// The whole command: parses `args` (without the program name), does the
// work and prints to `out` and `err`. Returns the exit status: 0 when all
// is done, 1 when any file failed, 2 when the options are wrong.
int runExportCommand(const QStringList& args, const QString& programFolder, std::FILE* out,
                     std::FILE* err);

} // namespace quill::cli
