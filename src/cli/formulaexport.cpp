#include "cli/formulaexport.h"

#include "files/expcodec.h"
#include "files/filename.h"
#include "formula/formulalayout.h"

#include <QDir>
#include <QFileInfo>

namespace quill::cli {

QString formulaName(int n, const QByteArray& line, int position) {
    const std::string quote = formula::quoteAround(
        std::string_view(line.constData(), static_cast<std::size_t>(line.size())), position);
    return QStringLiteral("formula %1 (\"%2\")").arg(n).arg(QString::fromStdString(quote));
}

bool writesExpressionFile(const ExportOptions& options) {
    return options.output.endsWith(QLatin1String(".exp"), Qt::CaseInsensitive);
}

QString formulaOutputPath(const ExportOptions& options, int n, int count, int factor) {
    const bool exp = writesExpressionFile(options);
    const bool severalFactors = !exp && options.reductions.size() > 1;
    QString tag;
    if (count > 1 || options.output.isEmpty())
        tag += QStringLiteral("-%1").arg(n);
    if (severalFactors)
        tag += QStringLiteral("-r%1").arg(factor);
    if (!options.output.isEmpty()) {
        if (tag.isEmpty())
            return options.output;
        const QFileInfo out(options.output);
        const QString suffix = out.suffix();
        const QString stem = suffix.isEmpty() ? out.fileName() : out.completeBaseName();
        const QString name =
            stem + tag + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
        const qsizetype slash = options.output.lastIndexOf(QLatin1Char('/'));
        return slash < 0 ? name : options.output.left(slash + 1) + name;
    }
    const QString name =
        QStringLiteral("formula") + tag + QLatin1Char('.') + formatExtension(options.format);
    return options.outDir.isEmpty() ? name : QDir(options.outDir).filePath(name);
}

void startFormulaExports(Exporter& exporter, const ExportOptions& options,
                         std::deque<PendingExport>& pending, const std::function<void()>& settle) {
    formula::Typesetter typesetter;
    const int count = static_cast<int>(options.formulas.size());
    const bool pictures = !writesExpressionFile(options);
    for (int n = 1; n <= count; ++n) {
        // The line's own bytes, as it was given (UTF-8 or not).
        const QByteArray line = encodeFileName(options.formulas[n - 1]);
        const formula::TypesetFormula f = typesetter.typeset(
            std::string_view(line.constData(), static_cast<std::size_t>(line.size())),
            options.formulaPoints);
        Expression expr;
        QString failure;
        if (!f.ok)
            failure = QString::fromStdString(f.message);
        else if (!formula::addToExpression(f, expr))
            failure = QStringLiteral("too many items for one expression");
        if (failure.isEmpty() && pictures) {
            // The canvas grows to hold the whole formula, up to a bound.
            const QRect drawn = exporter.itemsBounds(expr);
            if (drawn.width() > MaxCanvasSide || drawn.height() > MaxCanvasSide ||
                static_cast<long long>(drawn.width()) * drawn.height() > MaxAreaPixels)
                failure = QStringLiteral("the formula is %1 x %2 pixels at %3 points; a picture "
                                         "may have at most %4 pixels a side and %5 in all")
                              .arg(drawn.width())
                              .arg(drawn.height())
                              .arg(options.formulaPoints)
                              .arg(MaxCanvasSide)
                              .arg(MaxAreaPixels);
            else
                exporter.setCanvasSize(
                    options.screen.expandedTo(QSize(drawn.right() + 1, drawn.bottom() + 1)));
        }
        EncodeResult encoded;
        if (failure.isEmpty()) {
            encoded = encodeExpression(expr);
            if (!encoded.ok)
                failure = QString::fromStdString(encoded.message);
        }
        const QString name = formulaName(n, line, f.ok ? 1 : std::max(1, f.position));
        const QByteArray expFile(reinterpret_cast<const char*>(encoded.bytes.data()),
                                 static_cast<qsizetype>(encoded.bytes.size()));
        if (!failure.isEmpty()) {
            // A failed input: reported in its turn like an unreadable file.
            pending.push_back(PendingExport::failed(name + QLatin1String(": ") + failure));
        } else if (!pictures) {
            pending.push_back(
                exporter.startWrite(formulaOutputPath(options, n, count, 1), expFile));
        } else {
            pending.push_back(exporter.startExpression(name, expr, expFile, [&](int factor) {
                return formulaOutputPath(options, n, count, factor);
            }));
        }
        settle();
    }
}

} // namespace quill::cli
