// The real main window, offscreen, with scripted prompts, a connected host and
// a fresh program directory, ready to run a search over pages served on
// 127.0.0.1. Notes what the browser held at each completion. Header-only; a
// test using it links vq_gui.
#pragma once

#include "app/form1.h"
#include "app/qt_text.h"
#include "tests/support/event_wait.h"
#include "tests/support/fakes.h"
#include "text/text_file.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTreeView>

#include <exception>
#include <map>
#include <memory>

namespace vq::test {

class SearchWindow {
public:
    // What the browser held at a completion.
    struct Seen {
        int completions = 0; // DocumentComplete events while this line was current
        QString location;
        int offered = 0;     // links in the document
        qsizetype textBytes = 0; // code page 936 bytes of the body text
        qint64 atMs = 0;     // the last completion, from start()
    };

    // `programDir`: another window's directory (a restart); default a fresh one.
    explicit SearchWindow(const std::filesystem::path& programDir = {})
    {
        TForm1::Options options;
        options.prompts = &prompts;
        options.host = &host; // a routable address: connected
        options.programDir = programDir.empty() ? toPath(dir.path()) : programDir;
        form = std::make_unique<TForm1>(options);
        form->show();

        // Ahead of the page rule, so that the rule still sees every event.
        Browser& browser = form->engine().ports.browser;
        auto rule = browser.onDocumentComplete;
        browser.onDocumentComplete = [this, &browser, rule](FrameId frame, const AnsiString& url) {
            Seen& s = seen[form->engine().session.lanes().linesRead()];
            ++s.completions;
            s.atMs = clock_.isValid() ? clock_.elapsed() : 0;
            try {
                s.location = toQString(browser.locationUrl());
                s.offered = browser.linkCount();
                s.textBytes = qsizetype(browser.bodyText().size());
            } catch (const std::exception& e) {
                s.location = QStringLiteral("unreadable: ") + QString::fromUtf8(e.what());
            }
            rule(frame, url);
        };
    }

    // Writes the URL list (code page 936, one line each) into the program
    // directory and chooses it through the "网址" command's open dialog.
    QString chooseList(const QString& fileName, const QStringList& lines)
    {
        std::vector<AnsiString> ansi;
        for (const QString& line : lines)
            ansi.push_back(toAnsi(line));
        const QString path = dir.filePath(fileName);
        writeAllLines(toPath(path), ansi);
        prompts.fileAnswers = {toPath(path)};
        form->N1Click();
        return path;
    }

    // Speed 1, links, fax and dedup on, link filter on with its lines as they are.
    void setSearchOptions()
    {
        form->setSpeed(1);
        form->setChecked(Switch::Links, true);
        form->setChecked(Switch::Fax, true);
        form->setChecked(Switch::Dedup, true);
        form->setChecked(Switch::LinkFilter, true);
    }

    // Starts the search ("搜索").
    void start()
    {
        clock_.start();
        form->N2Click();
    }
    // Runs the event loop until the status panel shows the search's end; false
    // when it did not end in time.
    bool waitForEnd(int timeoutMs)
    {
        const bool ended = waitFor([this] { return form->panel(8) == "搜索已经结束!"; }, timeoutMs);
        elapsedMs = clock_.elapsed();
        return ended;
    }

    static QStringList rows(const QTreeView* view)
    {
        const QAbstractItemModel* model = view->model();
        QStringList out;
        for (int i = 0; i < model->rowCount(); ++i)
            out << model->index(i, 0).data().toString();
        return out;
    }
    QStringList faxRows() const { return rows(form->ListView4); }
    QStringList linkRows() const { return rows(form->ListView3); }

    QTemporaryDir dir;
    fake::FakePrompts prompts;
    fake::FakeHostLookup host;
    std::unique_ptr<TForm1> form;
    std::map<int, Seen> seen; // by ProgressIndex
    qint64 elapsedMs = 0;     // from start() to the end seen by waitForEnd()

private:
    QElapsedTimer clock_;
};

} // namespace vq::test
