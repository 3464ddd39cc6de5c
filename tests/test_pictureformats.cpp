// The exporter's PNG and SVG pictures read by programs written elsewhere:
// the SVG drawn by three renderers that share no code, with no fonts of
// ours in sight, against the PNG of the same area; the PNG decoded by
// libpng-based readers and Qt to the bitmap's grey levels.

#include "bmpdecoders.h"
#include "cli/exportcommand.h"
#include "export/bmpimage.h"
#include "export/deflateruns.h"
#include "filehelpers.h"
#include "files/expcodec.h"
#include "scriptedplatform.h"

#include <QPainter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <zlib.h>

using namespace quill;
using quill::test::GreyPicture;
using quill::test::readAll;
using quill::test::writeFile;

namespace {

class PictureFormats : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir(tmp.path()).mkpath(QStringLiteral("home")));
        // A font configuration that knows no fonts at all.
        writeFile(at(QStringLiteral("fonts.conf")),
                  QByteArray("<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n"));
    }
    QString at(const QString& name) const { return tmp.filePath(name); }

    QString putExpression(const QString& name, const Expression& e) {
        const EncodeResult r = encodeExpression(e);
        EXPECT_TRUE(r.ok);
        writeFile(at(name), QByteArray(reinterpret_cast<const char*>(r.bytes.data()),
                                       static_cast<qsizetype>(r.bytes.size())));
        return at(name);
    }

    // The exporter in this process; its messages are returned on failure.
    std::string exportTo(const QStringList& args) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        const int status = cli::runExportCommand(args, test::buildProgramFolder(), out, err);
        std::rewind(err);
        char buf[1024] = {};
        const std::size_t n = std::fread(buf, 1, sizeof buf - 1, err);
        std::fclose(out);
        std::fclose(err);
        return status == 0 ? std::string()
                           : std::string(buf, n) + " (status " + std::to_string(status) + ")";
    }

    // A renderer run with no fonts of the project (nor any other) visible.
    QByteArray runWithoutFonts(const QString& program, const QStringList& args,
                               std::string& error) {
        const QString exe = QStandardPaths::findExecutable(program);
        if (exe.isEmpty()) {
            error = program.toStdString() + " is not installed (scripts/setup.sh installs it)";
            return {};
        }
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("FONTCONFIG_FILE"), at(QStringLiteral("fonts.conf")));
        env.insert(QStringLiteral("HOME"), at(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), at(QStringLiteral("home")));
        p.setProcessEnvironment(env);
        p.start(exe, args);
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0)
            error = program.toStdString() + " failed: " + p.readAllStandardError().toStdString();
        return p.readAllStandardOutput();
    }

    QTemporaryDir tmp;
};

// A picture file as grey values over white (transparency composed on it).
GreyPicture greysOf(const QImage& loaded, const std::string& what) {
    GreyPicture p;
    if (loaded.isNull()) {
        p.error = what + ": no picture";
        return p;
    }
    QImage img(loaded.size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter(&img).drawImage(0, 0, loaded);
    p.width = img.width();
    p.height = img.height();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            p.grey.push_back(static_cast<std::uint8_t>(qGray(img.pixel(x, y))));
    return p;
}

// The share of pixels whose grey differs by more than 64 levels of 255.
double shareFarApart(const GreyPicture& a, const GreyPicture& b) {
    if (a.width != b.width || a.height != b.height || a.grey.empty())
        return 1.0;
    std::size_t far = 0;
    for (std::size_t i = 0; i < a.grey.size(); ++i)
        far += std::abs(int(a.grey[i]) - int(b.grey[i])) > 64;
    return double(far) / double(a.grey.size());
}

} // namespace

// Every face and style, small and large, the symbol face's symbols and
// Zidezir's minus included: each renderer's SVG drawing agrees with the PNG
// of the same area except for antialiasing. ImageMagick's renderer puts
// pixel centres on whole coordinates, which blurs every edge at 1:1, so it
// draws at four times the size and is scaled down by averaging.
TEST_F(PictureFormats, SvgRenderersDrawWhatThePngShows) {
    struct Case {
        const char* face;
        bool bold, italic;
        int size;
        const char* text;
    };
    const Case cases[] = {
        {"Arial", false, false, 25, "f(x)=3x-2.5 ag"}, {"Arial", true, false, 25, "Wxyz 123 %&"},
        {"Arial", false, true, 100, "y=mx+c"},         {"Arial", true, true, 50, "lim sin"},
        {"MathSymbols", false, false, 25, "!$#abc-W"}, {"MathSymbols", false, false, 150, "SIpq[]"},
        {"MathSymbols", true, false, 50, "!$#abc-W"},  {"Zidezir", false, false, 25, "f(x)=3x-2.5"},
        {"Zidezir", false, false, 250, "ax-1"},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.face) + (c.bold ? " bold" : "") +
                                 (c.italic ? " italic" : "") + " " + std::to_string(c.size);
        Expression e;
        e.AddTextItem(c.face, toVb(c.bold), toVb(c.italic), static_cast<std::int16_t>(c.size),
                      c.text, 60, 200, 55, 260, 60);
        e.AddHLine(180, 50, 400, 3);
        e.AddVLine(30, 150, 300, 6);
        const QString exp = putExpression(QStringLiteral("case.exp"), e);
        const QString png = at(QStringLiteral("case.png")), svg = at(QStringLiteral("case.svg"));
        for (const QString& format : {QStringLiteral("png"), QStringLiteral("svg")}) {
            const std::string err =
                exportTo({QStringLiteral("--force"), QStringLiteral("--format"), format, exp});
            ASSERT_EQ(err, "") << what;
        }
        const GreyPicture want = greysOf(QImage(png), "the PNG");
        ASSERT_EQ(want.error, "") << what;
        const QByteArray svgText = readAll(svg);
        ASSERT_FALSE(svgText.contains("<text")) << what;
        ASSERT_FALSE(svgText.contains("font-family")) << what;

        QSvgRenderer qt(svgText);
        ASSERT_TRUE(qt.isValid()) << what;
        QImage drawn(want.width, want.height, QImage::Format_ARGB32);
        drawn.fill(Qt::transparent);
        {
            QPainter p(&drawn);
            qt.render(&p);
        }
        EXPECT_LE(shareFarApart(greysOf(drawn, "Qt"), want), 0.01) << "QSvgRenderer, " << what;

        std::string error;
        runWithoutFonts(QStringLiteral("rsvg-convert"),
                        {QStringLiteral("-o"), at(QStringLiteral("rsvg.png")), svg}, error);
        ASSERT_EQ(error, "") << what;
        EXPECT_LE(shareFarApart(greysOf(QImage(at(QStringLiteral("rsvg.png"))), "rsvg"), want),
                  0.01)
            << "rsvg-convert, " << what;

        // ImageMagick 6's own SVG reader (MSVG), never a delegate.
        QString convert = QStringLiteral("convert-im6.q16");
        if (QStandardPaths::findExecutable(convert).isEmpty())
            convert = QStringLiteral("convert");
        runWithoutFonts(convert,
                        {QStringLiteral("-density"), QStringLiteral("384"),
                         QStringLiteral("MSVG:") + svg, QStringLiteral("-scale"),
                         QStringLiteral("25%"), at(QStringLiteral("im.png"))},
                        error);
        ASSERT_EQ(error, "") << what;
        EXPECT_LE(shareFarApart(greysOf(QImage(at(QStringLiteral("im.png"))), "IM"), want), 0.01)
            << "ImageMagick, " << what;
    }
}

// The PNG is a 4-bit palette picture whose pixels libpng-based readers
// (netpbm's pngtopnm, Python's PIL) and Qt's reader show as the bitmap's 16
// grey levels, at odd and even widths.
TEST_F(PictureFormats, PngDecodersShowTheBitmapsLevels) {
    Expression e;
    e.AddTextItem("Zidezir", VbFalse, VbFalse, 75, "f(x)=3x-2.5", 60, 200, 55, 260, 60);
    e.AddTextItem("MathSymbols", VbTrue, VbFalse, 25, "!$#abc", 400, 300, 395, 330, 30);
    e.AddHLine(280, 50, 400, 9);
    const QString exp = putExpression(QStringLiteral("d.exp"), e);
    for (const QString& outline :
         {QStringLiteral("20,100,521,400"), QStringLiteral("-10,90,60,150")}) {
        for (const QString& format : {QStringLiteral("png"), QStringLiteral("bmp")}) {
            ASSERT_EQ(exportTo({QStringLiteral("--force"), QStringLiteral("--outline"), outline,
                                QStringLiteral("--format"), format, exp}),
                      "");
        }
        const QString png = at(QStringLiteral("d.png"));
        const GreyPicture want = test::decodeWithQt(at(QStringLiteral("d.bmp")));
        ASSERT_EQ(want.error, "");
        const QByteArray bytes = readAll(png);
        ASSERT_GT(bytes.size(), 26);
        EXPECT_EQ(int(bytes[24]), 4) << "bit depth";
        EXPECT_EQ(int(bytes[25]), 3) << "colour type: palette";

        std::string error;
        const QByteArray pnm = test::runDecoder(QStringLiteral("pngtopnm"), {png}, error);
        ASSERT_EQ(error, "");
        EXPECT_EQ(test::firstDifference(test::parsePnm(pnm), want), "")
            << "pngtopnm " << outline.toStdString();

        const QByteArray pgm = test::runDecoder(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sys\nfrom PIL import Image\n"
                            "im = Image.open(sys.argv[1]); assert im.mode == 'P', im.mode\n"
                            "g = im.convert('L')\n"
                            "sys.stdout.buffer.write(b'P5 %d %d 255\\n' % g.size + g.tobytes())"),
             png},
            error);
        ASSERT_EQ(error, "");
        EXPECT_EQ(test::firstDifference(test::parsePnm(pgm), want), "")
            << "PIL " << outline.toStdString();

        QImage qt;
        ASSERT_TRUE(qt.load(png, "PNG"));
        EXPECT_EQ(test::firstDifference(greysOf(qt, "Qt"), want), "")
            << "Qt " << outline.toStdString();
    }
}

// The picture coder's streams, inflated by zlib, give back every byte: runs
// on both sides of the longest match (258), bytes of every value, and
// frequencies so skewed that the plain Huffman tree is deeper than deflate
// allows.
TEST(DeflateRuns, ZlibInflatesWhatItCodes) {
    auto runs = [](std::initializer_list<std::size_t> lengths) {
        std::vector<std::uint8_t> v;
        std::uint8_t b = 0;
        for (std::size_t n : lengths)
            v.insert(v.end(), n, b++);
        return v;
    };
    std::vector<std::uint8_t> everyByte(256), skewed, noise(20000);
    for (int i = 0; i < 256; ++i)
        everyByte[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    for (std::size_t a = 1, b = 1, s = 0; s < 24; ++s, std::swap(a, b), b += a)
        skewed.insert(skewed.end(), a, static_cast<std::uint8_t>(s));
    std::uint32_t seed = 1;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (std::size_t i = skewed.size() - 1; i > 0; --i) // shuffled: bytes, not runs
        std::swap(skewed[i], skewed[(next() >> 8) % (i + 1)]);
    for (auto& x : noise)
        x = static_cast<std::uint8_t>(next() >> 28);
    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> cases = {
        {"one byte", {7}},
        {"short runs", runs({1, 2, 3, 4, 5})},
        {"around the longest match", runs({258, 259, 260, 261, 262, 263, 516, 517, 518, 519})},
        {"a long run", std::vector<std::uint8_t>(100000, 0)},
        {"every byte", everyByte},
        {"skewed", skewed},
        {"noise", noise},
    };
    for (const auto& [what, data] : cases) {
        std::vector<std::uint8_t> coded;
        deflateRuns(data.data(), data.size(), coded);
        std::vector<std::uint8_t> back(data.size() + 1);
        uLongf size = static_cast<uLongf>(back.size());
        ASSERT_EQ(uncompress(back.data(), &size, coded.data(), static_cast<uLong>(coded.size())),
                  Z_OK)
            << what;
        back.resize(size);
        EXPECT_EQ(back, data) << what;
    }
}
