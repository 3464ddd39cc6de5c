#pragma once
// The main window. It owns all of the editor's state: the expression, the
// line being typed and the font choice, the symbol keyboard's shift state
// and offsets, the last press and hit, the outline and image mode. The
// procedures that act on that state live in the folder of their concern
// (render/, edit/, files/, export/); this class only declares them, builds
// the controls and turns events into calls.

#include "app/platform/platform.h"
#include "edit/history.h"
#include "export/bmpimage.h"
#include "export/clipboardpicture.h"
#include "formula/formulalayout.h"
#include "model/changetracker.h"
#include "model/expression.h"
#include "render/surface.h"

#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QSessionManager;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace quill {

class FormulaDialog;
class SelectionController;
class InputWatch;
class SurfaceView;
class ToolStrip;
class TypingBox;
class VbCheckBox;

class MainPanel : public QMainWindow {
    Q_OBJECT
public:
    // The platform is not owned; it must outlive the window.
    explicit MainPanel(Platform& platform, QWidget* parent = nullptr);
    ~MainPanel() override;

    Platform& platform() { return m_platform; }

    // --- Start-up, window commands (app/) ---------------------------------
    void Form_Load();
    void Form_Resize();
    void New_Click();
    void Exit_Click();
    // Asks "Save the changes to this expression?" when the expression has
    // changes that are not in a file; Save runs the ordinary Save. False
    // when the user cancels, or the Save is cancelled or fails: the command
    // that asked must then not go on. True at once without changes.
    bool ConfirmDiscardChanges();
    // The desktop session is ending: the same question, when the session
    // manager lets the program ask; Cancel asks it to stop the logout.
    void commitDataRequest(QSessionManager& manager);
    QImage LoadGraphicDC(const QString& fileName);
    void help_Click();
    void ShowHTMLHelp(const QString& helpFile, const QString& helpPage);

    // --- Repaint (render/redraw.cpp) --------------------------------------
    void Redraw();
    void DrawGrid();
    void DrawItems();
    void DrawMarkers();
    void chkGrid_Click();
    void chkMarkers_Click();

    // --- Text entry, caret and font choice (edit/) ------------------------
    void SetFont();
    void DrawCaret();
    void Picture4_KeyPress(std::int16_t keyAscii);
    void Picture4_KeyDown(std::int16_t keyCode, std::int16_t shift);
    void Picture4_KeyUp(std::int16_t keyCode, std::int16_t shift);
    void Form_KeyDown(std::int16_t keyCode, std::int16_t shift);
    void Timer2_Timer();
    void chkText_Click();
    void cboFont_Click();
    void cboFsize_Click();

    // --- Symbol keyboard (edit/keyboard.cpp) ------------------------------
    void DrawKeyboard();
    void chkShowKB_Click();
    void Picture3_MouseDown(int button, int shift, double x, double y);

    // --- Mouse selection and moving (edit/mouse.cpp) ----------------------
    std::int16_t FindHotspot(std::int16_t x, std::int16_t y);
    void Form_MouseDown(int button, int shift, double x, double y);
    void Form_MouseMove(int button, int shift, double x, double y);
    void Form_MouseUp(int button, int shift, double x, double y);

    // --- Line drawing (edit/linedraw.cpp) ---------------------------------
    void cmdLine_Click();
    void NewHLine();
    void NewVLine();

    // --- Expression files (files/) ----------------------------------------
    void Save_Click();
    void Open_Click();
    // Save with its dialog; true when the file was written.
    bool SaveExpression();
    // Opens a named expression file: reads it and shows it, or tells why it
    // cannot (a message box) and leaves everything as it was. Asks nothing.
    bool OpenExpressionFile(const QString& path);

    // --- Changes not yet in a file ----------------------------------------
    // Called once after each completed user action that changed the tables
    // (a line committed with Enter, a line drawn, a drag that moved an
    // item, a deletion, a paste). `extendsLastStep`: the change continues
    // the last one (a run of arrow-key nudges), and undo takes both at once.
    void expressionChanged(bool extendsLastStep = false);
    // Called after the tables were replaced as a whole (New, Open): the
    // state is the one the user keeps.
    void expressionReplaced();

    // --- Image export (export/) -------------------------------------------
    void cmdSetImage_Click();
    void cmdSetOutline_Click();
    void cmdSavIm_Click();
    void LeaveImageMode();
    void Picture6_MouseDown(int button, int shift, double x, double y);
    void Picture6_MouseMove(int button, int shift, double x, double y);
    void Picture6_MouseUp(int button, int shift, double x, double y);
    void DrawOutline();
    void startSave();
    // The selected position of cboSizeRed; once text has been typed into
    // its field (and no entry chosen since), the position of the factor
    // typed when it is one of the list's, else -1.
    int sizeReductionPosition() const;

    // --- Undo, redo and the clipboard (edit/editcommands.cpp) -------------
    // expressionChanged and expressionReplaced each record one undo step.
    void Undo_Click();
    void Redo_Click();
    void Copy_Click();
    void Paste_Click();
    // Edit > Insert Formula (edit/insertformula.cpp): opens the formula
    // dialog; its OK adds the typeset items where new items appear, as one
    // change, and switches the markers on.
    void InsertFormula_Click();
    bool InsertFormula(const formula::TypesetFormula& typeset);
    // Greys the Edit commands that can do nothing now.
    void updateEditMenu();
    // What Copy would put on the clipboard now.
    ClipboardPicture clipboardPicture();

    // --- State ------------------------------------------------------------
    Expression expression;
    ChangeTracker changeTracker;
    History history;

    // Text entry
    std::string textString;
    VbBool timerState = VbFalse;
    std::int16_t Theight = 0;
    VbBool DelObject = VbFalse;
    VbBool refocusTypingBox = VbFalse;
    VbBool mathSymbolsFont = VbFalse;
    // Symbol keyboard
    VbBool keyboardShifted = VbFalse;
    std::int16_t keyboardOffsetX = 0;
    std::int16_t keyboardOffsetY = 0;
    // Mouse
    std::int16_t Xloc = 400;
    std::int16_t Yloc = 500;
    VbBool canvasButtonDown = VbFalse;
    std::int16_t hitKind = 0;
    std::int16_t hitRow = 0;
    std::int16_t hitHandle = 0;
    // The grabbed row as it was at the press, to see at the release whether
    // the press and drag changed it.
    std::optional<std::array<std::int16_t, 6>> rowAtPress;
    // Image export
    VbBool imageSet = VbFalse;
    VbBool outlineArmed = VbFalse;
    VbBool outlineDragging = VbFalse;
    VbBool outlineSet = VbFalse;
    std::int16_t outlineX1 = 0, outlineY1 = 0, outlineX2 = 0, outlineY2 = 0;
    // The workspace's retained picture, the canvas copy; the outline is
    // drawn over it on Picture6 and never into it.
    QImage picture6Copy;
    // The frame last drawn over the copy (blue, or white by Save Image).
    std::optional<QRect> outlineOnWorkspace;
    BitmapHeader imageHeader;
    CapturedImage pixelColours;
    bool sizeRedTyped = false;

    // Memory pictures, made once at start-up.
    QImage MarkerDC;
    QImage KeyboardNormalDC;
    QImage KeyboardShiftDC;

    // The canvas (the client area) and the other drawing surfaces.
    Surface canvas;
    Surface picture6Surface;
    Surface picture3Surface;
    ScreenMetrics screen;

    // --- Controls ---------------------------------------------------------
    SurfaceView* canvasView = nullptr;
    ToolStrip* Picture1 = nullptr;
    SurfaceView* Picture3 = nullptr;
    TypingBox* Picture4 = nullptr;
    SurfaceView* Picture6 = nullptr;
    QGroupBox* frameLine = nullptr;
    QGroupBox* frameText = nullptr;
    QGroupBox* frameTools = nullptr;
    QGroupBox* frameImage = nullptr;
    QRadioButton* optH = nullptr;
    QRadioButton* optV = nullptr;
    QComboBox* cboLine = nullptr;
    QPushButton* cmdLine = nullptr;
    QComboBox* cboFont = nullptr;
    QComboBox* cboFsize = nullptr;
    VbCheckBox* chkText = nullptr;
    VbCheckBox* chkShowKB = nullptr;
    VbCheckBox* chkMarkers = nullptr;
    VbCheckBox* chkGrid = nullptr;
    QPushButton* cmdSetImage = nullptr;
    QPushButton* cmdSetOutline = nullptr;
    QPushButton* cmdSavim = nullptr;
    QComboBox* cboSizeRed = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label1 = nullptr;
    QTimer* Timer2 = nullptr;
    QAction* mnuNew = nullptr;
    QAction* mnuOpen = nullptr;
    QAction* mnuSave = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuHelp = nullptr;
    QMenu* mnuEdit = nullptr;
    QAction* mnuUndo = nullptr;
    QAction* mnuRedo = nullptr;
    QAction* mnuCopy = nullptr;
    QAction* mnuPaste = nullptr;
    QAction* mnuInsertFormula = nullptr;
    // While it is open; nothing once it is gone, even while the window
    // itself is being taken apart.
    QPointer<FormulaDialog> formulaDialog;

    // The selected items and what acts on them (app/selectioncontroller.h).
    std::unique_ptr<SelectionController> selection;

    // Counts full repaints; lets tests and the benchmark see that one ran.
    std::uint64_t redrawCount = 0;

Q_SIGNALS:
    // What the recovery of unsaved work follows (app/recoverycontroller.h):
    // the tables or their change flag changed (an edit, undo, redo, New,
    // Open); the expression is in the file `path` now (saved or opened;
    // empty after New); the unsaved-changes question was answered Discard.
    void expressionTouched();
    void expressionKept(const QString& path);
    void changesDiscarded();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildMenus();
    void buildToolStrip();
    void connectControls();
    void connectImageExport();
    void connectList(QComboBox* list, void (MainPanel::*click)());
    void typingBoxKeyDown(QKeyEvent* e);
    void typingBoxKeyUp(QKeyEvent* e);

    void clipboardChanged(bool lookInside = false);
    // The tables as they are now are the history's next step.
    void recordHistoryStep(bool extendsLastStep = false);
    // Undo or redo (`History::undo`, `History::redo`) outside image mode and
    // drags, with the change flag and the canvas following.
    void stepHistory(bool (History::*step)(Expression&, History::Revision&));

    Platform& m_platform;
    InputWatch* m_inputWatch = nullptr;
    std::unique_ptr<ClipboardPainter> m_clipboardPainter;
    bool m_hasLiveItem = false;            // as of the last recorded step
    bool m_clipboardHasExpression = false; // a type Paste can take is offered
    bool m_loaded = false;
    // The revision the user agreed to let go at the end of the session, so
    // that the windows closing after it do not ask again.
    std::optional<ChangeTracker::Revision> m_letGo;
};

// Adds "Insert Formula..." (Ctrl+M), which calls panel->InsertFormula_Click(),
// to `menu`.
QAction* addInsertFormulaAction(QMenu* menu, MainPanel* panel);

} // namespace quill
