#include "cli/formulaexport.h"

#include "files/expcodec.h"
#include "formula/formulalayout.h"

#include <QDir>
#include <QFileInfo>

namespace quill::cli {

QString formulaName(int n, const QString& text) {
    return QStringLiteral("formula %1 (\"%2\")").arg(n).arg(text);
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
    for (int n = 1; n <= count; ++n) {
        const QString& text = options.formulas[n - 1];
        const QString name = formulaName(n, text);
        const QByteArray utf8 = text.toUtf8();
        const formula::TypesetFormula f = typesetter.typeset(
            std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
            options.formulaPoints);
        Expression expr;
        QString failure;
        if (!f.ok)
            failure = QString::fromStdString(f.message);
        else if (!formula::addToExpression(f, expr))
            failure = QStringLiteral("too many items for one expression");
        EncodeResult encoded;
        if (failure.isEmpty()) {
            encoded = encodeExpression(expr);
            if (!encoded.ok)
                failure = QString::fromStdString(encoded.message);
        }
        const QByteArray expFile(reinterpret_cast<const char*>(encoded.bytes.data()),
                                 static_cast<qsizetype>(encoded.bytes.size()));
        if (!failure.isEmpty()) {
            // A failed input: reported in its turn like an unreadable file.
            pending.push_back(PendingExport::failed(name + QLatin1String(": ") + failure));
        } else if (writesExpressionFile(options)) {
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
