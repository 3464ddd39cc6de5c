#pragma once
// Everything the editor asks of the desktop it runs on, in one place:
// screen metrics, the program folder, font registration, picture loading,
// message boxes, file dialogs and the help viewer. The editor talks only to
// this interface; QtPlatform answers for a real desktop, and tests put a
// ScriptedPlatform in its place to answer dialogs and record messages.

#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

class QWidget;

namespace quill {

// Screen size in 1/1440-inch units ("twips") and twips per pixel.
// Screen pixels per canvas pixel, each way, on a screen of the given device
// pixel ratio. The canvas and the image workspace show their pictures pixel
// for pixel: at a whole ratio that ratio, at a fractional one the nearest
// whole one, a half going down (1.5 shows them one to one, 1.75 doubled).
int canvasPixelScale(double devicePixelRatio);

// The screen's size for the canvas, in canvas pixels (see canvasPixelScale).
struct ScreenMetrics {
    int widthTwips = 0;
    int heightTwips = 0;
    int twipsPerPixelX = 15;
    int twipsPerPixelY = 15;

    QSize pixels() const {
        return QSize(widthTwips / twipsPerPixelX, heightTwips / twipsPerPixelY);
    }
};

// Information for a confirmation, Exclamation for a mistake in the use of
// a command, Critical for a command that failed.
enum class MessageIcon { Information, Exclamation, Critical };

struct MessageBoxRequest {
    QString text;
    QString title;
    MessageIcon icon = MessageIcon::Information;
};

// A question answered with Save, Discard or Cancel.
struct SaveQuestion {
    QString text;
    QString title;
};

enum class SaveAnswer { Save, Discard, Cancel };

// A question about an unsaved expression that an editor left behind,
// answered with Recover (the default button), Discard or Later.
struct RecoverQuestion {
    QString text;
    QString title;
};

enum class RecoverAnswer { Recover, Discard, Later };

struct FileDialogRequest {
    QString initialFolder;
    QString filter;                // "Expression Files (*.exp)|*.exp" style
    bool confirmOverwrite = false; // save dialogs
    bool hideReadOnly = false;     // open dialogs
    QString title;                 // empty: the platform's default title
    // Save dialogs: added to a name typed without an extension ("exp");
    // the overwrite question is asked about the name with it.
    QString defaultSuffix;
    // Save dialogs with several file types: when set, the type shown at
    // first ("Name (*.ext)"; empty: the first) and, on return, the one the
    // user left chosen.
    QString* selectedFilter = nullptr;
};

class Platform {
public:
    virtual ~Platform() = default;

    virtual ScreenMetrics screenMetrics() const = 0;
    // The folder that holds the executable, without a trailing separator.
    virtual QString programFolder() const = 0;
    // The user's documents folder; it need not exist yet.
    virtual QString documentsFolder() const = 0;
    // Registers a font file by path for this process; failures are silent.
    virtual void registerFont(const QString& path) = 0;
    // Loads a picture file; a missing or unreadable file gives a null image.
    virtual QImage loadPicture(const QString& path) = 0;
    // A modal message box with one OK button.
    virtual void messageBox(QWidget* parent, const MessageBoxRequest& request) = 0;
    // A modal question with the buttons Save, Discard and Cancel; closing
    // it any other way is Cancel.
    virtual SaveAnswer askSave(QWidget* parent, const SaveQuestion& question) = 0;
    // The chosen file's full path, or nothing when cancelled.
    virtual std::optional<QString> getSaveFileName(QWidget* parent,
                                                   const FileDialogRequest& request) = 0;
    virtual std::optional<QString> getOpenFileName(QWidget* parent,
                                                   const FileDialogRequest& request) = 0;
    // Opens the help file at a page; the viewer is on its own.
    virtual void showHelp(const QString& helpFile, const QString& page) = 0;
    // The folder of this user's recovery files (app/recoverycontroller.h);
    // empty for a platform that keeps none.
    virtual QString recoveryFolder() const { return {}; }
    // A modal question with the buttons Recover, Discard and Later; closing
    // it any other way is Later.
    virtual RecoverAnswer askRecover(QWidget* parent, const RecoverQuestion& question) {
        (void)parent;
        (void)question;
        return RecoverAnswer::Later;
    }

    // The folder of the fonts, pictures and help file (files/folders.h).
    QString resourceFolder() const;
    // Joins the resource folder and a name given with a leading backslash
    // ("\marker.bmp").
    QString programFile(const QString& backslashName) const;
    // Where the dialogs of expressions and of images start. A folder in the
    // documents folder is made here, on first use; the program folder's own
    // are left as they are.
    QString expressionsFolder() const;
    QString imagesFolder() const;
};

} // namespace quill
