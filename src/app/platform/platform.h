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

struct FileDialogRequest {
    QString initialFolder;
    QString filter;                // "Expression Files (*.exp)|*.exp" style
    bool confirmOverwrite = false; // save dialogs
    bool hideReadOnly = false;     // open dialogs
    QString title;                 // empty: the platform's default title
    // Save dialogs: added to a name typed without an extension ("exp");
    // the overwrite question is asked about the name with it.
    QString defaultSuffix;
};

class Platform {
public:
    virtual ~Platform() = default;

    virtual ScreenMetrics screenMetrics() const = 0;
    // The folder that holds the executable, without a trailing separator.
    virtual QString programFolder() const = 0;
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

    // Joins the program folder and a name given with a leading backslash
    // ("\marker.bmp").
    QString programFile(const QString& backslashName) const;
};

} // namespace quill
