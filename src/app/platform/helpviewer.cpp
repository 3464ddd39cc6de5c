#include "app/platform/helpviewer.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QHelpEngineCore>
#include <QKeySequence>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolBar>

namespace quill {

namespace {

const QString HelpScheme = QStringLiteral("qthelp");

QString viewerTitle() {
    return QStringLiteral("Corvel Quillmark Help");
}

// A short page of the viewer's own, shown in place of a help page.
QString reportPage(const QString& heading, const QString& text) {
    return QStringLiteral("<html><head><title>%1</title></head><body>"
                          "<h2>%1</h2><p>%2</p></body></html>")
        .arg(heading.toHtmlEscaped(), text.toHtmlEscaped());
}

} // namespace

// The page area: every page, style sheet and picture comes out of the help
// file; anything the file does not hold becomes a report page.
class HelpBrowser : public QTextBrowser {
public:
    explicit HelpBrowser(HelpViewer& viewer, QWidget* parent)
        : QTextBrowser(parent), m_viewer(viewer) {
        setOpenLinks(true);
        setOpenExternalLinks(false);
    }

    QVariant loadResource(int type, const QUrl& name) override {
        QUrl url = name;
        if (url.isRelative())
            url = source().resolved(url);
        const std::optional<QByteArray> bytes = m_viewer.fileData(url);
        switch (type) {
        case QTextDocument::HtmlResource:
            if (!bytes)
                return missingPage(url);
            return QString::fromUtf8(*bytes);
        case QTextDocument::StyleSheetResource:
            return bytes ? QVariant(QString::fromUtf8(*bytes)) : QVariant();
        default:
            return bytes ? QVariant(*bytes) : QVariant();
        }
    }

private:
    QString missingPage(const QUrl& url) const {
        QString page = url.path(QUrl::FullyDecoded);
        const QString folder = QLatin1Char('/') + m_viewer.m_virtualFolder + QLatin1Char('/');
        if (url.scheme() == HelpScheme && page.startsWith(folder))
            page = page.mid(folder.size());
        else
            page = url.toString();
        return reportPage(QStringLiteral("Page not found"),
                          QStringLiteral("The page \"%1\" is not in the help file \"%2\".")
                              .arg(page, m_viewer.helpFile()));
    }

    HelpViewer& m_viewer;
};

HelpViewer* HelpViewer::open(const QString& helpFile, const QString& page) {
    const QString path = QFileInfo(helpFile).absoluteFilePath();
    HelpViewer* viewer = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* v = qobject_cast<HelpViewer*>(w);
        if (v && v->isVisible() && v->helpFile() == path) {
            viewer = v;
            break;
        }
    }
    if (viewer) {
        viewer->showPage(page);
        // A minimised viewer comes back as it was before, maximised or not.
        viewer->setWindowState(viewer->windowState() & ~Qt::WindowMinimized);
    } else {
        viewer = new HelpViewer(path, page);
    }
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return viewer;
}

HelpViewer::HelpViewer(const QString& helpFile, const QString& page)
    : QMainWindow(nullptr), m_helpFile(helpFile), m_homePage(page) {
    setAttribute(Qt::WA_DeleteOnClose);
    // The editor's main window alone decides when the program ends.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(viewerTitle());
    resize(860, 680);

    m_browser = new HelpBrowser(*this, this);
    setCentralWidget(m_browser);

    QToolBar* bar = addToolBar(QStringLiteral("Navigation"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("&Back"));
    m_back->setShortcut(QKeySequence::Back);
    m_forward =
        bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("&Forward"));
    m_forward->setShortcut(QKeySequence::Forward);
    m_home = bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QStringLiteral("&Home"));
    m_home->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
    m_back->setEnabled(false);
    m_forward->setEnabled(false);

    connect(m_back, &QAction::triggered, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QAction::triggered, m_browser, &QTextBrowser::forward);
    connect(m_home, &QAction::triggered, this, [this] { showPage(m_homePage); });
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = m_browser->documentTitle();
        setWindowTitle(title.isEmpty() || title == viewerTitle()
                           ? viewerTitle()
                           : viewerTitle() + QStringLiteral(" - ") + title);
    });
    // A viewer still open when the editor ends is closed with it, so its
    // scratch collection does not outlive the program.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &QObject::deleteLater);

    showPage(m_homePage);
}

HelpViewer::~HelpViewer() {
    // The engine holds its database open inside the scratch folder.
    m_engine.reset();
}

QTextBrowser* HelpViewer::browser() const {
    return m_browser;
}

void HelpViewer::openFile() {
    m_fileReport.clear();
    m_paths.clear();
    m_virtualFolder.clear();
    m_engine.reset();
    m_collectionDir.reset();
    const QFileInfo info(m_helpFile);
    if (!info.isFile()) {
        m_fileReport = QStringLiteral("The help file \"%1\" does not exist.").arg(m_helpFile);
        return;
    }
    const QString ns = QHelpEngineCore::namespaceName(m_helpFile);
    if (ns.isEmpty()) {
        m_fileReport =
            QStringLiteral("The help file \"%1\" cannot be read: it is not a compiled help file "
                           "or it is damaged.")
                .arg(m_helpFile);
        return;
    }
    // The help engine reads documentation through a collection of its own;
    // this one lives in a scratch folder for as long as the window.
    m_collectionDir = std::make_unique<QTemporaryDir>();
    if (!m_collectionDir->isValid()) {
        m_fileReport = QStringLiteral("The help file \"%1\" cannot be opened: no scratch folder "
                                      "for the help engine (%2).")
                           .arg(m_helpFile, m_collectionDir->errorString());
        return;
    }
    m_engine =
        std::make_unique<QHelpEngineCore>(m_collectionDir->filePath(QStringLiteral("help.qhc")));
    m_engine->setReadOnly(false);
    m_engine->setUsesFilterEngine(true);
    if (!m_engine->setupData() || !m_engine->registerDocumentation(m_helpFile)) {
        m_fileReport = QStringLiteral("The help file \"%1\" cannot be opened: %2")
                           .arg(m_helpFile, m_engine->error());
        m_engine.reset();
        return;
    }
    const QList<QUrl> files = m_engine->files(ns, QString());
    for (const QUrl& f : files) {
        const QString path = f.path(QUrl::FullyDecoded);
        m_paths.insert(path);
        if (m_virtualFolder.isEmpty())
            m_virtualFolder = path.section(QLatin1Char('/'), 1, 1);
    }
    if (m_paths.isEmpty()) {
        m_fileReport = QStringLiteral("The help file \"%1\" holds no pages.").arg(m_helpFile);
        m_engine.reset();
        return;
    }
    m_namespace = ns;
}

void HelpViewer::showFileReport() {
    m_browser->setHtml(reportPage(QStringLiteral("Help file not available"), m_fileReport));
    setWindowTitle(viewerTitle());
    m_back->setEnabled(false);
    m_forward->setEnabled(false);
    m_home->setEnabled(false);
}

void HelpViewer::showPage(const QString& page) {
    if (!fileOpened()) {
        // Opened at the first page asked for, and again at each later one
        // until it succeeds: the file may have been put in place meanwhile.
        openFile();
        if (!fileOpened()) {
            showFileReport();
            return;
        }
        m_home->setEnabled(true);
    }
    m_browser->setSource(pageUrl(page), QTextDocument::HtmlResource);
}

QUrl HelpViewer::pageUrl(const QString& page) const {
    QString p = page;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (p.startsWith(QLatin1Char('/')))
        p.remove(0, 1);
    QString fragment;
    if (const qsizetype hash = p.indexOf(QLatin1Char('#')); hash >= 0) {
        fragment = p.mid(hash + 1);
        p.truncate(hash);
    }
    QUrl url;
    url.setScheme(HelpScheme);
    url.setHost(m_namespace);
    url.setPath(QLatin1Char('/') + m_virtualFolder + QLatin1Char('/') + p, QUrl::DecodedMode);
    if (!fragment.isEmpty())
        url.setFragment(fragment, QUrl::DecodedMode);
    return url;
}

QUrl HelpViewer::currentUrl() const {
    return m_browser->source();
}

QList<QUrl> HelpViewer::files() const {
    QList<QUrl> out;
    for (const QString& path : m_paths) {
        QUrl url;
        url.setScheme(HelpScheme);
        url.setHost(m_namespace);
        url.setPath(path, QUrl::DecodedMode);
        out << url;
    }
    return out;
}

QString HelpViewer::currentText() const {
    return m_browser->toPlainText();
}

std::optional<QByteArray> HelpViewer::fileData(const QUrl& url) const {
    if (!m_engine || url.scheme() != HelpScheme ||
        url.host().compare(m_namespace, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const QString path = url.path(QUrl::FullyDecoded);
    if (!m_paths.contains(path))
        return std::nullopt;
    QUrl file = url.adjusted(QUrl::RemoveFragment | QUrl::RemoveQuery);
    return m_engine->fileData(file);
}

} // namespace quill
