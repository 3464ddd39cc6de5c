#pragma once
// Reading exported bitmap files back with decoders written elsewhere:
// netpbm's bmptopnm, ImageMagick's convert and Qt's own BMP reader. Each
// gives the picture as 8-bit grey values, top row first.

#include "export/bmpimage.h"

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

namespace quill::test {

struct GreyPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> grey; // row by row from the top
    std::string error;              // empty when decoded
};

// The grey values a decoder must show for a capture: level n is 0x11 * n.
inline GreyPicture expectedGreys(const CapturedImage& image) {
    GreyPicture p;
    p.width = image.width;
    p.height = image.height;
    for (std::int32_t c : image.colours)
        p.grey.push_back(static_cast<std::uint8_t>(0x11 * greyLevel(c)));
    return p;
}

// A binary PGM (P5) or PPM (P6) of maxval 255; a PPM must be grey.
inline GreyPicture parsePnm(const QByteArray& data) {
    GreyPicture p;
    qsizetype at = 0;
    auto skipSpace = [&] {
        while (at < data.size()) {
            if (data[at] == '#') {
                while (at < data.size() && data[at] != '\n')
                    ++at;
            } else if (data[at] == ' ' || data[at] == '\n' || data[at] == '\r' ||
                       data[at] == '\t') {
                ++at;
            } else {
                break;
            }
        }
    };
    auto number = [&] {
        skipSpace();
        long v = 0;
        bool any = false;
        while (at < data.size() && data[at] >= '0' && data[at] <= '9') {
            v = v * 10 + (data[at] - '0');
            any = true;
            ++at;
        }
        return any ? v : -1L;
    };
    if (data.size() < 2 || data[0] != 'P' || (data[1] != '5' && data[1] != '6')) {
        p.error = "not a binary PGM or PPM: " + data.left(40).toStdString();
        return p;
    }
    const int channels = data[1] == '5' ? 1 : 3;
    at = 2;
    const long w = number(), h = number(), maxval = number();
    if (w < 0 || h < 0 || maxval != 255) {
        p.error = "bad PNM header";
        return p;
    }
    ++at; // the single whitespace before the samples
    const qsizetype need = static_cast<qsizetype>(w * h * channels);
    if (data.size() - at < need) {
        p.error = "PNM samples cut short";
        return p;
    }
    p.width = static_cast<int>(w);
    p.height = static_cast<int>(h);
    p.grey.reserve(static_cast<std::size_t>(w * h));
    for (qsizetype i = 0; i < w * h; ++i) {
        const auto* s = reinterpret_cast<const std::uint8_t*>(data.constData() + at + i * channels);
        if (channels == 3 && (s[0] != s[1] || s[1] != s[2])) {
            p.error = "PPM pixel is not grey";
            return p;
        }
        p.grey.push_back(s[0]);
    }
    return p;
}

// Runs a program and returns its standard output; errors go to `error`.
inline QByteArray runDecoder(const QString& program, const QStringList& args, std::string& error) {
    const QString exe = QStandardPaths::findExecutable(program);
    if (exe.isEmpty()) {
        error = program.toStdString() + " is not installed (scripts/setup.sh installs it)";
        return {};
    }
    QProcess proc;
    proc.start(exe, args);
    if (!proc.waitForFinished(60000) || proc.exitStatus() != QProcess::NormalExit ||
        proc.exitCode() != 0) {
        error = program.toStdString() + " failed: " + proc.readAllStandardError().toStdString();
        return {};
    }
    return proc.readAllStandardOutput();
}

inline GreyPicture decodeWithBmptopnm(const QString& path) {
    std::string error;
    const QByteArray out = runDecoder(QStringLiteral("bmptopnm"), {path}, error);
    if (!error.empty())
        return GreyPicture{0, 0, {}, error};
    return parsePnm(out);
}

inline GreyPicture decodeWithImageMagick(const QString& path) {
    std::string error;
    // Debian's own name for ImageMagick 6's convert, so that no other
    // program of that name stands in for it.
    QString program = QStringLiteral("convert-im6.q16");
    if (QStandardPaths::findExecutable(program).isEmpty())
        program = QStringLiteral("convert");
    const QByteArray out = runDecoder(program,
                                      {QStringLiteral("bmp:") + path, QStringLiteral("-depth"),
                                       QStringLiteral("8"), QStringLiteral("pgm:-")},
                                      error);
    if (!error.empty())
        return GreyPicture{0, 0, {}, error};
    return parsePnm(out);
}

inline GreyPicture decodeWithQt(const QString& path) {
    GreyPicture p;
    QImage img;
    if (!img.load(path, "BMP")) {
        p.error = "Qt could not read the file";
        return p;
    }
    p.width = img.width();
    p.height = img.height();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            if (qRed(c) != qGreen(c) || qGreen(c) != qBlue(c)) {
                p.error = "Qt shows a pixel that is not grey";
                return p;
            }
            p.grey.push_back(static_cast<std::uint8_t>(qGreen(c)));
        }
    return p;
}

// Where two pictures first differ, or an empty text when they are equal.
inline std::string firstDifference(const GreyPicture& got, const GreyPicture& want) {
    if (!got.error.empty())
        return got.error;
    if (got.width != want.width || got.height != want.height)
        return "size " + std::to_string(got.width) + "x" + std::to_string(got.height) +
               ", expected " + std::to_string(want.width) + "x" + std::to_string(want.height);
    for (std::size_t i = 0; i < want.grey.size(); ++i)
        if (got.grey[i] != want.grey[i])
            return "pixel (" + std::to_string(i % static_cast<std::size_t>(want.width)) + ", " +
                   std::to_string(i / static_cast<std::size_t>(want.width)) + ") is " +
                   std::to_string(got.grey[i]) + ", expected " + std::to_string(want.grey[i]);
    return {};
}

} // namespace quill::test
