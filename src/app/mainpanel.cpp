#include "app/mainpanel.h"

#include "app/canvasview.h"
#include "app/captionbutton.h"
#include "app/inputwatch.h"
#include "app/keyboardaccess.h"
#include "app/selectioncontroller.h"
#include "app/widgets.h"
#include "edit/hotspot.h"
#include "edit/keycodes.h"
#include "edit/tables.h"
#include "render/fontface.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSessionManager>
#include <memory>
#include <optional>

namespace quill {

namespace {

// Layout values are stored in 1/1440 inch; 15 of them make one 96-dpi pixel.
constexpr int TwipsPerPixel = 15;

void placeTwips(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel,
                   height / TwipsPerPixel);
}

// Colours the caption while the control is enabled; a disabled control keeps
// the style's grey caption so it still looks disabled. A colour too light
// to read on the tool strip (pure red) is darkened just enough for its
// antialiased strokes to keep 4.5:1: the colour itself gets 5:1.
void setTextColour(QWidget* w, BgrColour c) {
    QPalette pal = w->palette();
    const QColor colour =
        readableOn(bgrToQColor(c), toolStripPalette().color(QPalette::Window), 5.0);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::WindowText, colour);
        pal.setColor(group, QPalette::ButtonText, colour);
    }
    w->setPalette(pal);
}

template <typename Items> void fillList(QComboBox* box, const Items& items) {
    for (const auto& item : items)
        box->addItem(QString::fromLatin1(item.data(), static_cast<qsizetype>(item.size())));
}

// A copy of the top-left block of a picture into a picture of its own, the
// way each memory picture is prepared. Where the file had no picture, the
// block is blank (black).
QImage copyBlock(const QImage& source, QSize size) {
    QImage out(size, QImage::Format_RGB32);
    out.fill(Qt::black);
    if (!source.isNull()) {
        QPainter p(&out);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, source);
    }
    return out;
}

} // namespace

MainPanel::MainPanel(Platform& platform, QWidget* parent)
    : QMainWindow(parent), picture6Surface(QSize(1, 1), BgrWhite), picture3Surface(QSize(465, 141)),
      m_platform(platform) {
    setWindowTitle(
        QStringLiteral("Corvel Quillmark V%1").arg(QStringLiteral(QUILLMARK_VERSION_TEXT)));
    setAttribute(Qt::WA_DeleteOnClose, false);

    installFontSubstitutions();

    canvasView = new CanvasView(canvas, this);
    setCentralWidget(canvasView);

    buildMenus();
    buildToolStrip();

    Picture6 = new SurfaceView(picture6Surface, canvasView);
    placeTwips(Picture6, 0, 1440, 15255, 8775);
    Picture6->hide();

    Picture3 = new SurfaceView(picture3Surface, canvasView);
    Picture3->setGeometry(0, 0, 465, 141);
    Picture3->hide();

    Timer2 = new QTimer(this);
    Timer2->setInterval(500);

    // Every control is known by its name (style sheet, tests, accessibility).
    const std::pair<QWidget*, const char*> names[] = {{Picture1, "Picture1"},
                                                      {frameLine, "frameLine"},
                                                      {optH, "optH"},
                                                      {optV, "optV"},
                                                      {cboLine, "cboLine"},
                                                      {cmdLine, "cmdLine"},
                                                      {frameText, "frameText"},
                                                      {cboFont, "cboFont"},
                                                      {cboFsize, "cboFsize"},
                                                      {chkText, "chkText"},
                                                      {frameTools, "frameTools"},
                                                      {chkShowKB, "chkShowKB"},
                                                      {chkMarkers, "chkMarkers"},
                                                      {chkGrid, "chkGrid"},
                                                      {frameImage, "frameImage"},
                                                      {cmdSetImage, "cmdSetImage"},
                                                      {cmdSetOutline, "cmdSetOutline"},
                                                      {cmdSavim, "cmdSavim"},
                                                      {cboSizeRed, "cboSizeRed"},
                                                      {Picture4, "Picture4"},
                                                      {Label1, "Label1"},
                                                      {ProgressBar1, "ProgressBar1"},
                                                      {Picture3, "Picture3"},
                                                      {Picture6, "Picture6"},
                                                      {canvasView, "canvas"}};
    for (const auto& [widget, name] : names)
        widget->setObjectName(QString::fromLatin1(name));
    setObjectName(QStringLiteral("MainPanel"));

    m_inputWatch = new InputWatch(this);
    connectControls();
    selection = std::make_unique<SelectionController>(*this);
    setUpKeyboardAccess(*this);
}

MainPanel::~MainPanel() = default;

void MainPanel::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    mnuNew = file->addAction(QStringLiteral("&New"));
    mnuOpen = file->addAction(QStringLiteral("&Open"));
    mnuSave = file->addAction(QStringLiteral("&Save"));
    file->addSeparator();
    mnuExit = file->addAction(QStringLiteral("E&xit"));

    mnuEdit = menuBar()->addMenu(QStringLiteral("&Edit"));
    mnuUndo = mnuEdit->addAction(QStringLiteral("&Undo"));
    mnuUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    mnuRedo = mnuEdit->addAction(QStringLiteral("&Redo"));
    mnuRedo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    mnuEdit->addSeparator();
    mnuCopy = mnuEdit->addAction(QStringLiteral("&Copy"));
    mnuCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    mnuPaste = mnuEdit->addAction(QStringLiteral("&Paste"));
    mnuPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    mnuEdit->addSeparator();
    mnuInsertFormula = addInsertFormulaAction(mnuEdit, this);

    mnuHelp = menuBar()->addAction(QStringLiteral("&Help"));
}

void MainPanel::buildToolStrip() {
    Picture1 = new ToolStrip(canvasView);
    placeTwips(Picture1, 0, 0, 15195, 1455);
    // A narrow face keeps the captions inside controls sized for a small
    // system font, and the narrow lists ("100" in 41 pixels) need a slimmer
    // arrow and less padding than the style gives by default. With a style
    // sheet in force, the fonts are given there. A group's caption sits on
    // its frame's top line, so that the controls placed 16 pixels down lie
    // inside the frame.
    const QPalette strip = toolStripPalette();
    Picture1->setStyleSheet(
        QStringLiteral("* { font-family: 'Liberation Sans Narrow', 'Arial'; font-size: 11px; }"
                       "#cmdLine, #chkText { font-family: 'Arial'; font-weight: bold; }"
                       "#Label1 { font-family: 'MS Sans Serif'; }"
                       "QComboBox { padding: 0px 0px 0px 3px; }"
                       "QComboBox::drop-down { width: 12px; }"
                       "QGroupBox { border: 1px solid %1; border-radius: 2px; margin-top: 6px; }"
                       "QGroupBox::title { subcontrol-origin: margin; left: 6px;"
                       "  padding: 0px 2px; background-color: %2; }")
            .arg(strip.color(QPalette::Mid).name(), strip.color(QPalette::Window).name()));

    frameLine = new QGroupBox(QStringLiteral("Line"), Picture1);
    placeTwips(frameLine, 0, 0, 2655, 975);
    optH = new QRadioButton(QStringLiteral("H&orizontal"), frameLine);
    placeTwips(optH, 120, 240, 1095, 195);
    optH->setToolTip(QStringLiteral("Select Line Orientation"));
    optH->setChecked(true);
    optV = new QRadioButton(QStringLiteral("&Vertical"), frameLine);
    placeTwips(optV, 120, 480, 855, 375);
    optV->setToolTip(QStringLiteral("Select Line Orientation"));
    cboLine = new QComboBox(frameLine);
    placeTwips(cboLine, 1200, 360, 615, 315);
    cboLine->setToolTip(QStringLiteral("Select Line Width"));
    fillList(cboLine, LineWidthItems);
    cboLine->setCurrentIndex(-1);
    cmdLine = new QPushButton(QStringLiteral("&Draw"), frameLine);
    placeTwips(cmdLine, 1800, 360, 735, 375);
    cmdLine->setToolTip(QStringLiteral("Draw the Line"));

    frameText = new QGroupBox(QStringLiteral("Text"), Picture1);
    placeTwips(frameText, 2640, 120, 3495, 855);
    cboFont = new QComboBox(frameText);
    placeTwips(cboFont, 120, 240, 1695, 315);
    cboFont->setToolTip(QStringLiteral("Select  Font"));
    for (const FontChoice& f : FontTable)
        cboFont->addItem(
            QString::fromLatin1(f.listText.data(), static_cast<qsizetype>(f.listText.size())));
    cboFont->setCurrentIndex(-1);
    cboFsize = new QComboBox(frameText);
    placeTwips(cboFsize, 1800, 240, 735, 315);
    cboFsize->setToolTip(QStringLiteral("Select Font Size"));
    fillList(cboFsize, FontSizeItems);
    cboFsize->setCurrentIndex(-1);
    chkText = new VbCheckBox(QStringLiteral("&Text"), frameText);
    placeTwips(chkText, 2520, 240, 855, 375);
    chkText->setToolTip(QStringLiteral("Enter Text"));

    frameTools = new QGroupBox(QStringLiteral("Tools"), Picture1);
    placeTwips(frameTools, 6120, 120, 2895, 855);
    chkShowKB = new VbCheckBox(QStringLiteral("Show Keyboard"), frameTools);
    placeTwips(chkShowKB, 120, 240, 1095, 495);
    chkShowKB->setToolTip(QStringLiteral("Show math symbols keyboard layout"));
    setTextColour(chkShowKB, BgrGreen);
    chkMarkers = new VbCheckBox(QStringLiteral("Show Markers"), frameTools);
    placeTwips(chkMarkers, 1080, 240, 975, 495);
    setTextColour(chkMarkers, BgrRed);
    chkMarkers->setValue(1);
    chkGrid = new VbCheckBox(QStringLiteral("Show Grid"), frameTools);
    placeTwips(chkGrid, 1920, 240, 855, 495);
    chkGrid->setToolTip(QStringLiteral("Show the drawing grid"));
    setTextColour(chkGrid, BgrBlue);

    frameImage = new QGroupBox(QStringLiteral("Image Tools"), Picture1);
    placeTwips(frameImage, 9000, 120, 2775, 855);
    cmdSetImage = new CaptionButton(QStringLiteral("Se&t Image"), frameImage);
    placeTwips(cmdSetImage, 120, 240, 615, 495);
    cmdSetImage->setToolTip(QStringLiteral("Start thesave image process"));
    cmdSetOutline = new CaptionButton(QStringLiteral("Set O&utline"), frameImage);
    placeTwips(cmdSetOutline, 720, 240, 735, 495);
    cmdSetOutline->setToolTip(QStringLiteral("Set the required outline"));
    cmdSetOutline->setEnabled(false);
    cboSizeRed = new QComboBox(frameImage);
    placeTwips(cboSizeRed, 1440, 360, 615, 315);
    cboSizeRed->setToolTip(QStringLiteral("select image size reduction"));
    cboSizeRed->setEditable(true);
    fillList(cboSizeRed, SizeReductionItems);
    cboSizeRed->setCurrentIndex(-1);
    cmdSavim = new CaptionButton(QStringLiteral("Save &Image"), frameImage);
    placeTwips(cmdSavim, 2040, 240, 615, 495);
    cmdSavim->setToolTip(QStringLiteral("Save image to file"));
    cmdSavim->setEnabled(false);

    // The tab order follows the order of creation; the typing box comes
    // after the tool groups.
    Picture4 = new TypingBox(Picture1);
    placeTwips(Picture4, 9120, 1200, 135, 135);

    Label1 = new QLabel(QStringLiteral("Preparing save image data...."), Picture1);
    placeTwips(Label1, 120, 1080, 3735, 255);
    Label1->hide();
    ProgressBar1 = new QProgressBar(Picture1);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    placeTwips(ProgressBar1, 3960, 1080, 3735, 255);
    ProgressBar1->hide();
}

void MainPanel::connectControls() {
    connect(mnuNew, &QAction::triggered, this, [this] { New_Click(); });
    connect(mnuOpen, &QAction::triggered, this, [this] { Open_Click(); });
    connect(mnuSave, &QAction::triggered, this, [this] { Save_Click(); });
    connect(mnuExit, &QAction::triggered, this, [this] { Exit_Click(); });
    connect(mnuHelp, &QAction::triggered, this, [this] { help_Click(); });
    connect(mnuUndo, &QAction::triggered, this, [this] { Undo_Click(); });
    connect(mnuRedo, &QAction::triggered, this, [this] { Redo_Click(); });
    connect(mnuCopy, &QAction::triggered, this, [this] { Copy_Click(); });
    connect(mnuPaste, &QAction::triggered, this, [this] { Paste_Click(); });
    connect(mnuEdit, &QMenu::aboutToShow, this, [this] { clipboardChanged(true); });
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        connect(clipboard, &QClipboard::dataChanged, this, [this] { clipboardChanged(); });
    clipboardChanged();

    connect(cmdLine, &QPushButton::clicked, this, [this] { cmdLine_Click(); });
    connectList(cboFont, &MainPanel::cboFont_Click);
    connectList(cboFsize, &MainPanel::cboFsize_Click);
    connect(chkText, &VbCheckBox::valueChanged, this, [this] { chkText_Click(); });
    connect(chkShowKB, &VbCheckBox::valueChanged, this, [this] { chkShowKB_Click(); });
    connect(chkMarkers, &VbCheckBox::valueChanged, this, [this] { chkMarkers_Click(); });
    connect(chkGrid, &VbCheckBox::valueChanged, this, [this] { chkGrid_Click(); });
    connect(cmdSetImage, &QPushButton::clicked, this, [this] { cmdSetImage_Click(); });
    connect(cmdSetOutline, &QPushButton::clicked, this, [this] { cmdSetOutline_Click(); });
    connect(cmdSavim, &QPushButton::clicked, this, [this] { cmdSavIm_Click(); });
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2_Timer(); });
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager& manager) { commitDataRequest(manager); });

    Picture4->onKeyDown = [this](QKeyEvent* e) { typingBoxKeyDown(e); };
    Picture4->onKeyUp = [this](QKeyEvent* e) { typingBoxKeyUp(e); };
    // Keys pressed while any other control has the focus are the window's
    // too, whether or not that control uses them.
    m_inputWatch->onKeyDown = [this](QWidget* to, QKeyEvent* e) {
        if (to != Picture4)
            Form_KeyDown(virtualKeyCode(e->key()), shiftMask(e->modifiers()));
    };

    auto buttonCode = [](Qt::MouseButton b) {
        return b == Qt::LeftButton ? 1 : b == Qt::RightButton ? 2 : b == Qt::MiddleButton ? 4 : 0;
    };
    auto buttonsCode = [](Qt::MouseButtons b) {
        return (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) |
               (b & Qt::MiddleButton ? 4 : 0);
    };
    canvasView->onMouseDown = [this, buttonCode](Qt::MouseButton b, Qt::KeyboardModifiers m,
                                                 double x, double y) {
        Form_MouseDown(buttonCode(b), shiftMask(m), x, y);
    };
    canvasView->onMouseMove = [this, buttonsCode](Qt::MouseButtons b, Qt::KeyboardModifiers m,
                                                  double x, double y) {
        Form_MouseMove(buttonsCode(b), shiftMask(m), x, y);
    };
    canvasView->onMouseUp = [this, buttonCode](Qt::MouseButton b, Qt::KeyboardModifiers m, double x,
                                               double y) {
        Form_MouseUp(buttonCode(b), shiftMask(m), x, y);
    };
    Picture3->onMouseDown = [this, buttonCode](Qt::MouseButton b, Qt::KeyboardModifiers m, double x,
                                               double y) {
        Picture3_MouseDown(buttonCode(b), shiftMask(m), x, y);
    };
    connectImageExport();
}

// A list's click handler runs for every choice the user makes, the entry
// the list already shows included, and for every change of the selection
// made from code. A user's choice of another entry changes the selection
// and then reports the choice, both within one input event: the handler has
// run already when the choice is reported.
void MainPanel::connectList(QComboBox* list, void (MainPanel::*click)()) {
    auto ranAtInput = std::make_shared<std::optional<std::uint64_t>>();
    connect(list, &QComboBox::currentIndexChanged, this, [this, click, ranAtInput](int) {
        *ranAtInput = m_inputWatch->inputSerial();
        (this->*click)();
    });
    connect(list, &QComboBox::activated, this, [this, click, ranAtInput](int) {
        const bool ran = *ranAtInput == m_inputWatch->inputSerial();
        ranAtInput->reset();
        if (!ran)
            (this->*click)();
    });
}

void MainPanel::typingBoxKeyDown(QKeyEvent* e) {
    const std::int16_t shift = shiftMask(e->modifiers());
    Picture4_KeyDown(virtualKeyCode(e->key()), shift);
    if (const auto ascii = keyAsciiFor(e->key(), e->text(), e->modifiers()))
        Picture4_KeyPress(*ascii);
}

void MainPanel::typingBoxKeyUp(QKeyEvent* e) {
    // A held key repeats as press/release pairs; only the real release counts.
    if (e->isAutoRepeat())
        return;
    Picture4_KeyUp(virtualKeyCode(e->key()), shiftMask(e->modifiers()));
}

void MainPanel::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    if (m_loaded)
        Form_Resize();
}

// --- Start-up ----------------------------------------------------------

QImage MainPanel::LoadGraphicDC(const QString& fileName) {
    return m_platform.loadPicture(fileName);
}

void MainPanel::Form_Load() {
    // 1. The window covers the whole screen from its top-left corner.
    screen = m_platform.screenMetrics();
    const QSize screenPx = screen.pixels();
    canvas.resize(screenPx);
    resize(screenPx);
    move(0, 0); // (screen - window) / 2, and the window is the screen's size
    // 2. The tool strip spans the window.
    Picture1->setGeometry(0, 0, screenPx.width(), Picture1->height());
    // 3. The image workspace lies over the canvas below the tool strip.
    picture6Surface.setBackColor(BgrWhite);
    picture6Surface.resize(QSize(screenPx.width(), std::max(1, screenPx.height() - 96)));
    picture6Surface.cls();
    Picture6->setGeometry(0, 96, screenPx.width(), std::max(1, screenPx.height() - 96));
    // Both pictures pixel for pixel on any screen, from the tool strip's
    // lower edge down.
    canvasView->showPixelForPixel(QPoint(0, Picture1->height()));
    Picture6->showPixelForPixel(QPoint(0, Picture1->height() - Picture6->y()));
    // 4. Fonts from the program folder.
    for (const std::string_view name : ProgramFontFiles)
        m_platform.registerFont(m_platform.programFile(
            QLatin1Char('\\') +
            QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()))));
    canvas.textCache().clear(); // faces may have changed
    // 5-7. The marker and the two keyboard pictures.
    MarkerDC = copyBlock(LoadGraphicDC(m_platform.programFile(QStringLiteral("\\marker.bmp"))),
                         QSize(9, 9));
    KeyboardNormalDC = copyBlock(
        LoadGraphicDC(m_platform.programFile(QStringLiteral("\\KBnorm465.bmp"))), QSize(465, 140));
    KeyboardShiftDC = copyBlock(
        LoadGraphicDC(m_platform.programFile(QStringLiteral("\\KBshift465.bmp"))), QSize(465, 140));
    // 8. Default list selections; selecting runs the lists' handlers.
    if (cboLine->count() > 0)
        cboLine->setCurrentIndex(3);
    if (cboFsize->count() > 0)
        cboFsize->setCurrentIndex(3);
    if (cboFont->count() > 0)
        cboFont->setCurrentIndex(0);
    if (cboSizeRed->count() > 0)
        cboSizeRed->setCurrentIndex(0);
    // 9. Initial state.
    refocusTypingBox = VbFalse;
    expression.textItemsExist = VbFalse;
    expression.hLinesExist = VbFalse;
    expression.vLinesExist = VbFalse;
    DelObject = VbFalse;
    keyboardOffsetX = 0;
    keyboardOffsetY = 0;
    outlineDragging = VbFalse;
    mathSymbolsFont = VbFalse;
    imageSet = VbFalse;
    m_loaded = true;
    Timer2->start();
    // 10.
    Redraw();
}

void MainPanel::Form_Resize() {
    Redraw();
}

void MainPanel::New_Click() {
    if (!ConfirmDiscardChanges())
        return;
    expression.ClearExpression();
    Redraw();
    expressionReplaced();
    Q_EMIT expressionKept(QString());
}

void MainPanel::Exit_Click() {
    if (!ConfirmDiscardChanges())
        return;
    hide();
    QCoreApplication::exit(0);
}

void MainPanel::closeEvent(QCloseEvent* e) {
    if (ConfirmDiscardChanges())
        e->accept();
    else
        e->ignore();
}

bool MainPanel::ConfirmDiscardChanges() {
    if (!changeTracker.hasUnsavedChanges() || m_letGo == changeTracker.current())
        return true;
    switch (m_platform.askSave(this, {QStringLiteral("Save the changes to this expression?"),
                                      QStringLiteral("Corvel Quillmark")})) {
    case SaveAnswer::Save:
        return SaveExpression();
    case SaveAnswer::Discard:
        Q_EMIT changesDiscarded();
        return true;
    case SaveAnswer::Cancel:
        break;
    }
    Picture4->setFocus();
    return false;
}

void MainPanel::commitDataRequest(QSessionManager& manager) {
    if (!changeTracker.hasUnsavedChanges() || m_letGo == changeTracker.current())
        return;
    // Without leave to ask, nothing can be saved or refused.
    if (!manager.allowsInteraction())
        return;
    // Cancelling keeps the interaction until the session manager is told
    // with it that the session goes on.
    if (ConfirmDiscardChanges()) {
        m_letGo = changeTracker.current();
        manager.release();
    } else {
        manager.cancel();
    }
}

void MainPanel::expressionChanged(bool extendsLastStep) {
    changeTracker.markChanged();
    recordHistoryStep(extendsLastStep);
    Q_EMIT expressionTouched();
}

void MainPanel::expressionReplaced() {
    // A drag under way goes on in the new tables: what it changes is
    // measured from the row as it is in them now.
    if (rowAtPress)
        rowAtPress = handleRowValues(expression, hitKind, hitRow);
    selection->clear(); // its rows are gone with the tables they named
    // The new tables are a state of their own, so that undoing New or Open
    // brings back the revision, and so the change flag, of the tables before.
    changeTracker.markChanged();
    changeTracker.markKept();
    recordHistoryStep();
    Q_EMIT expressionTouched();
}

void MainPanel::help_Click() {
    // The help is a compiled Qt help document, built into the program folder.
    ShowHTMLHelp(m_platform.programFile(QStringLiteral("\\Tvx4_3.qch")),
                 QStringLiteral("html\\corv1nzi.htm"));
}

void MainPanel::ShowHTMLHelp(const QString& helpFile, const QString& helpPage) {
    m_platform.showHelp(helpFile, helpPage);
}

} // namespace quill
