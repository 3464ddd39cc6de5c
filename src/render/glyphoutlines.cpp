#include "render/glyphoutlines.h"

#include <QFile>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>
#include <ft2build.h>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>
#include FT_FREETYPE_H
#include FT_MODULE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

namespace quill {

namespace {

// A face of a registered font file. Its 'head' table tells it apart from
// the others when Qt hands out a glyph run in it (a face without one, bare
// CFF or Type 1, by its names).
struct RegisteredFace {
    QByteArray file; // shared, never written again
    FT_Long index = 0;
    QByteArray head;
    QString family;
    QString style;
    bool italic = false;
};

std::mutex registryLock;
std::vector<std::shared_ptr<const RegisteredFace>>& registry() {
    static std::vector<std::shared_ptr<const RegisteredFace>> faces;
    return faces;
}

QByteArray sfntTable(FT_Face face, FT_ULong tag) {
    FT_ULong length = 0;
    if (FT_Load_Sfnt_Table(face, tag, 0, nullptr, &length) != 0 || length == 0)
        return {};
    QByteArray table(static_cast<qsizetype>(length), '\0');
    if (FT_Load_Sfnt_Table(face, tag, 0, reinterpret_cast<FT_Byte*>(table.data()), &length) != 0)
        return {};
    return table;
}

// Outlines hinted at the em size, before scaling: a glyph's shape is the
// same at every pixel size, so it is loaded once per thread.
struct GlyphShape {
    std::vector<FT_Vector> points;
    std::vector<char> tags;
    std::vector<int> contourEnds;
    FT_UShort unitsPerEm = 0;
};

// Each thread has FreeType faces of its own: FreeType objects are not to be
// shared between threads, and a face used for nothing but these outlines
// is never moved or resized by anyone else.
class ThreadFaces {
public:
    ThreadFaces() {
        if (FT_Init_FreeType(&m_library) != 0) {
            m_library = nullptr;
            return;
        }
        // As Qt's own library: CFF outlines with stem darkening.
        FT_Bool noDarkening = false;
        FT_Property_Set(m_library, "cff", "no-stem-darkening", &noDarkening);
    }
    ~ThreadFaces() {
        for (const Face& f : m_faces)
            if (f.face)
                FT_Done_Face(f.face);
        if (m_library)
            FT_Done_FreeType(m_library);
    }
    ThreadFaces(const ThreadFaces&) = delete;
    ThreadFaces& operator=(const ThreadFaces&) = delete;

    // The shape of a glyph of registered face `entry`, slanted as Qt slants
    // italic text in a face that has none; null when it has no outline.
    const GlyphShape* shape(const std::shared_ptr<const RegisteredFace>& entry, quint32 glyph,
                            bool oblique) {
        FT_Face face = faceOf(entry);
        if (!face)
            return nullptr;
        const std::uint64_t key = (std::uint64_t(m_faceNumber[entry.get()]) << 33) |
                                  (std::uint64_t(glyph) << 1) | (oblique ? 1u : 0u);
        if (auto it = m_shapes.find(key); it != m_shapes.end())
            return it->second.points.empty() && it->second.contourEnds.empty() ? nullptr
                                                                               : &it->second;
        if (m_shapes.size() > 16384)
            m_shapes.clear();
        GlyphShape& out = m_shapes[key];
        // The size is set afresh for each glyph, so that hinting starts from
        // the font's own state every time, whatever glyph went before.
        const FT_UShort em = face->units_per_EM;
        if (FT_Set_Char_Size(face, FT_F26Dot6(em) << 6, FT_F26Dot6(em) << 6, 0, 0) != 0 ||
            FT_Load_Glyph(face, glyph, FT_LOAD_NO_BITMAP) != 0 ||
            face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
            return nullptr;
        if (oblique)
            FT_GlyphSlot_Oblique(face->glyph);
        const FT_Outline& o = face->glyph->outline;
        out.unitsPerEm = em;
        out.points.assign(o.points, o.points + o.n_points);
        out.tags.assign(o.tags, o.tags + o.n_points);
        for (int c = 0; c < o.n_contours; ++c)
            out.contourEnds.push_back(o.contours[c]);
        return out.points.empty() ? nullptr : &out;
    }

private:
    struct Face {
        std::shared_ptr<const RegisteredFace> entry; // keeps the file's bytes
        FT_Face face = nullptr;
    };

    FT_Face faceOf(const std::shared_ptr<const RegisteredFace>& entry) {
        if (!m_library)
            return nullptr;
        if (auto it = m_faceNumber.find(entry.get()); it != m_faceNumber.end())
            return m_faces[it->second].face;
        Face f{entry, nullptr};
        if (FT_New_Memory_Face(m_library, reinterpret_cast<const FT_Byte*>(entry->file.constData()),
                               static_cast<FT_Long>(entry->file.size()), entry->index,
                               &f.face) != 0)
            f.face = nullptr;
        m_faceNumber[entry.get()] = static_cast<std::uint32_t>(m_faces.size());
        m_faces.push_back(f);
        return f.face;
    }

    FT_Library m_library = nullptr;
    std::vector<Face> m_faces;
    std::unordered_map<const RegisteredFace*, std::uint32_t> m_faceNumber;
    std::unordered_map<std::uint64_t, GlyphShape> m_shapes;
};

ThreadFaces& threadFaces() {
    thread_local ThreadFaces faces;
    return faces;
}

std::shared_ptr<const RegisteredFace> registeredFaceOf(const QRawFont& raw) {
    const QByteArray head = raw.fontTable("head");
    const std::lock_guard<std::mutex> hold(registryLock);
    for (const auto& entry : registry()) {
        if (head.isEmpty() ? (entry->head.isEmpty() && entry->family == raw.familyName() &&
                              entry->style == raw.styleName())
                           : entry->head == head)
            return entry;
    }
    return nullptr;
}

// Appends a glyph's contours, scaled from the em size to `size` (26.6
// pixels) as FreeType scales (16.16 factors, rounded to 26.6), at `at`.
// Lines stay lines; a quadratic arc becomes the cubic with the same curve,
// and two off-curve points in a row have their midpoint on the curve, as
// TrueType and CFF outlines mean them.
void appendShape(QPainterPath& path, const GlyphShape& g, FT_F26Dot6 size, QPointF at) {
    const FT_Fixed scale = FT_MulDiv(size, 1 << 10, g.unitsPerEm);
    auto point = [&](int i) {
        const FT_Vector& p = g.points[static_cast<std::size_t>(i)];
        return at + QPointF(static_cast<double>(FT_MulFix(p.x, scale)) / 64.0,
                            -static_cast<double>(FT_MulFix(p.y, scale)) / 64.0);
    };
    auto onCurve = [&](int i) { return (g.tags[static_cast<std::size_t>(i)] & 1) != 0; };
    auto cubicControl = [&](int i) { return (g.tags[static_cast<std::size_t>(i)] & 3) == 2; };
    auto arcTo = [&path](QPointF from, QPointF control, QPointF to) {
        path.cubicTo((2 * control + from) / 3, (2 * control + to) / 3, to);
    };
    int first = 0;
    for (const int last : g.contourEnds) {
        if (last < first || last >= static_cast<int>(g.points.size()))
            break;
        // Where the contour begins and ends: its first point when that is
        // on the curve, else its last, else the midpoint of the two.
        QPointF start;
        int next = first;
        if (onCurve(first)) {
            start = point(first);
            next = first + 1;
        } else if (onCurve(last)) {
            start = point(last);
        } else {
            start = (point(first) + point(last)) / 2;
        }
        path.moveTo(start);
        QPointF from = start;
        QPointF control[2];
        int pending = 0; // off-curve points since `from`
        for (int i = next; i <= last; ++i) {
            const QPointF p = point(i);
            if (onCurve(i)) {
                if (pending == 0)
                    path.lineTo(p);
                else if (pending == 1)
                    arcTo(from, control[0], p);
                else
                    path.cubicTo(control[0], control[1], p);
                from = p;
                pending = 0;
            } else if (pending == 2 && cubicControl(i)) {
                const QPointF mid = (control[1] + p) / 2;
                path.cubicTo(control[0], control[1], mid);
                from = mid;
                control[0] = p;
                pending = 1;
            } else if (pending == 1 && !cubicControl(i)) {
                const QPointF mid = (control[0] + p) / 2;
                arcTo(from, control[0], mid);
                from = mid;
                control[0] = p;
            } else if (pending < 2) {
                control[pending++] = p;
            }
        }
        if (pending == 0)
            path.closeSubpath();
        else if (pending == 1)
            arcTo(from, control[0], start);
        else
            path.cubicTo(control[0], control[1], start);
        first = last + 1;
    }
}

} // namespace

int registerCanvasFont(const QString& path) {
    const int id = QFontDatabase::addApplicationFont(path);
    if (id < 0)
        return id;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return id;
    const QByteArray bytes = file.readAll();
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0)
        return id;
    FT_Long faces = 1;
    for (FT_Long index = 0; index < faces; ++index) {
        FT_Face face = nullptr;
        if (FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(bytes.constData()),
                               static_cast<FT_Long>(bytes.size()), index, &face) != 0)
            break;
        faces = face->num_faces;
        if (FT_IS_SCALABLE(face)) {
            auto entry = std::make_shared<RegisteredFace>();
            entry->file = bytes;
            entry->index = index;
            entry->head = sfntTable(face, TTAG_head);
            entry->family = QString::fromUtf8(face->family_name ? face->family_name : "");
            entry->style = QString::fromUtf8(face->style_name ? face->style_name : "");
            entry->italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
            const std::lock_guard<std::mutex> hold(registryLock);
            bool known = false;
            for (const auto& e : registry())
                known = known || (e->file == entry->file && e->index == entry->index);
            if (!known)
                registry().push_back(std::move(entry));
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return id;
}

QPainterPath canvasTextOutline(const QFont& font, const QString& text, QPointF baseline) {
    QPainterPath out;
    out.setFillRule(Qt::WindingFill);
    QTextLayout layout(text, font);
    layout.setCacheEnabled(false);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return out;
    const QPointF origin = baseline - QPointF(0, line.ascent());
    ThreadFaces& faces = threadFaces();
    // Runs in the order they stand on the line: Qt hands them out grouped
    // by font in an order of its own, which differs from process to process.
    QList<QGlyphRun> runs = layout.glyphRuns();
    auto left = [](const QGlyphRun& r) {
        return r.positions().isEmpty() ? 0.0 : r.positions().constFirst().x();
    };
    std::stable_sort(runs.begin(), runs.end(),
                     [&](const QGlyphRun& a, const QGlyphRun& b) { return left(a) < left(b); });
    for (const QGlyphRun& run : runs) {
        const QRawFont raw = run.rawFont();
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        const auto entry = registeredFaceOf(raw);
        const bool oblique = entry && raw.style() != QFont::StyleNormal && !entry->italic;
        const auto size = static_cast<FT_F26Dot6>(qRound(raw.pixelSize() * 64));
        for (qsizetype i = 0; i < glyphs.size() && i < positions.size(); ++i) {
            const QPointF at = origin + positions[i];
            if (!entry) {
                out.addPath(raw.pathForGlyph(glyphs[i]).translated(at));
                continue;
            }
            if (const GlyphShape* shape = faces.shape(entry, glyphs[i], oblique))
                appendShape(out, *shape, size, at);
        }
    }
    return out;
}

} // namespace quill
