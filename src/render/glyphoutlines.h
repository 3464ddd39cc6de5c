#pragma once
// Text drawn from its glyphs' outlines, the same whatever was drawn before.
//
// Qt draws text of more than 64 pixels by filling its glyphs' outlines,
// which it loads from the FreeType face it shares with every other size of
// the same font file on that thread. When it renders a small size into its
// glyph cache it moves that face's transform by the glyph's subpixel
// position and leaves it there; the next large glyph's outline is loaded
// with that offset (up to three quarters of a font unit), so a large text
// came out a few grey levels apart at its edges depending on which small
// text the thread drew last. The outlines here come from faces of the
// program's own, used for nothing else and never moved, loaded the way Qt
// loads them (hinted at the em size, then scaled to the pixel size in
// 26.6), so that they are Qt's outlines as a fresh thread has them: a text
// depends only on its font, size and string.

#include <QFont>
#include <QPainterPath>
#include <QPointF>
#include <QString>

namespace quill {

// Text up to this many pixels is drawn through Qt's glyph cache, which does
// not depend on what was drawn before; larger text from outlines.
inline constexpr int LargestCachedGlyphPixels = 64;

// Registers a font file for the canvas: with Qt's font database, so that
// the canvas's fonts find it, and with the outline reader. Any scalable
// format FreeType reads (TrueType, OpenType with CFF outlines). Returns
// Qt's id of the font, or -1 when Qt refused the file.
int registerCanvasFont(const QString& path);

// The outline of `text` in `font`, laid out as the canvas lays it out
// (kerning, fallback faces), its baseline starting at `baseline`, in pixels
// with y downwards. Glyphs of a face that was not registered come from Qt.
QPainterPath canvasTextOutline(const QFont& font, const QString& text, QPointF baseline);

} // namespace quill
