// corvel-quillmark-export: its options, the pictures it writes and its
// messages, with its bitmaps held against the editor's own Save Image.

#include "app/mainpanel.h"
#include "app/widgets.h"
#include "cli/exportcommand.h"
#include "cli/exportoptions.h"
#include "edit/keycodes.h"
#include "export/bmpimage.h"
#include "export/pictureformats.h"
#include "export/readingorder.h"
#include "export/workspacecapture.h"
#include "filehelpers.h"
#include "files/expcodec.h"
#include "formula/formulalayout.h"
#include "scriptedplatform.h"
#include "tinyfs.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstdio>
#include <dirent.h>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace quill;
using namespace quill::cli;
using quill::test::readAll;
using quill::test::writeFile;

namespace {

QByteArray expBytes(const Expression& e) {
    const EncodeResult r = encodeExpression(e);
    EXPECT_TRUE(r.ok);
    return QByteArray(reinterpret_cast<const char*>(r.bytes.data()),
                      static_cast<qsizetype>(r.bytes.size()));
}

// A typical expression: a fraction with a bar, a root sign's vertical bar,
// text in several faces and styles (with two characters the symbol face
// lacks, drawn in the sans-serif face), and deleted rows of every table.
Expression sampleExpression() {
    Expression e;
    e.AddTextItem("Arial", VbFalse, VbFalse, 50, "a+b", 300, 200, 295, 255, 60);
    e.AddTextItem("Arial", VbTrue, VbTrue, 25, "x<&\">2 %1", 310, 300, 305, 330, 30);
    e.AddTextItem("MathSymbols", VbFalse, VbFalse, 75, "ab\xb1\xd6", 700, 400, 695, 480, 85);
    e.AddTextItem("Zidezir", VbFalse, VbFalse, 50, "gone", 40, 500, 35, 555, 60);
    e.TextItems.live[3] = VbFalse;
    e.AddHLine(290, 280, 420, 3);
    e.AddHLine(600, 100, 900, 30);
    e.HLines.live[1] = VbFalse;
    e.AddVLine(600, 200, 300, 6);
    return e;
}

struct RunResult {
    int status = -1;
    QString out;
    QString err;
};

QString drain(std::FILE* f) {
    std::rewind(f);
    QByteArray b;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        b.append(buf, static_cast<qsizetype>(n));
    std::fclose(f);
    return QString::fromLocal8Bit(b);
}

RunResult run(const QStringList& args) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    RunResult r;
    r.status = runExportCommand(args, test::buildProgramFolder(), out, err);
    r.out = drain(out);
    r.err = drain(err);
    return r;
}

// The real program in a process of its own, as a user starts it. Qt's
// font engine draws text of 64 pixels and more slightly differently (one
// grey level at a few edge pixels) once the process has drawn other text of
// the same face, so pictures that are compared pixel for pixel with another
// process's come from fresh processes.
RunResult runProgram(const QStringList& args) {
    QProcess p;
    p.start(test::buildProgramFolder() + QStringLiteral("/corvel-quillmark-export"), args);
    RunResult r;
    if (!p.waitForFinished(60000))
        return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// Every pixel of a decoded picture as its grey level (0 black .. 15 white).
std::vector<int> greyLevels(const QImage& img) {
    std::vector<int> g;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            g.push_back(qGray(img.pixel(x, y)) / 0x11);
    return g;
}

// The same PNG with its text chunks moved after the pixel data, where many
// writers put them; the chunks keep their bytes, so their checksums hold.
QByteArray textAfterPixels(const QByteArray& png) {
    QByteArray chunks = png.left(8), text;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const auto length = static_cast<qsizetype>(qFromBigEndian<quint32>(png.constData() + at));
        const QByteArray chunk = png.mid(at, length + 12);
        const QByteArray type = chunk.mid(4, 4);
        if (type == "tEXt" || type == "zTXt" || type == "iTXt")
            text += chunk;
        else
            chunks += (type == "IEND" ? text : QByteArray()) + chunk;
        at += length + 12;
    }
    return chunks;
}

class ExportCli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tmp.isValid()); }
    QString at(const QString& name) const { return tmp.filePath(name); }
    QString put(const QString& name, const QByteArray& bytes) {
        writeFile(at(name), bytes);
        return at(name);
    }
    QTemporaryDir tmp;
};

} // namespace

// --- Options ------------------------------------------------------------

TEST(ExportOptions, ReadsWhatItIsGiven) {
    const ParsedOptions p = parseExportOptions(
        {QStringLiteral("--reduction"), QStringLiteral("1,4,16,4"), QStringLiteral("--fit=3"),
         QStringLiteral("--screen=800x600"), QStringLiteral("--format"), QStringLiteral("PNG"),
         QStringLiteral("--transparent"), QStringLiteral("--"), QStringLiteral("--odd.exp")});
    ASSERT_TRUE(p.ok) << p.message.toStdString();
    EXPECT_EQ(p.options.reductions, (std::vector<int>{1, 4, 16}));
    EXPECT_EQ(p.options.fitMargin, 3);
    EXPECT_EQ(p.options.screen, QSize(800, 600));
    EXPECT_EQ(p.options.format, ImageFormat::Png);
    EXPECT_TRUE(p.options.transparent);
    EXPECT_EQ(p.options.inputs, QStringList{QStringLiteral("--odd.exp")});

    const ParsedOptions q =
        parseExportOptions({QStringLiteral("--outline=-5,10,300,200"), QStringLiteral("a.exp")});
    ASSERT_TRUE(q.ok);
    ASSERT_TRUE(q.options.outline.has_value());
    EXPECT_EQ(*q.options.outline, (std::array<int, 4>{-5, 10, 300, 200}));
}

// Each mistake stops the command before any file is touched, with status 2
// and one line that says what is wrong.
TEST(ExportOptions, MistakesAreRefusedWithStatusTwo) {
    struct Case {
        QStringList args;
        const char* says;
    };
    const QString x = QStringLiteral("x.exp");
    const std::vector<Case> cases = {
        {{QStringLiteral("--bogus"), x}, "unknown option --bogus"},
        {{QStringLiteral("-z"), x}, "unknown option -z"},
        {{QStringLiteral("--reduction"), QStringLiteral("3"), x}, "--reduction"},
        {{QStringLiteral("--reduction"), QStringLiteral("1,64"), x}, "--reduction"},
        {{QStringLiteral("--reduction")}, "needs a value"},
        {{QStringLiteral("--screen"), QStringLiteral("800x96"), x}, "--screen"},
        {{QStringLiteral("--screen"), QStringLiteral("800"), x}, "--screen"},
        {{QStringLiteral("--outline"), QStringLiteral("1,2,3"), x}, "--outline"},
        {{QStringLiteral("--outline"), QStringLiteral("1,2,3,40000"), x}, "--outline"},
        {{QStringLiteral("--fit=-1"), x}, "--fit"},
        {{QStringLiteral("--outline=0,0,9,9"), QStringLiteral("--fit"), x}, "exclude"},
        {{QStringLiteral("-o"), QStringLiteral("a.bmp"), x, QStringLiteral("y.exp")},
         "-o names one output"},
        {{QStringLiteral("--transparent"), x}, "png and svg only"},
        {{QStringLiteral("--format"), QStringLiteral("gif"), x}, "--format"},
        {{QStringLiteral("--force=yes"), x}, "takes no value"},
        {{QStringLiteral("--extract"), QStringLiteral("a.png")}, "--extract"},
        {{}, "no expression file given"},
        {{QStringLiteral("--formula"), QStringLiteral("x"), QStringLiteral("--size"),
          QStringLiteral("20")},
         "--size: expected whole points from 25 to 250"},
        {{QStringLiteral("--size"), QStringLiteral("50"), x}, "--size applies to --formula only"},
        {{QStringLiteral("--formula"), QStringLiteral("x"), x}, "exclude each other"},
    };
    for (const Case& c : cases) {
        const RunResult r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("corvel-quillmark-export: ")))
            << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
        EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << r.err.toStdString();
    }
}

TEST(ExportOptions, HelpAndVersionGoToStandardOutput) {
    const RunResult help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: corvel-quillmark-export")));
    EXPECT_TRUE(help.err.isEmpty());
    const RunResult version = run({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(
        version.out,
        QStringLiteral("corvel-quillmark-export %1\n").arg(QStringLiteral(QUILLMARK_VERSION_TEXT)));
}

// --- The bitmap is the editor's -------------------------------------------

namespace {

// Save Image in the editor: image mode entered afresh (so no white frame
// of an earlier save lies in the workspace), the outline's corners as a
// drag leaves them, the size list set, and the dialog answered with `path`.
void saveImageInEditor(MainPanel& w, test::ScriptedPlatform& platform, const std::array<int, 4>& c,
                       int position, const QString& path) {
    if (w.imageSet != VbFalse)
        w.cmdSetImage_Click(); // leave
    w.cmdSetImage_Click();
    ASSERT_NE(w.imageSet, VbFalse);
    w.cmdSetOutline_Click();
    w.outlineSet = VbTrue;
    w.outlineX1 = static_cast<std::int16_t>(c[0]);
    w.outlineY1 = static_cast<std::int16_t>(c[1]);
    w.outlineX2 = static_cast<std::int16_t>(c[2]);
    w.outlineY2 = static_cast<std::int16_t>(c[3]);
    w.cboSizeRed->setCurrentIndex(position);
    platform.dialogAnswers.emplace_back(path);
    w.cmdSavIm_Click();
}

} // namespace

// The editor with the expression opened, in image mode, and the same outline
// saved by Save Image, against the command's bitmap for that outline.
TEST_F(ExportCli, BitmapIsTheEditorsSaveImage) {
    test::ScriptedPlatform platform; // a 1280 x 800 screen
    const QString exp = put(QStringLiteral("eq.exp"), expBytes(sampleExpression()));
    auto w = test::openActiveMainPanel(platform);
    ASSERT_TRUE(w);
    platform.dialogAnswers.emplace_back(exp);
    w->Open_Click();
    ASSERT_EQ(w->expression, sampleExpression());
    w->chkGrid->setValue(1); // image mode must take grid and markers away
    ASSERT_EQ(w->chkMarkers->value(), 1);

    struct Case {
        std::array<int, 4> corners;
        int position;
    };
    const std::vector<Case> cases = {
        {{250, 80, 460, 250}, 0},
        {{460, 250, 250, 80}, 5},   // dragged from the bottom right
        {{-20, -10, 1300, 720}, 2}, // beyond the workspace: black there
        {{590, 100, 612, 220}, 3},  // the vertical bar, an odd width
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString editorFile = at(QStringLiteral("editor%1.bmp").arg(n));
        const QString cliFile = at(QStringLiteral("cli%1.bmp").arg(n));
        ++n;
        saveImageInEditor(*w, platform, c.corners, c.position, editorFile);
        const QByteArray editorBytes = readAll(editorFile);
        ASSERT_FALSE(editorBytes.isEmpty()) << "the editor saved no image";

        const QString outline = QStringLiteral("%1,%2,%3,%4")
                                    .arg(c.corners[0])
                                    .arg(c.corners[1])
                                    .arg(c.corners[2])
                                    .arg(c.corners[3]);
        const RunResult r =
            runProgram({QStringLiteral("--screen"), QStringLiteral("1280x800"),
                        QStringLiteral("--outline"), outline, QStringLiteral("--reduction"),
                        QString::number(ReductionFactors[static_cast<std::size_t>(c.position)]),
                        QStringLiteral("-o"), cliFile, exp});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(readAll(cliFile), editorBytes) << outline.toStdString();
    }

    // Several factors in one run give each the bytes of a run of its own
    // (the picture is coded once, the resolution set for each).
    const QString outline = QStringLiteral("250,80,460,250"); // the first case, factor 1
    ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("multi")));
    const RunResult several =
        runProgram({QStringLiteral("--screen=1280x800"), QStringLiteral("--outline"), outline,
                    QStringLiteral("--reduction=1,32"), QStringLiteral("--out-dir"),
                    at(QStringLiteral("multi")), exp});
    ASSERT_EQ(several.status, 0) << several.err.toStdString();
    const RunResult alone =
        runProgram({QStringLiteral("--screen=1280x800"), QStringLiteral("--outline"), outline,
                    QStringLiteral("--reduction=32"), QStringLiteral("-o"),
                    at(QStringLiteral("alone32.bmp")), exp});
    ASSERT_EQ(alone.status, 0) << alone.err.toStdString();
    const QString stem = QFileInfo(exp).completeBaseName();
    const QByteArray first = readAll(at(QStringLiteral("multi/%1-r1.bmp").arg(stem)));
    const QByteArray last = readAll(at(QStringLiteral("multi/%1-r32.bmp").arg(stem)));
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(last.isEmpty());
    EXPECT_EQ(first, readAll(at(QStringLiteral("editor0.bmp"))));
    EXPECT_EQ(last, readAll(at(QStringLiteral("alone32.bmp"))));
}

// A long run of random editing draws texts of every face and size in an
// order of its own (each line as it is typed, a letter at a time, and lines
// deleted again); the editor's Save Image of the saved expression is still, byte for byte, what
// a fresh exporter makes of the saved file.
TEST_F(ExportCli, SaveImageAfterLongEditingIsTheExportersPictureOfTheSavedFile) {
    test::ScriptedPlatform platform; // a 1280 x 800 screen
    auto w = test::openActiveMainPanel(platform);
    ASSERT_TRUE(w);
    std::mt19937 random(32);
    auto pick = [&random](int n) { return static_cast<int>(random() % unsigned(n)); };
    const char* const lines[] = {"x", "y", "z", "f(x)", "a+b", "Hg", "2n", "dy", "$S"};
    // Types a line in the chosen face at the chosen size, commits it and
    // drags it by its handle to (tx, ty).
    auto add = [&](const std::string& line, double tx, double ty) {
        w->chkText->setValue(1);
        for (const char c : line)
            w->Picture4_KeyPress(c);
        w->Picture4_KeyPress(13);
        const auto row = static_cast<std::size_t>(w->expression.lastTextItem);
        const double hx = w->expression.TextItems.markerX[row];
        const double hy = w->expression.TextItems.markerY[row];
        w->Form_MouseDown(1, 0, hx, hy);
        w->Form_MouseMove(1, 0, (hx + tx) / 2, (hy + ty) / 2);
        w->Form_MouseMove(1, 0, tx, ty);
        w->Form_MouseUp(1, 0, tx, ty);
    };
    for (int k = 0; k < 160; ++k) {
        w->cboFont->setCurrentIndex(pick(w->cboFont->count()));
        if (pick(2) == 0) {                  // a small note in the same face, deleted again:
            w->cboFsize->setCurrentIndex(0); // drawn here, never by the exporter
            std::string note;
            for (int n = 2 + pick(3); n > 0; --n)
                note += static_cast<char>(33 + pick(94));
            add(note, 600, 600);
            w->Picture4_KeyDown(vk::Delete, 0);
            w->Form_MouseDown(1, 0, 600, 600);
            w->Form_MouseUp(1, 0, 600, 600);
        }
        w->cboFsize->setCurrentIndex(1 + pick(w->cboFsize->count() - 1));
        add(lines[pick(std::size(lines))], 10 + pick(1200), 120 + pick(660));
    }
    const QString exp = at(QStringLiteral("edited.exp"));
    platform.dialogAnswers.emplace_back(exp);
    w->Save_Click();
    ASSERT_TRUE(QFile::exists(exp));
    const std::array<int, 4> corners{-1, -1, 1281, 705}; // the whole workspace
    saveImageInEditor(*w, platform, corners, 0, at(QStringLiteral("editor.bmp")));
    const QByteArray editorBytes = readAll(at(QStringLiteral("editor.bmp")));
    ASSERT_FALSE(editorBytes.isEmpty()) << "the editor saved no image";
    const RunResult r =
        runProgram({QStringLiteral("--screen=1280x800"), QStringLiteral("--outline=-1,-1,1281,705"),
                    QStringLiteral("-o"), at(QStringLiteral("cli.bmp")), exp});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(readAll(at(QStringLiteral("cli.bmp"))) == editorBytes);
}

// Save Image offers PNG and SVG after the bitmap: a typed extension picks
// the format, a bare name takes the chosen type's; the bytes are the
// exporter's for the same outline.
TEST_F(ExportCli, SaveImageWritesTheExportersPngAndSvg) {
    test::ScriptedPlatform platform; // a 1280 x 800 screen
    const QString exp = put(QStringLiteral("eq.exp"), expBytes(sampleExpression()));
    auto w = test::openActiveMainPanel(platform);
    ASSERT_TRUE(w);
    platform.dialogAnswers.emplace_back(exp);
    w->Open_Click();
    ASSERT_EQ(w->expression, sampleExpression());

    const QString png = QStringLiteral("PNG Image (*.png)"),
                  svg = QStringLiteral("SVG Image (*.svg)");
    struct Case {
        QString filter; // empty: the type the dialog shows first
        const char* typed;
        const char* written;
        const char* format;
    };
    const std::vector<Case> cases = {
        {QString(), "a.png", "a.png", "png"}, {png, "b", "b.png", "png"},
        {svg, "c", "c.svg", "svg"},           {png, "d.SVG", "d.SVG", "svg"},
        {svg, "e.bmp", "e.bmp", "bmp"},       {QString(), "f", "f.bmp", "bmp"},
        {QString(), "g.txt", "g.txt", "bmp"}, // a name with an extension of its own
    };
    const std::array<int, 4> corners{250, 80, 761, 420};
    const QString outline = QStringLiteral("250,80,761,420");
    for (const Case& c : cases) {
        if (!c.filter.isEmpty())
            platform.filterAnswers.push_back(c.filter);
        saveImageInEditor(*w, platform, corners, 2, at(QString::fromLatin1(c.typed)));
        const QByteArray saved = readAll(at(QString::fromLatin1(c.written)));
        ASSERT_FALSE(saved.isEmpty()) << c.written;
        ASSERT_FALSE(platform.messages.empty());
        EXPECT_EQ(platform.messages.back().text,
                  at(QString::fromLatin1(c.written)) + QStringLiteral(" :-  file saved"));
        const QString cliFile = at(QStringLiteral("cli-%1").arg(QLatin1String(c.written)));
        const RunResult r =
            runProgram({QStringLiteral("--screen=1280x800"), QStringLiteral("--outline"), outline,
                        QStringLiteral("--reduction=4"), QStringLiteral("--format"),
                        QString::fromLatin1(c.format), QStringLiteral("-o"), cliFile, exp});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(saved, readAll(cliFile)) << c.written;
    }
    EXPECT_FALSE(QFile::exists(at(QStringLiteral("b"))));

    // A bare name whose completed name is taken: the dialog asked about the
    // bare name only, so the file there is kept and the user told.
    put(QStringLiteral("c.svg"), QByteArray("kept"));
    platform.filterAnswers.push_back(svg);
    saveImageInEditor(*w, platform, corners, 2, at(QStringLiteral("c")));
    EXPECT_EQ(readAll(at(QStringLiteral("c.svg"))), QByteArray("kept"));
    EXPECT_TRUE(platform.messages.back().text.endsWith(
        QStringLiteral("already exists. To replace it, type the name with its extension.")));
    EXPECT_FALSE(QFile::exists(at(QStringLiteral("c"))));
}

// --- --fit ------------------------------------------------------------------

// The fitted picture holds every inked pixel of the workspace, with exactly
// MARGIN white rows and columns around it, white even where the margin lies
// beyond the workspace (an item touching its left edge).
TEST_F(ExportCli, FitHugsTheInkWithItsMargin) {
    Expression e = sampleExpression();
    e.AddHLine(300, 6, 60, 9); // its bar starts at x 0
    const QString exp = put(QStringLiteral("fit.exp"), expBytes(e));

    const QString whole = at(QStringLiteral("whole.bmp"));
    const RunResult all =
        runProgram({QStringLiteral("--screen=1280x800"), QStringLiteral("--outline=-1,-1,1281,705"),
                    QStringLiteral("-o"), whole, exp});
    ASSERT_EQ(all.status, 0) << all.err.toStdString();
    const QImage workspace(whole);
    ASSERT_EQ(workspace.size(), QSize(1280, 704));
    int inkedPixels = 0;
    for (const int level : greyLevels(workspace))
        inkedPixels += level < 15;
    ASSERT_GT(inkedPixels, 0);

    for (const int margin : {0, 8, 30}) {
        for (const char* format : {"bmp", "png"}) {
            const QString out =
                at(QStringLiteral("fit%1.%2").arg(margin).arg(QLatin1String(format)));
            const RunResult r =
                runProgram({QStringLiteral("--screen=1280x800"),
                            QStringLiteral("--fit=%1").arg(margin), QStringLiteral("--format"),
                            QString::fromLatin1(format), QStringLiteral("-o"), out, exp});
            ASSERT_EQ(r.status, 0) << r.err.toStdString();
            const QImage img(out);
            ASSERT_FALSE(img.isNull()) << format;
            const std::vector<int> g = greyLevels(img);
            const int w = img.width(), h = img.height();
            auto level = [&](int x, int y) { return g[static_cast<std::size_t>(y * w + x)]; };
            int inked = 0;
            int left = w, right = -1, top = h, bottom = -1;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (level(x, y) < 15) {
                        ++inked;
                        left = std::min(left, x);
                        right = std::max(right, x);
                        top = std::min(top, y);
                        bottom = std::max(bottom, y);
                    }
            EXPECT_EQ(inked, inkedPixels) << format << " margin " << margin;
            EXPECT_EQ(left, margin) << format;
            EXPECT_EQ(top, margin) << format;
            EXPECT_EQ(w - 1 - right, margin) << format;
            EXPECT_EQ(h - 1 - bottom, margin) << format;
        }
    }
}

// --- PNG ----------------------------------------------------------------------

// The expression file rides inside the PNG and comes back byte for byte,
// trailing bytes and deleted rows included, also from a PNG whose text
// follows its pixels; the grey levels are the bitmap's, and the resolution
// is the one each factor stores.
TEST_F(ExportCli, PngCarriesTheExpressionAndTheBitmapsPixels) {
    QByteArray bytes = expBytes(sampleExpression());
    bytes.append("\x01\x02trailing", 10); // Open ignores what follows the tables
    const QString exp = put(QStringLiteral("round.exp"), bytes);
    const QString outline = QStringLiteral("250,80,760,420");
    RunResult r = run({QStringLiteral("--screen=1280x800"), QStringLiteral("--outline"), outline,
                       QStringLiteral("--format=png"), QStringLiteral("--reduction=1,4,32"), exp});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    r = run({QStringLiteral("--screen=1280x800"), QStringLiteral("--outline"), outline, exp});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QImage bmp(at(QStringLiteral("round.bmp")));
    ASSERT_FALSE(bmp.isNull());

    for (const int factor : {1, 4, 32}) {
        const QString png = at(QStringLiteral("round-r%1.png").arg(factor));
        const QImage img(png);
        ASSERT_FALSE(img.isNull()) << factor;
        EXPECT_EQ(img.dotsPerMeterX(), 3780 * factor);
        EXPECT_EQ(img.dotsPerMeterY(), 3780 * factor);
        EXPECT_EQ(greyLevels(img), greyLevels(bmp));

        const QString back = at(QStringLiteral("back%1.exp").arg(factor));
        r = run({QStringLiteral("--extract"), png, back});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(readAll(back), bytes);

        const QByteArray late = textAfterPixels(readAll(png));
        ASSERT_NE(late, readAll(png));
        const QString latePng = put(QStringLiteral("late%1.png").arg(factor), late);
        EXPECT_EQ(greyLevels(QImage(latePng)), greyLevels(bmp)) << "still a valid picture";
        const QString lateBack = at(QStringLiteral("late%1.exp").arg(factor));
        r = run({QStringLiteral("--extract"), latePng, lateBack});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(readAll(lateBack), bytes);
    }
}

// With --transparent white is clear and the ink black with the darkness as
// its opacity.
TEST_F(ExportCli, TransparentPngTurnsGreyLevelsIntoOpacity) {
    const QString exp = put(QStringLiteral("t.exp"), expBytes(sampleExpression()));
    RunResult r = run({QStringLiteral("--format=png"), exp});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    r = run({QStringLiteral("--format=png"), QStringLiteral("--transparent"), QStringLiteral("-o"),
             at(QStringLiteral("clear.png")), exp});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QImage grey(at(QStringLiteral("t.png")));
    const QImage clear(at(QStringLiteral("clear.png")));
    ASSERT_EQ(grey.size(), clear.size());
    ASSERT_TRUE(clear.hasAlphaChannel());
    int partial = 0;
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x) {
            const int level = qGray(grey.pixel(x, y)) / 0x11;
            const QRgb c = clear.pixel(x, y);
            ASSERT_EQ(qAlpha(c), 255 - 0x11 * level) << x << "," << y;
            if (qAlpha(c) != 0) {
                ASSERT_EQ(qGray(c), 0);
            }
            partial += level > 0 && level < 15;
        }
    EXPECT_GT(partial, 0); // antialiased edges become part-transparent ink
}

TEST_F(ExportCli, ExtractRefusesPicturesWithoutAnExpression) {
    QImage plain(4, 4, QImage::Format_RGB32);
    plain.fill(Qt::white);
    ASSERT_TRUE(plain.save(at(QStringLiteral("plain.png"))));
    QImage damaged = plain;
    damaged.setText(QString::fromLatin1(ExpressionTextKey), QStringLiteral("AAAA")); // 3 bytes
    ASSERT_TRUE(damaged.save(at(QStringLiteral("damaged.png"))));
    const QString bmp = put(QStringLiteral("pic.png"), QByteArray("BM not a png"));
    struct Case {
        QString image;
        const char* says;
    };
    for (const Case& c :
         {Case{at(QStringLiteral("plain.png")), "no expression embedded"},
          Case{at(QStringLiteral("damaged.png")), "the embedded expression is damaged"},
          Case{bmp, "not a PNG"}, Case{at(QStringLiteral("none.png")), "no such file"}}) {
        const QString out = at(QStringLiteral("x.exp"));
        const RunResult r = run({QStringLiteral("--extract"), c.image, out});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains(QDir::toNativeSeparators(c.image) + QStringLiteral(": ") +
                                   QString::fromUtf8(c.says)))
            << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
}

// --- SVG ------------------------------------------------------------------------

// Text items are drawn as outlines that need no font, and say their text
// in Unicode: the symbol face's symbols, Zidezir's minus sign, the formula
// faces' glyphs (a larger size of a sign says the sign).
TEST_F(ExportCli, SvgHasOneElementPerLiveItemInDrawingOrder) {
    Expression e = sampleExpression();
    e.AddTextItem("Zidezir", VbFalse, VbFalse, 50, "3x-1", 300, 420, 295, 475, 60);
    formula::Glyph alpha;
    ASSERT_TRUE(formula::glyphFor(U'\u03B1', formula::FontStyle::Math, alpha));
    const formula::Construction* sum = formula::verticalConstruction(U'\u2211');
    ASSERT_NE(sum, nullptr);
    const formula::Variant& large = formula::variantsOf(*sum).back();
    e.AddTextItem(formula::faceName(alpha.face), VbFalse, VbFalse, 50,
                  std::string(1, static_cast<char>(alpha.code)), 500, 300, 495, 355, 60);
    e.AddTextItem(formula::faceName(large.face), VbFalse, VbFalse, 50,
                  std::string(1, static_cast<char>(large.code)), 600, 300, 595, 355, 60);
    const QString exp = put(QStringLiteral("v.exp"), expBytes(e));
    const RunResult r =
        run({QStringLiteral("--format=svg"), QStringLiteral("--screen=1280x800"),
             QStringLiteral("--outline=250,80,760,420"), QStringLiteral("--reduction=2"), exp});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();

    QXmlStreamReader xml(readAll(at(QStringLiteral("v.svg"))));
    QStringList items; // elements directly inside <g id="items">
    QStringList labels, titles;
    QString viewBox, width;
    int depthInItems = 0; // 1 directly inside the group
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto attr = [&](const char* name) {
                return xml.attributes().value(QLatin1String(name)).toString();
            };
            EXPECT_NE(xml.name(), QLatin1String("text"));
            EXPECT_TRUE(attr("font-family").isEmpty());
            if (depthInItems > 0) {
                if (depthInItems == 1) {
                    items << xml.name().toString();
                    if (xml.name() == QLatin1String("path")) {
                        labels << attr("aria-label");
                        EXPECT_FALSE(attr("d").isEmpty());
                    }
                } else if (xml.name() == QLatin1String("title")) {
                    titles << xml.readElementText();
                    continue; // readElementText consumed the end
                }
                ++depthInItems;
            } else if (xml.name() == QLatin1String("svg")) {
                viewBox = attr("viewBox");
                width = attr("width");
            } else if (xml.name() == QLatin1String("g") && attr("id") == QLatin1String("items")) {
                depthInItems = 1;
            }
        } else if (xml.isEndElement() && depthInItems > 0) {
            --depthInItems;
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    // Live: two horizontal bars less one deleted, one vertical bar, four
    // texts of five; bars first, as the canvas draws them.
    EXPECT_EQ(items,
              (QStringList{QStringLiteral("rect"), QStringLiteral("rect"), QStringLiteral("path"),
                           QStringLiteral("path"), QStringLiteral("path"), QStringLiteral("path"),
                           QStringLiteral("path"), QStringLiteral("path")}));
    const QStringList said{QStringLiteral("a+b"),
                           QStringLiteral("x<&\">2 %1"),
                           QStringLiteral("\u03B1\u03B2\u00B1\u00D6"),
                           QStringLiteral("3x\u22121"),
                           QStringLiteral("\u03B1"),
                           QStringLiteral("\u2211")};
    EXPECT_EQ(labels, said);
    EXPECT_EQ(titles, said);
    EXPECT_EQ(viewBox, QStringLiteral("251 81 508 338"));
    EXPECT_EQ(width, QStringLiteral("254px"));
}

// The picture as a whole is an image whose name reads its items in reading
// order (each item keeps its own title): the quadratic formula as it is
// said, the superscript after its base and the denominator after the
// numerator, not in the order the items are stored.
TEST_F(ExportCli, SvgRootReadsTheItemsInReadingOrder) {
    const RunResult r =
        run({QStringLiteral("--formula"), QStringLiteral("x = \\frac{-b \\pm \\sqrt{b^2-4ac}}{2a}"),
             QStringLiteral("--format=svg"), QStringLiteral("-o"), at(QStringLiteral("q.svg"))});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QXmlStreamReader xml(readAll(at(QStringLiteral("q.svg"))));
    ASSERT_TRUE(xml.readNextStartElement());
    ASSERT_EQ(xml.name(), QLatin1String("svg"));
    EXPECT_EQ(xml.attributes().value(QLatin1String("role")), QLatin1String("img"));
    QString said = xml.attributes().value(QLatin1String("aria-label")).toString();
    said.remove(QLatin1Char(' '));
    EXPECT_EQ(said, QStringLiteral("x=\u2212b\u00B1\u221Ab2\u22124ac2a"));
}

// Reading order of items by their boxes (x, y, width, height; a bar is a
// line's bar), in the layouts a picture of mathematics has.
TEST(ReadingOrder, RowsTopToBottomAndStacksInTheirPlace) {
    struct Box {
        double x, y, w, h;
        bool bar;
    };
    const struct {
        const char* what;
        std::vector<Box> boxes;
        std::vector<std::size_t> order;
    } cases[] = {
        {"two lines with their signs one under the other",
         {{0, 40, 10, 10, false},
          {20, 40, 10, 10, false},
          {40, 40, 10, 10, false},
          {0, 0, 10, 10, false},
          {20, 0, 10, 10, false},
          {40, 0, 10, 10, false}},
         {3, 4, 5, 0, 1, 2}},
        {"a fraction beside a letter as low as its denominator",
         {{0, 20, 10, 10, false},
          {40, 20, 10, 8, false},
          {36, 14, 18, 2, true},
          {40, 0, 10, 10, false},
          {15, 21, 10, 8, false}},
         {0, 4, 3, 2, 1}},
        {"a sum with its limits close above and below, and its term",
         {{10, 0, 8, 8, false},
          {5, 10, 20, 30, false},
          {8, 42, 14, 8, false},
          {30, 18, 8, 12, false}},
         {0, 1, 2, 3}},
        {"a radical over a fraction whose denominator starts further left",
         {{0, 0, 12, 50, false},
          {10, 0, 40, 2, true},
          {22, 5, 10, 15, false},
          {12, 24, 36, 2, true},
          {18, 30, 20, 15, false}},
         {0, 1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        std::vector<ReadingItem> items;
        for (const Box& b : c.boxes)
            items.push_back({QRectF(b.x, b.y, b.w, b.h), b.bar});
        EXPECT_EQ(readingOrder(items), c.order) << c.what;
    }
}

// --- Errors and outputs -------------------------------------------------------

// Every bad input is one line naming it; the good files among them are still
// exported and the status says that something failed.
TEST_F(ExportCli, BadInputsAreReportedAndTheOthersStillExported) {
    const QString good = put(QStringLiteral("good.exp"), expBytes(sampleExpression()));
    const QString short_ = put(QStringLiteral("short.exp"), QByteArray::fromHex("ffff0000"));
    const QString blank = put(QStringLiteral("blank.exp"), QByteArray(6, '\0'));
    QDir(tmp.path()).mkdir(QStringLiteral("folder.exp"));
    const QString folder = at(QStringLiteral("folder.exp"));
    const QString missing = at(QStringLiteral("missing.exp"));
    const QString good2 = put(QStringLiteral("good2.exp"), expBytes(sampleExpression()));

    const RunResult r = run({missing, short_, good, folder, blank, good2});
    EXPECT_EQ(r.status, 1);
    const QStringList lines = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString p = QStringLiteral("corvel-quillmark-export: ");
    EXPECT_EQ(
        lines,
        (QStringList{p + missing + QStringLiteral(": no such file"),
                     p + short_ + QStringLiteral(": not an expression file (") +
                         QString::fromStdString(
                             decodeExpression(reinterpret_cast<const std::uint8_t*>("\xff\xff\0\0"),
                                              4, Expression{})
                                 .message) +
                         QStringLiteral(")"),
                     p + folder + QStringLiteral(": is a folder, not an expression file"),
                     p + blank +
                         QStringLiteral(": empty area: nothing is drawn in the "
                                        "1920 x 984 workspace")}));
    EXPECT_TRUE(QFile::exists(at(QStringLiteral("good.bmp"))));
    EXPECT_TRUE(QFile::exists(at(QStringLiteral("good2.bmp"))));
    EXPECT_FALSE(QFile::exists(at(QStringLiteral("blank.bmp"))));

    const RunResult empty = run({QStringLiteral("--outline=10,10,12,300"), good});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err, p + good +
                             QStringLiteral(": empty area: the outline 10,10,12,300 encloses no "
                                            "pixels\n"));
}

// Nothing is replaced without --force, not even by the run's own outputs;
// the input itself never is.
TEST_F(ExportCli, OutputsAreNeverOverwrittenWithoutForce) {
    const QString exp = put(QStringLiteral("eq.exp"), expBytes(sampleExpression()));
    const QString old = put(QStringLiteral("eq.bmp"), QByteArray("old picture"));
    RunResult r = run({exp});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("corvel-quillmark-export: ") + old +
                         QStringLiteral(": exists (use --force to replace it)\n"));
    EXPECT_EQ(readAll(old), QByteArray("old picture"));
    r = run({QStringLiteral("--force"), exp});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(readAll(old).startsWith("BM"));

    // Two inputs of one name into one folder: the second would replace the
    // first's picture.
    QDir(tmp.path()).mkdir(QStringLiteral("b"));
    Expression single;
    single.AddHLine(300, 100, 200, 12);
    const QString other = put(QStringLiteral("b/eq.exp"), expBytes(single));
    const QString outDir = at(QStringLiteral("out"));
    r = run({QStringLiteral("--force"), QStringLiteral("--out-dir"), outDir, exp, other});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("already written for another input")))
        << r.err.toStdString();
    const QImage kept(QDir(outDir).filePath(QStringLiteral("eq.bmp")));
    EXPECT_GT(kept.width(), 200); // the first input's, wider than the single bar

    const QByteArray before = readAll(exp);
    r = run({QStringLiteral("--force"), QStringLiteral("-o"), exp, exp});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("is the input file itself"))) << r.err.toStdString();
    EXPECT_EQ(readAll(exp), before);
}

// One call paints every input on the same canvas in turn; each picture must
// be what that input gives alone.
TEST_F(ExportCli, ManyInputsInOneCallMatchEachAlone) {
    std::vector<Expression> exprs(3, sampleExpression());
    exprs[1].TextItems.live[0] = VbFalse;
    exprs[1].AddTextItem("Arial", VbFalse, VbTrue, 100, "y", 900, 500, 895, 620, 125);
    exprs[2] = Expression{};
    exprs[2].AddVLine(400, 300, 340, 9);
    QStringList inputs;
    for (std::size_t i = 0; i < exprs.size(); ++i)
        inputs << put(QStringLiteral("m%1.exp").arg(i), expBytes(exprs[i]));
    for (const char* format : {"bmp", "svg"}) {
        const QString together = at(QStringLiteral("together-%1").arg(QLatin1String(format)));
        const QString alone = at(QStringLiteral("alone-%1").arg(QLatin1String(format)));
        const QStringList common{QStringLiteral("--format"), QString::fromLatin1(format),
                                 QStringLiteral("--out-dir")};
        RunResult r = run(common + QStringList{together} + inputs);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        for (const QString& in : inputs) {
            r = run(common + QStringList{alone, in});
            ASSERT_EQ(r.status, 0) << r.err.toStdString();
        }
        for (std::size_t i = 0; i < exprs.size(); ++i) {
            const QString name = QStringLiteral("m%1.%2").arg(i).arg(QLatin1String(format));
            const QByteArray a = readAll(QDir(together).filePath(name));
            EXPECT_FALSE(a.isEmpty());
            EXPECT_EQ(a, readAll(QDir(alone).filePath(name))) << name.toStdString();
        }
    }
}

TEST_F(ExportCli, FailedWritesAreReported) {
    const QString exp = put(QStringLiteral("w.exp"), expBytes(sampleExpression()));
    const QString plain = put(QStringLiteral("plain"), QByteArray("a file, not a folder"));
    const QString target = plain + QStringLiteral("/w.bmp");
    RunResult r = run({QStringLiteral("-o"), target, exp});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("corvel-quillmark-export: ") + target +
                         QStringLiteral(": cannot be written: cannot create a file in its folder "
                                        "(Not a directory)\n"));
    r = run({QStringLiteral("--out-dir"), plain, exp});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(plain + QStringLiteral(": the output folder cannot be made")))
        << r.err.toStdString();
    EXPECT_EQ(readAll(plain), QByteArray("a file, not a folder"));
}

namespace {

// The real program started with arguments given as bytes, as a shell
// passes them; QProcess would take them as text.
RunResult runWithBytes(const std::vector<QByteArray>& args) {
    const QByteArray exe =
        QFile::encodeName(test::buildProgramFolder() + QStringLiteral("/corvel-quillmark-export"));
    std::FILE* err = std::tmpfile();
    RunResult r;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(::fileno(err), 2);
        std::vector<char*> argv{const_cast<char*>(exe.constData())};
        for (const QByteArray& a : args)
            argv.push_back(const_cast<char*>(a.constData()));
        argv.push_back(nullptr);
        ::execv(exe.constData(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    std::rewind(err);
    QByteArray b;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, err)) > 0)
        b.append(buf, static_cast<qsizetype>(n));
    std::fclose(err);
    r.err = QString::fromLatin1(b); // byte for byte, to compare with Latin-1 names
    return r;
}

// The names in a folder as the system stores them.
std::vector<QByteArray> namesIn(const QByteArray& folder) {
    std::vector<QByteArray> names;
    if (DIR* d = ::opendir(folder.constData())) {
        while (const dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.emplace_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

// Names that are not UTF-8 reach the file system byte for byte, in the
// input, in --out-dir and in the messages.
TEST_F(ExportCli, PathsAreTakenByteForByte) {
    const QByteArray base = QFile::encodeName(tmp.path());
    const QByteArray in = base + "/eq-\xe9\xff.exp";
    writeFile(QString::fromLatin1(base + "/plain.exp"), expBytes(sampleExpression()));
    ASSERT_EQ(::rename((base + "/plain.exp").constData(), in.constData()), 0);
    const QByteArray outDir = base + "/out-\xe9";
    RunResult r = runWithBytes({"--out-dir", outDir, in});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(namesIn(base), (std::vector<QByteArray>{"eq-\xe9\xff.exp", "out-\xe9"}));
    EXPECT_EQ(namesIn(outDir), std::vector<QByteArray>{"eq-\xe9\xff.bmp"});

    // A missing input with such a name is named as given.
    r = runWithBytes({base + "/gone-\xe9.exp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QString::fromLatin1("corvel-quillmark-export: " + base +
                                         "/gone-\xe9.exp: no such file\n"));
    // QTemporaryDir cannot name these to remove them.
    ::unlink((outDir + "/eq-\xe9\xff.bmp").constData());
    ::rmdir(outDir.constData());
    ::unlink(in.constData());
}

// A named pipe with no writer is refused at once, not waited on, and a
// socket, which cannot be opened at all, is named for what it is; the other
// inputs are still done.
TEST_F(ExportCli, PipesSocketsAndDevicesAreRefusedWithoutWaiting) {
    const QString fifo = at(QStringLiteral("pipe.exp"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString socketName = at(QStringLiteral("socket.exp"));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(socketName);
    ASSERT_LT(static_cast<std::size_t>(encoded.size()), sizeof address.sun_path);
    std::copy(encoded.begin(), encoded.end(), address.sun_path);
    const int bound = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(bound, 0);
    ASSERT_EQ(::bind(bound, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const QString good = put(QStringLiteral("good.exp"), expBytes(sampleExpression()));
    const QString p = QStringLiteral("corvel-quillmark-export: ");
    const RunResult r = run({fifo, socketName, QStringLiteral("/dev/zero"), good});
    ::close(bound);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.toStdString(),
              (p + fifo + QStringLiteral(": is a named pipe (FIFO), not an expression file\n") + p +
               socketName + QStringLiteral(": is a socket, not an expression file\n") + p +
               QStringLiteral("/dev/zero: is a device, not an expression file\n"))
                  .toStdString());
    EXPECT_TRUE(QFile::exists(at(QStringLiteral("good.bmp"))));
}

// A folder that takes no files (a read-only file system: root may write
// anywhere else) is named in the message with the system's reason.
TEST_F(ExportCli, ReadOnlyOutputFolderIsNamed) {
    QUILLMARK_TINYFS_OR_RERUN();
    test::TinyFilesystem fs(16, 16);
    ASSERT_TRUE(fs.ok()) << fs.error();
    ASSERT_EQ(::mount(nullptr, QFile::encodeName(fs.path()).constData(), nullptr,
                      MS_REMOUNT | MS_RDONLY, nullptr),
              0)
        << std::strerror(errno);
    const QString exp = put(QStringLiteral("r.exp"), expBytes(sampleExpression()));
    const RunResult r = run({QStringLiteral("--out-dir"), fs.path(), exp});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("corvel-quillmark-export: ") + fs.at("r.bmp") +
                         QStringLiteral(": cannot be written: cannot create a file in its folder "
                                        "(Read-only file system)\n"));
}

// --- Formulas ---------------------------------------------------------------

// Several formulas give one file each, numbered; one that cannot be typeset
// is reported with its number and reason and the others are still written.
// A PNG carries the very expression file -o OUT.exp writes.
TEST_F(ExportCli, FormulasAreNumberedAndABadOneIsReported) {
    const QString quadratic = QStringLiteral("x = \\frac{-b \\pm \\sqrt{b^2-4ac}}{2a}");
    RunResult r =
        run({QStringLiteral("--formula"), quadratic, QStringLiteral("--formula"),
             QStringLiteral("\\fract{a}"), QStringLiteral("--formula=e^{i\\pi}"),
             QStringLiteral("--size"), QStringLiteral("50"), QStringLiteral("--format"),
             QStringLiteral("png"), QStringLiteral("--out-dir"), at(QStringLiteral("pics"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("corvel-quillmark-export: formula 2 (\"\\fract{a}\"): "
                                    "unknown command \\fract at 1\n"));
    EXPECT_EQ(QDir(at(QStringLiteral("pics"))).entryList(QDir::Files),
              (QStringList{QStringLiteral("formula-1.png"), QStringLiteral("formula-3.png")}));

    r = run({QStringLiteral("--formula"), quadratic, QStringLiteral("--size"), QStringLiteral("50"),
             QStringLiteral("-o"), at(QStringLiteral("q.exp"))});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    r = run({QStringLiteral("--extract"), at(QStringLiteral("pics/formula-1.png")),
             at(QStringLiteral("back.exp"))});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readAll(at(QStringLiteral("back.exp"))), readAll(at(QStringLiteral("q.exp"))));

    r = run({QStringLiteral("--formula"), QStringLiteral("a"), QStringLiteral("--formula"),
             QStringLiteral("b"), QStringLiteral("-o"), at(QStringLiteral("two.bmp"))});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(at(QStringLiteral("two-1.bmp"))));
    EXPECT_TRUE(QFile::exists(at(QStringLiteral("two-2.bmp"))));

    // A picture past 16000 pixels a side is refused, and nothing written.
    r = run({QStringLiteral("--formula"), QStringLiteral("a \\hspace{50em} b"),
             QStringLiteral("--size"), QStringLiteral("250"), QStringLiteral("-o"),
             at(QStringLiteral("huge.png"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("corvel-quillmark-export: formula 1 (\"a "
                                                "\\hspace{50em} b\"): the formula is ")))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.endsWith(QStringLiteral(" pixels at 250 points; a picture may have at most "
                                              "16000 pixels a side and 67108864 in all\n")))
        << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(at(QStringLiteral("huge.png"))));

    // What the line quotes reaches the terminal escaped: a control
    // character, a byte that is not UTF-8 (given as such on the command line).
    r = run({QStringLiteral("--formula"), QStringLiteral("a\x1b[31m"), QStringLiteral("--formula"),
             QStringLiteral("b") + QChar(0xDCFF), QStringLiteral("-o"),
             at(QStringLiteral("c.bmp"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              QStringLiteral("corvel-quillmark-export: formula 1 (\"a\\x1b[31m\"): character "
                             "\"\\x1b\" is not part of the formula language at 2\n"
                             "corvel-quillmark-export: formula 2 (\"b\\xff\"): invalid "
                             "UTF-8 (byte \\xff) at 2\n"));
}

// The expression file written for a formula opens in the editor with every
// item where the layout put it, from the spot where new items appear, and
// its items move by their handles like any others.
TEST_F(ExportCli, FormulaExpressionOpensInTheEditorWhereTheLayoutPutIt) {
    const char* line = "\\sum_{i=1}^{n} i = \\frac{n(n+1)}{2} \\quad \\sqrt{\\frac{a}{b}}";
    const QString path = at(QStringLiteral("f.exp"));
    const RunResult r =
        run({QStringLiteral("--formula"), QString::fromUtf8(line), QStringLiteral("--size"),
             QStringLiteral("75"), QStringLiteral("-o"), path});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();

    formula::Typesetter typesetter;
    const formula::TypesetFormula f = typesetter.typeset(line, 75);
    ASSERT_TRUE(f.ok);

    test::ScriptedPlatform platform;
    auto w = test::openActiveMainPanel(platform);
    ASSERT_TRUE(w);
    platform.dialogAnswers.emplace_back(path);
    w->mnuOpen->trigger();
    const Expression& e = w->expression;
    ASSERT_EQ(e.textRowCount(), static_cast<std::int32_t>(f.texts.size()));
    ASSERT_EQ(e.hLineRowCount(), static_cast<std::int32_t>(f.bars.size()));
    for (std::size_t i = 0; i < f.texts.size(); ++i) {
        const formula::PlacedText& t = f.texts[i];
        SCOPED_TRACE(t.text);
        EXPECT_EQ(e.TextItems.text[i], t.text);
        EXPECT_EQ(e.TextItems.fontName[i], formula::faceName(t.face));
        EXPECT_EQ(e.TextItems.fontSize[i], t.points);
        EXPECT_EQ(e.TextItems.x[i], t.x + 30);
        EXPECT_EQ(e.TextItems.y[i], t.y + 100);
        EXPECT_EQ(e.TextItems.markerX[i], t.x + 25);
        EXPECT_EQ(e.TextItems.markerY[i], t.y + 100 + t.height - 5);
    }
    for (std::size_t i = 0; i < f.bars.size(); ++i) {
        EXPECT_EQ(e.HLines.y[i], f.bars[i].y + 100);
        EXPECT_EQ(e.HLines.x1[i], f.bars[i].x1 + 30);
        EXPECT_EQ(e.HLines.x2[i], f.bars[i].x2 + 30);
        EXPECT_EQ(e.HLines.width[i], f.bars[i].width);
    }

    // Dragged by its handle, the last text item moves with the pointer (a
    // drag puts the text 4 pixels from the handle, creation 5).
    auto mouse = [&](QEvent::Type type, QPoint p, Qt::MouseButtons held) {
        QMouseEvent ev(type, QPointF(p), w->canvasView->mapToGlobal(QPointF(p)),
                       type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                       Qt::NoModifier);
        QApplication::sendEvent(w->canvasView, &ev);
    };
    const std::size_t last = f.texts.size() - 1;
    const QPoint handle(e.TextItems.markerX[last], e.TextItems.markerY[last]);
    const QPoint to = handle + QPoint(300, 200);
    mouse(QEvent::MouseButtonPress, handle, Qt::LeftButton);
    mouse(QEvent::MouseMove, to, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
    EXPECT_EQ(e.TextItems.x[last], f.texts[last].x + 30 + 300 - 1);
    EXPECT_EQ(e.TextItems.y[last], f.texts[last].y + 100 + 200 - 1);
}
