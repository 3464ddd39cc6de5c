#include "app/selectioncontroller.h"

#include "app/canvasview.h"
#include "app/mainpanel.h"
#include "app/widgets.h"
#include "export/capture.h"
#include "export/expressioncanvas.h"
#include "export/pictureformats.h"
#include "render/layers.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>

namespace quill {

namespace {

constexpr int MarkerHalf = 4;
constexpr int BoxGap = 3; // between the selection's frame and what it holds

bool isArrowOrModifier(int key) {
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
        return true;
    default:
        return false;
    }
}

} // namespace

SelectionController::SelectionController(MainPanel& panel) : QObject(nullptr), m_panel(panel) {
    buildActions();
    // The typing box's keys pass here first.
    auto typingKeyDown = panel.Picture4->onKeyDown;
    panel.Picture4->onKeyDown = [this, typingKeyDown](QKeyEvent* e) {
        if (!keyDown(e) && typingKeyDown)
            typingKeyDown(e);
    };
    // On the canvas, keys act as in the typing box (in text mode they type
    // into the line), and Tab walks through the items.
    if (auto* view = qobject_cast<CanvasView*>(panel.canvasView)) {
        view->onKeyDown = [this](QKeyEvent* e) {
            if (m_panel.Picture4->onKeyDown)
                m_panel.Picture4->onKeyDown(e);
        };
        view->onKeyUp = [this](QKeyEvent* e) {
            if (m_panel.Picture4->onKeyUp)
                m_panel.Picture4->onKeyUp(e);
        };
        view->onTab = [this](bool forward, bool extend) { return tab(forward, extend); };
        view->setFocusMarkTop(panel.Picture1->geometry().bottom() + 1);
    }
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

SelectionController::~SelectionController() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

void SelectionController::buildActions() {
    QMenu* edit = m_panel.mnuEdit;
    auto make = [this](const QString& text, void (SelectionController::*click)()) {
        auto* a = new QAction(text, m_panel.mnuEdit);
        connect(a, &QAction::triggered, this, [this, click] { (this->*click)(); });
        return a;
    };
    mnuCut = make(QStringLiteral("Cu&t"), &SelectionController::Cut_Click);
    mnuCut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    edit->insertAction(m_panel.mnuCopy, mnuCut);

    mnuDuplicate = make(QStringLiteral("&Duplicate"), &SelectionController::Duplicate_Click);
    mnuDuplicate->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    mnuDelete = make(QStringLiteral("D&elete"), &SelectionController::Delete_Click);
    mnuSelectAll = make(QStringLiteral("Select &All"), &SelectionController::SelectAll_Click);
    // Delete and Ctrl+A belong to the canvas and the typing box (Delete
    // arms delete-on-click while it is held; a focused field keeps Ctrl+A):
    // the menu shows them, the keys are taken there.
    mnuDelete->setShortcut(QKeySequence(QKeySequence::Delete));
    mnuDelete->setShortcutContext(Qt::WidgetShortcut);
    mnuSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    mnuSelectAll->setShortcutContext(Qt::WidgetShortcut);

    mnuAlign = new QMenu(QStringLiteral("A&lign"), edit);
    const std::pair<const char*, Alignment> aligns[] = {
        {"&Left", Alignment::Left},        {"&Centre", Alignment::Centre},
        {"&Right", Alignment::Right},      {"&Top", Alignment::Top},
        {"&Middle", Alignment::Middle},    {"&Bottom", Alignment::Bottom},
        {"B&aseline", Alignment::Baseline}};
    for (std::size_t i = 0; i < mnuAlignBy.size(); ++i) {
        const Alignment how = aligns[i].second;
        mnuAlignBy[i] = mnuAlign->addAction(QString::fromLatin1(aligns[i].first));
        connect(mnuAlignBy[i], &QAction::triggered, this, [this, how] { Align_Click(how); });
    }
    mnuAlign->addSeparator();
    mnuCentreOnLine = mnuAlign->addAction(QStringLiteral("Centre &on Line"));
    connect(mnuCentreOnLine, &QAction::triggered, this, [this] { CentreOnLine_Click(); });

    mnuOutlineSelection =
        make(QStringLiteral("&Outline Selection"), &SelectionController::OutlineSelection_Click);
    mnuOutlineAll = make(QStringLiteral("Outli&ne All"), &SelectionController::OutlineAll_Click);

    // After Paste: Duplicate, Delete; then the selection's own group.
    const QList<QAction*> all = edit->actions();
    const qsizetype paste = all.indexOf(m_panel.mnuPaste);
    QAction* after = paste >= 0 && paste + 1 < all.size() ? all[paste + 1] : nullptr;
    edit->insertAction(after, mnuDuplicate);
    edit->insertAction(after, mnuDelete);
    edit->insertSeparator(after);
    edit->insertAction(after, mnuSelectAll);
    edit->insertMenu(after, mnuAlign);
    edit->insertSeparator(after);
    edit->insertAction(after, mnuOutlineSelection);
    edit->insertAction(after, mnuOutlineAll);
}

// --- State -----------------------------------------------------------------

Expression SelectionController::selectedExpression() const {
    return selectedItems(m_panel.expression, m_selection);
}

void SelectionController::changed() {
    m_box.reset();
    m_nudgeRun = false;
    m_tabFromStart = false;
}

void SelectionController::clear() {
    m_gesture = Gesture::None;
    m_band = QRect();
    m_bandBase.clear();
    m_selection.clear();
    changed();
}

void SelectionController::selectAppended(RowCounts before) {
    m_selection.selectAppended(before, m_panel.expression);
    changed();
}

void SelectionController::select(const Selection& items) {
    m_selection = items;
    prune();
    changed();
    m_panel.Redraw();
}

void SelectionController::prune() {
    if (m_selection.prune(m_panel.expression))
        changed();
}

bool SelectionController::editable() const {
    return m_panel.imageSet == VbFalse && m_panel.canvasButtonDown == VbFalse;
}

QRect SelectionController::visibleCanvas() const {
    QRect area = m_panel.canvas.image().rect();
    if (m_panel.canvasView->isVisible())
        area &= m_panel.canvasView->rect();
    area.setTop(std::max(area.top(), m_panel.Picture1->geometry().bottom() + 1));
    return area;
}

// --- The mouse ---------------------------------------------------------------

bool SelectionController::press(int shift, bool deleted) {
    m_deletePending = false;
    m_nudgeRun = false;
    m_gesture = Gesture::None;
    const ItemRef hit{m_panel.hitKind, m_panel.hitRow};
    if (deleted) {
        if (m_selection.remove(hit))
            changed();
        return false;
    }
    const bool adding = (shift & 3) != 0; // Shift or Ctrl
    if (hit.kind == hitkind::None) {
        // Empty canvas: a rubber band, adding to the selection with Shift
        // or Ctrl, else in its place.
        m_gesture = Gesture::Band;
        m_bandFrom = QPoint(m_panel.Xloc, m_panel.Yloc);
        m_band = QRect();
        m_bandBase = adding ? m_selection : Selection{};
        if (!adding && m_selection.clear())
            changed();
        return true;
    }
    if (adding) {
        m_selection.toggle(hit);
        changed();
        m_gesture = Gesture::Toggle;
        return true;
    }
    if (m_selection.contains(hit)) {
        // A line's end handle stretches that line alone.
        if (!carriesItem(hit.kind, m_panel.hitHandle))
            return false;
        prune();
        m_gesture = Gesture::Move;
        m_moveFrom = carryingHandle(m_panel.expression, hit);
        m_moveBounds = offsetBounds(m_panel.expression, m_selection, visibleCanvas());
        m_moved = QPoint();
        return true;
    }
    // A plain press on another item drags that item alone, as ever.
    if (m_selection.clear())
        changed();
    return false;
}

bool SelectionController::drag(std::int16_t x, std::int16_t y) {
    switch (m_gesture) {
    case Gesture::Move: {
        const QPoint to = m_moveBounds.clamp(QPoint(x, y) - m_moveFrom);
        const QPoint step = to - m_moved;
        if (!step.isNull()) {
            translateItems(m_panel.expression, m_selection, step.x(), step.y());
            if (m_box)
                m_box->translate(step);
            m_moved = to;
        }
        return true;
    }
    case Gesture::Band: {
        m_band = QRect(QPoint(std::min<int>(m_bandFrom.x(), x), std::min<int>(m_bandFrom.y(), y)),
                       QPoint(std::max<int>(m_bandFrom.x(), x), std::max<int>(m_bandFrom.y(), y)));
        Selection s = m_bandBase;
        s.unite(itemsInside(m_panel.expression, m_band));
        if (!(s == m_selection)) {
            m_selection = std::move(s);
            changed();
        }
        return true;
    }
    case Gesture::Toggle:
        return true;
    case Gesture::None:
        break;
    }
    // A selected line stretched by an end: its frame changes.
    if (m_selection.contains({m_panel.hitKind, m_panel.hitRow}))
        m_box.reset();
    return false;
}

bool SelectionController::release() {
    const Gesture g = m_gesture;
    m_gesture = Gesture::None;
    m_band = QRect();
    m_bandBase.clear();
    return g == Gesture::Move && !m_moved.isNull();
}

// --- Keys ----------------------------------------------------------------------

bool SelectionController::keyDown(QKeyEvent* e) {
    const Qt::KeyboardModifiers mods = e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                                         Qt::AltModifier | Qt::MetaModifier);
    switch (e->key()) {
    case Qt::Key_Escape:
        if (mods == Qt::NoModifier)
            Deselect_Click();
        return false; // the window ignores it as ever
    case Qt::Key_A:
        // Not while a line is typed: the keys are the line's then.
        if (mods != Qt::ControlModifier || m_panel.chkText->value() == 1)
            return false;
        SelectAll_Click();
        return true;
    case Qt::Key_Delete:
        if (!e->isAutoRepeat())
            m_deletePending = true;
        return false; // it arms delete-on-click as ever
    default:
        return false;
    }
}

bool SelectionController::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (!isArrowOrModifier(static_cast<QKeyEvent*>(event)->key()))
            m_nudgeRun = false;
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        m_nudgeRun = false;
        break;
    default:
        break;
    }
    return false;
}

bool SelectionController::nudge(int dx, int dy) {
    if (m_panel.imageSet != VbFalse)
        return false;
    prune();
    if (m_selection.empty())
        return false;
    if (m_panel.canvasButtonDown != VbFalse)
        return true; // not in the middle of a drag
    const QPoint d =
        offsetBounds(m_panel.expression, m_selection, visibleCanvas()).clamp(QPoint(dx, dy));
    if (d.isNull())
        return true;
    // A run of presses is one step: this one joins the last while nothing
    // else has happened since.
    const bool joins = m_nudgeRun && m_panel.history.undoSteps() == m_nudgeSteps &&
                       !m_panel.history.canRedo() &&
                       m_panel.changeTracker.current() == m_nudgeRevision;
    translateItems(m_panel.expression, m_selection, d.x(), d.y());
    const bool boxKept = m_box && m_boxRevision == m_panel.changeTracker.current();
    if (m_box)
        m_box->translate(d);
    m_panel.Redraw();
    m_panel.expressionChanged(joins);
    m_nudgeRun = true;
    m_nudgeSteps = m_panel.history.undoSteps();
    m_nudgeRevision = m_panel.changeTracker.current();
    if (boxKept)
        m_boxRevision = m_nudgeRevision; // moved with the items
    return true;
}

void SelectionController::deleteKeyReleased() {
    const bool pending = m_deletePending;
    m_deletePending = false;
    if (pending && !m_selection.empty())
        Delete_Click();
}

bool SelectionController::tab(bool forward, bool extend) {
    if (m_panel.imageSet != VbFalse)
        return false;
    if (m_panel.canvasButtonDown != VbFalse)
        return true;
    prune();
    const std::optional<ItemRef> next =
        neighbourItem(m_panel.expression, m_selection, forward, m_tabFromStart);
    if (!next) {
        // Past the last item the focus moves on; coming back, Tab starts
        // from the first.
        m_tabFromStart = true;
        return false;
    }
    if (!extend)
        m_selection.clear();
    m_selection.add(*next);
    changed();
    m_panel.Redraw();
    return true;
}

// --- Commands ----------------------------------------------------------------

void SelectionController::SelectAll_Click() {
    if (m_panel.canvasButtonDown != VbFalse || m_panel.chkText->value() == 1)
        return;
    m_selection.selectAll(m_panel.expression);
    changed();
    m_panel.Redraw();
}

void SelectionController::Deselect_Click() {
    if (m_panel.canvasButtonDown != VbFalse)
        return;
    if (m_selection.clear()) {
        changed();
        m_panel.Redraw();
    }
}

void SelectionController::Delete_Click() {
    if (!editable())
        return;
    prune();
    if (m_selection.empty())
        return;
    deleteItems(m_panel.expression, m_selection);
    m_selection.clear();
    changed();
    m_panel.Redraw();
    m_panel.expressionChanged();
}

void SelectionController::Cut_Click() {
    if (!editable())
        return;
    prune();
    if (m_selection.empty())
        return;
    m_panel.Copy_Click();
    Delete_Click();
}

void SelectionController::Duplicate_Click() {
    if (!editable())
        return;
    prune();
    if (m_selection.empty())
        return;
    const QPoint offset = offsetBounds(m_panel.expression, m_selection, visibleCanvas())
                              .clamp(QPoint(DuplicateOffset, DuplicateOffset));
    Selection copies;
    if (!appendCopies(m_panel.expression, m_selection, offset, copies))
        return; // would not fit: the expression stays as it was
    m_selection = std::move(copies);
    changed();
    m_panel.Redraw();
    m_panel.expressionChanged();
}

std::vector<ItemInk> SelectionController::inksOf(const std::vector<ItemRef>& items,
                                                 bool baselines) {
    std::vector<ItemInk> out;
    out.reserve(items.size());
    const Expression& e = m_panel.expression;
    for (const ItemRef item : items) {
        ItemInk ink{item, itemInk(m_panel.canvas, e, item), std::nullopt};
        if (item.kind == hitkind::Text) {
            const auto r = static_cast<std::size_t>(item.row);
            if (ink.ink.isEmpty()) // no ink: the corner the text starts at
                ink.ink = QRect(e.TextItems.x[r], e.TextItems.y[r], 1, 1);
            if (baselines)
                ink.baseline = textItemBaseline(e, r);
        }
        out.push_back(ink);
    }
    return out;
}

void SelectionController::moveEach(const std::vector<ItemInk>& items,
                                   const std::vector<QPoint>& offsets) {
    bool moved = false;
    for (std::size_t k = 0; k < items.size() && k < offsets.size(); ++k) {
        if (offsets[k].isNull())
            continue;
        translateItem(m_panel.expression, items[k].item, offsets[k].x(), offsets[k].y());
        moved = true;
    }
    if (!moved)
        return;
    m_box.reset();
    m_nudgeRun = false;
    m_panel.Redraw();
    m_panel.expressionChanged();
}

void SelectionController::Align_Click(Alignment how) {
    if (!editable())
        return;
    prune();
    if (m_selection.size() < 2)
        return;
    const std::vector<ItemInk> inks = inksOf(m_selection.items(), how == Alignment::Baseline);
    moveEach(inks, alignmentOffsets(inks, how));
}

void SelectionController::CentreOnLine_Click() {
    if (!editable())
        return;
    prune();
    const auto& lines = m_selection.rows(hitkind::HLine);
    const auto& texts = m_selection.rows(hitkind::Text);
    if (lines.size() != 1 || texts.empty())
        return;
    std::vector<ItemRef> items;
    for (const std::int32_t r : texts)
        items.push_back({hitkind::Text, r});
    const std::vector<ItemInk> inks = inksOf(items, false);
    moveEach(inks, centreOnLineOffsets(inks, m_panel.expression, lines.front()));
}

void SelectionController::outlineItems(const std::vector<ItemRef>& items) {
    if (m_panel.imageSet == VbFalse || m_panel.outlineDragging != VbFalse)
        return;
    // The ink as the frozen copy shows it: the pixels inside each item's
    // box that pack to a grey other than white, the exporter's test.
    const QImage& copy = m_panel.picture6Copy;
    std::optional<QRect> ink;
    for (const ItemRef item : items) {
        const QRect box = itemInk(m_panel.canvas, m_panel.expression, item)
                              .translated(0, -WorkspaceTop)
                              .intersected(copy.rect());
        if (box.isEmpty())
            continue;
        if (const std::optional<QRect> found = greyInkBounds(copy, box))
            ink = ink ? ink->united(*found) : *found;
    }
    if (!ink)
        return;
    const OutlineCorners c =
        outlineAround(ink->left(), ink->top(), ink->right(), ink->bottom(), OutlineMargin);
    m_panel.outlineX1 = c.x1;
    m_panel.outlineY1 = c.y1;
    m_panel.outlineX2 = c.x2;
    m_panel.outlineY2 = c.y2;
    m_panel.DrawOutline();
}

void SelectionController::OutlineSelection_Click() {
    prune();
    if (!m_selection.empty())
        outlineItems(m_selection.items());
}

void SelectionController::OutlineAll_Click() {
    Selection all;
    all.selectAll(m_panel.expression);
    outlineItems(all.items());
}

// --- Drawing -------------------------------------------------------------------

QRect SelectionController::selectionBox() {
    if (m_box && m_boxRevision == m_panel.changeTracker.current())
        return *m_box;
    QRect box;
    const Expression& e = m_panel.expression;
    for (const std::int16_t kind : {hitkind::Text, hitkind::HLine, hitkind::VLine}) {
        for (const std::int32_t r : m_selection.rows(kind)) {
            const ItemRef item{kind, r};
            box |= itemInk(m_panel.canvas, e, item);
            forEachHandle(e, item, [&box](QPoint h) {
                box |= QRect(h.x() - MarkerHalf, h.y() - MarkerHalf, 2 * MarkerHalf + 1,
                             2 * MarkerHalf + 1);
            });
        }
    }
    m_box = box.isEmpty() ? box : box.adjusted(-BoxGap, -BoxGap, BoxGap, BoxGap);
    m_boxRevision = m_panel.changeTracker.current();
    return *m_box;
}

void SelectionController::draw() {
    prune();
    if (m_panel.imageSet != VbFalse)
        return;
    const BgrColour colour =
        rgbToBgr(m_panel.canvasView->palette().color(QPalette::Highlight).rgb());
    if (!m_selection.empty())
        DrawSelection(m_panel.canvas, m_panel.expression, m_selection, colour, selectionBox());
    if (m_gesture == Gesture::Band && !m_band.isEmpty())
        DrawDashedBox(m_panel.canvas, m_band, colour);
}

void SelectionController::updateActions() {
    prune();
    const bool edit = editable();
    const bool any = !m_selection.empty();
    const bool image = m_panel.imageSet != VbFalse;
    mnuCut->setEnabled(edit && any);
    mnuDuplicate->setEnabled(edit && any);
    mnuDelete->setEnabled(edit && any);
    mnuSelectAll->setEnabled(m_panel.canvasButtonDown == VbFalse && m_panel.chkText->value() != 1);
    const bool several = edit && m_selection.size() >= 2;
    mnuAlign->menuAction()->setEnabled(several);
    for (QAction* a : mnuAlignBy)
        a->setEnabled(several);
    mnuCentreOnLine->setEnabled(edit && m_selection.rows(hitkind::HLine).size() == 1 &&
                                !m_selection.rows(hitkind::Text).empty());
    mnuOutlineSelection->setEnabled(image && any);
    mnuOutlineAll->setEnabled(image);
    // The workspace covers the canvas in image mode: no Tab stop there then.
    m_panel.canvasView->setFocusPolicy(image ? Qt::NoFocus : Qt::TabFocus);
    if (image && m_panel.canvasView->hasFocus())
        m_panel.Picture4->setFocus();
}

} // namespace quill
