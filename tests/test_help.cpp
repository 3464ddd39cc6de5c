// The help: the built help file holds every page the start page leads to,
// Help shows it in a viewer window of its own, and a missing file or page is
// reported by the viewer, never by the editor.

#include "app/mainpanel.h"
#include "app/platform/helpviewer.h"
#include "app/platform/qtplatform.h"
#include "scriptedplatform.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <deque>
#include <gtest/gtest.h>
#include <set>

using namespace quill;

namespace {

const QString StartPage = QStringLiteral("html\\corv1nzi.htm");

QString builtHelpFile() {
    return test::buildProgramFolder() + QStringLiteral("/Tvx4_3.qch");
}

// A scripted platform whose help goes to the real viewer.
class ViewerPlatform : public test::ScriptedPlatform {
public:
    void showHelp(const QString& helpFile, const QString& page) override {
        ScriptedPlatform::showHelp(helpFile, page);
        QtPlatform().showHelp(helpFile, page);
    }
};

std::vector<HelpViewer*> openViewers() {
    std::vector<HelpViewer*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* v = qobject_cast<HelpViewer*>(w); v && v->isVisible())
            out.push_back(v);
    return out;
}

void closeViewers() {
    for (HelpViewer* v : openViewers())
        v->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The links and pictures of the page on show, as the browser parsed them.
struct PageRefs {
    std::vector<std::pair<QString, QTextCursor>> links; // href and where it is
    QStringList images;
};

PageRefs pageRefs(QTextDocument* doc) {
    PageRefs refs;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const QTextCharFormat cf = f.charFormat();
            if (cf.isAnchor() && !cf.anchorHref().isEmpty()) {
                QTextCursor c(doc);
                c.setPosition(f.position() + f.length() / 2);
                refs.links.emplace_back(cf.anchorHref(), c);
            }
            if (cf.isImageFormat())
                refs.images << cf.toImageFormat().name();
        }
    return refs;
}

class Help : public ::testing::Test {
protected:
    void TearDown() override { closeViewers(); }
};

TEST_F(Help, BuiltFileHoldsTheStartPageAndEveryPageItLeadsTo) {
    ASSERT_TRUE(QFile::exists(builtHelpFile()));
    auto viewer = std::make_unique<HelpViewer>(builtHelpFile(), StartPage);
    ASSERT_TRUE(viewer->fileOpened()) << viewer->currentText().toStdString();
    const QUrl start = viewer->currentUrl();
    ASSERT_TRUE(viewer->holds(start));
    EXPECT_EQ(viewer->browser()->documentTitle(), QStringLiteral("Corvel Quillmark Help"));

    // Walk every link from the start page; each must lead to a page of the
    // file, with its pictures and style sheet.
    std::set<QString> seen{start.adjusted(QUrl::RemoveFragment).toString()};
    std::deque<QUrl> todo{start};
    int links = 0;
    while (!todo.empty()) {
        const QUrl page = todo.front();
        todo.pop_front();
        viewer->browser()->setSource(page);
        ASSERT_TRUE(viewer->holds(viewer->currentUrl())) << page.toString().toStdString();
        const PageRefs refs = pageRefs(viewer->browser()->document());
        for (const QString& img : refs.images)
            EXPECT_TRUE(viewer->holds(page.resolved(QUrl(img))))
                << "picture " << img.toStdString() << " on " << page.toString().toStdString();
        for (const auto& [href, where] : refs.links) {
            ++links;
            const QUrl target = page.resolved(QUrl(href)).adjusted(QUrl::RemoveFragment);
            EXPECT_TRUE(viewer->holds(target))
                << "dead link " << href.toStdString() << " on " << page.toString().toStdString();
            if (viewer->holds(target) && seen.insert(target.toString()).second)
                todo.push_back(target);
        }
    }
    EXPECT_GT(links, 20);
    // Every page of the file is reached from the start page.
    int pages = 0;
    for (const QUrl& f : viewer->files())
        if (f.path().endsWith(QStringLiteral(".htm"))) {
            ++pages;
            EXPECT_TRUE(seen.count(f.toString())) << f.toString().toStdString();
        }
    EXPECT_GE(pages, 9);
}

TEST_F(Help, HelpMenuShowsTheStartPageInAViewerOfItsOwn) {
    ViewerPlatform platform;
    auto panel = test::openActiveMainPanel(platform);
    ASSERT_TRUE(panel);

    panel->help_Click();
    ASSERT_EQ(openViewers().size(), 1u);
    QPointer<HelpViewer> v = openViewers().front();
    EXPECT_TRUE(v->isWindow());
    EXPECT_EQ(v->parentWidget(), nullptr);
    EXPECT_EQ(v->windowModality(), Qt::NonModal);
    EXPECT_TRUE(v->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_FALSE(v->testAttribute(Qt::WA_QuitOnClose)) << "closing the editor ends the program";
    EXPECT_TRUE(v->currentUrl().path().endsWith(QStringLiteral("/html/corv1nzi.htm")));
    EXPECT_TRUE(v->holds(v->currentUrl()));
    EXPECT_TRUE(v->currentText().contains(QStringLiteral("Corvel Quillmark 4.3")));

    // A click on a link follows it; Back, Forward and Home go where they say.
    const PageRefs refs = pageRefs(v->browser()->document());
    auto link = std::find_if(refs.links.begin(), refs.links.end(),
                             [](const auto& l) { return l.first == QStringLiteral("typing.htm"); });
    ASSERT_NE(link, refs.links.end());
    v->browser()->ensureCursorVisible();
    v->browser()->setTextCursor(link->second);
    v->browser()->ensureCursorVisible();
    const QPoint at = v->browser()->cursorRect(link->second).center();
    QTest::mouseClick(v->browser()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(v->currentUrl().path().endsWith(QStringLiteral("/html/typing.htm")))
        << v->currentUrl().toString().toStdString();
    EXPECT_TRUE(v->backAction()->isEnabled());
    v->backAction()->trigger();
    EXPECT_TRUE(v->currentUrl().path().endsWith(QStringLiteral("/html/corv1nzi.htm")));
    EXPECT_TRUE(v->forwardAction()->isEnabled());
    v->forwardAction()->trigger();
    EXPECT_TRUE(v->currentUrl().path().endsWith(QStringLiteral("/html/typing.htm")));
    v->homeAction()->trigger();
    EXPECT_TRUE(v->currentUrl().path().endsWith(QStringLiteral("/html/corv1nzi.htm")));

    // Help again goes to the same file and page; the open viewer takes it
    // and comes back from the task bar as it was, maximised, in front.
    v->browser()->setSource(v->pageUrl(QStringLiteral("html/export.htm")));
    v->setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
    panel->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel.get()));
    panel->help_Click();
    ASSERT_EQ(openViewers().size(), 1u);
    EXPECT_TRUE(v->currentUrl().path().endsWith(QStringLiteral("/html/corv1nzi.htm")));
    EXPECT_EQ(v->windowState(), Qt::WindowMaximized);
    EXPECT_TRUE(QTest::qWaitForWindowActive(v));
    ASSERT_EQ(platform.helpRequests.size(), 2u);
    EXPECT_EQ(platform.helpRequests[0], platform.helpRequests[1]);

    // Closing the viewer leaves the editor as it was; Help opens a new one.
    v->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(v.isNull());
    EXPECT_TRUE(panel->isVisible());
    panel->help_Click();
    EXPECT_EQ(openViewers().size(), 1u);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(Help, MissingFileOrPageIsReportedByTheViewerAlone) {
    QTemporaryDir empty, damaged;
    ASSERT_TRUE(empty.isValid() && damaged.isValid());
    {
        QFile f(damaged.filePath(QStringLiteral("Tvx4_3.qch")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a help file at all");
    }
    struct Case {
        const char* what;
        QString folder;
        QString page;
        QString report;
    } cases[] = {
        {"no help file", empty.path(), StartPage, QStringLiteral("does not exist")},
        {"damaged help file", damaged.path(), StartPage, QStringLiteral("cannot be read")},
        {"missing page", test::buildProgramFolder(), QStringLiteral("html\\nothere.htm"),
         QStringLiteral("The page \"html/nothere.htm\" is not in the help file")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ViewerPlatform platform;
        platform.folder = c.folder;
        auto panel = test::openActiveMainPanel(platform);
        ASSERT_TRUE(panel);
        panel->ShowHTMLHelp(platform.programFile(QStringLiteral("\\Tvx4_3.qch")), c.page);
        ASSERT_EQ(openViewers().size(), 1u);
        HelpViewer* v = openViewers().front();
        EXPECT_TRUE(v->currentText().contains(c.report)) << v->currentText().toStdString();
        EXPECT_TRUE(
            v->currentText().contains(platform.programFile(QStringLiteral("\\Tvx4_3.qch"))));
        EXPECT_TRUE(platform.messages.empty());
        EXPECT_TRUE(panel->isVisible());
        closeViewers();
    }

    // Help again after the file was put in place: the viewer that reported
    // it missing shows the start page now, and no second window opens.
    ViewerPlatform platform;
    platform.folder = empty.path();
    auto panel = test::openActiveMainPanel(platform);
    ASSERT_TRUE(panel);
    panel->help_Click();
    ASSERT_TRUE(QFile::copy(builtHelpFile(), empty.filePath(QStringLiteral("Tvx4_3.qch"))));
    panel->help_Click();
    ASSERT_EQ(openViewers().size(), 1u);
    EXPECT_TRUE(
        openViewers().front()->currentUrl().path().endsWith(QStringLiteral("/html/corv1nzi.htm")));
    EXPECT_TRUE(openViewers().front()->homeAction()->isEnabled());
}

} // namespace
