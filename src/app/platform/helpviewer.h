#pragma once
// The help viewer: a window of its own that shows the pages of a compiled
// help file (a Qt help document, .qch). It is top-level, never modal, owned
// by nobody and deletes itself when closed. Links between pages, pictures,
// Back, Forward and Home work as in any help viewer. When the help file
// cannot be opened, or a page is not in it, the viewer says so in its own
// window; the caller is never told.

#include <QByteArray>
#include <QMainWindow>
#include <QSet>
#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

class QAction;
class QHelpEngineCore;
class QTemporaryDir;
class QTextBrowser;

namespace quill {

class HelpBrowser;

class HelpViewer : public QMainWindow {
    Q_OBJECT
public:
    // Shows helpFile (a full path) at page (a path inside the help file;
    // either slash separates folders). A viewer already open on the same
    // file, minimised or not, is brought to the front at that page;
    // otherwise a new one opens.
    static HelpViewer* open(const QString& helpFile, const QString& page);

    HelpViewer(const QString& helpFile, const QString& page);
    ~HelpViewer() override;

    // Goes to a page of the help file; a missing page shows a report. A file
    // that could not be opened is tried again first.
    void showPage(const QString& page);

    QString helpFile() const { return m_helpFile; }
    // Whether the help file could be opened and read.
    bool fileOpened() const { return !m_namespace.isEmpty(); }
    // The URL of the page on show ("qthelp://namespace/folder/page").
    QUrl currentUrl() const;
    // The plain text of the page on show, report pages included.
    QString currentText() const;
    // Whether the help file holds the file a URL of it names.
    bool holds(const QUrl& url) const { return fileData(url).has_value(); }
    // Every file the help file holds, as URLs of it.
    QList<QUrl> files() const;

    QTextBrowser* browser() const;
    QAction* backAction() const { return m_back; }
    QAction* forwardAction() const { return m_forward; }
    QAction* homeAction() const { return m_home; }

    // A page's path inside the help file as a URL of this file; backslashes
    // become slashes and leading separators are dropped.
    QUrl pageUrl(const QString& page) const;

private:
    void openFile();
    void showFileReport();

    QString m_helpFile;
    QString m_homePage;
    QString m_namespace;     // empty when the file could not be opened
    QString m_virtualFolder; // the folder every page of the file lies under
    QSet<QString> m_paths;   // the paths of every file in the help file
    QString m_fileReport;    // why the help file could not be opened
    std::unique_ptr<QTemporaryDir> m_collectionDir;
    std::unique_ptr<QHelpEngineCore> m_engine;
    HelpBrowser* m_browser = nullptr;
    QAction* m_back = nullptr;
    QAction* m_forward = nullptr;
    QAction* m_home = nullptr;

    friend class HelpBrowser;
    // The page's bytes, or nothing when the help file does not hold it.
    std::optional<QByteArray> fileData(const QUrl& url) const;
};

} // namespace quill
