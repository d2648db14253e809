// The page-complete rule, driven through a browser's two events by scripts
// of event sequences with several frame identities.
#include "search/page_complete.h"

#include "tests/support/fakes.h"

#include <QTest>

using namespace vq;

namespace {

// Distinct browser objects: the top-level window and two frames.
int topObj, frame1Obj, frame2Obj;

FrameId frameNamed(const QString& name)
{
    if (name == "T")
        return &topObj;
    if (name == "F1")
        return &frame1Obj;
    if (name == "F2")
        return &frame2Obj;
    if (name == "0")
        return nullptr;
    qFatal("unknown frame %s", qPrintable(name));
    return nullptr;
}

// Runs a script: "R" resets the marker (the driver before a navigation),
// "N:x" is NavigateComplete2 and "D:x" DocumentComplete for frame x.
void run(fake::FakeBrowser& browser, PageCompleteRule& rule, const QString& script)
{
    for (const QString& step : script.split(' ', Qt::SkipEmptyParts)) {
        if (step == "R") {
            rule.reset();
        } else if (step.startsWith("N:")) {
            browser.fireNavigateComplete2(frameNamed(step.mid(2)));
        } else if (step.startsWith("D:")) {
            browser.fireDocumentComplete(frameNamed(step.mid(2)));
        } else {
            qFatal("bad step %s", qPrintable(step));
        }
    }
}

} // namespace

class PageCompleteTest : public QObject {
    Q_OBJECT

private slots:
    void sequences_data();
    void sequences();
    void attachedToABrowserThatCompletesItself();
};

void PageCompleteTest::sequences_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("marker");
    QTest::addColumn<QString>("held"); // frame name, "0" for none

    QTest::newRow("top-level page completes") << "R N:T D:T" << 9 << "0";
    QTest::newRow("frames leave the held object and the marker alone")
        << "R N:T N:F1 N:F2 D:F1 D:F2" << 0 << "T";
    QTest::newRow("top completes after its frames") << "R N:T N:F1 D:F1 N:F2 D:F2 D:T" << 9 << "0";
    QTest::newRow("frame completing first, then top") << "R N:T D:F1 D:T" << 9 << "0";
    QTest::newRow("completion with nothing held is ignored") << "R D:T" << 0 << "0";
    QTest::newRow("earlier navigation's top completion after a reset")
        << "R N:T R D:T" << 9 << "0";
    QTest::newRow("reset does not release the held object") << "R N:T R R" << 0 << "T";
    QTest::newRow("a second top NavigateComplete2 changes nothing") << "R N:T N:T D:T" << 9 << "0";
    QTest::newRow("a repeated completion keeps 9 and holds nothing") << "R N:T D:T D:T" << 9 << "0";
    QTest::newRow("frame navigating while nothing is held becomes the held object")
        << "R N:T D:T N:F1" << 9 << "F1";
    QTest::newRow("then top-level completions do not match")
        << "R N:T D:T N:F1 R N:T D:T" << 0 << "F1";
    QTest::newRow("until that frame completes")
        << "R N:T D:T N:F1 R N:T D:T D:F1" << 9 << "0";
    QTest::newRow("after which the top level is held again")
        << "R N:T D:T N:F1 R N:T D:T D:F1 R N:T" << 0 << "T";
    QTest::newRow("a null object is never held") << "R N:0 D:0" << 0 << "0";
    QTest::newRow("null completion leaves the held object") << "R N:T D:0" << 0 << "T";
}

void PageCompleteTest::sequences()
{
    QFETCH(QString, script);
    QFETCH(int, marker);
    QFETCH(QString, held);

    fake::FakeBrowser browser;
    PageCompleteRule rule;
    rule.attach(browser);
    run(browser, rule, script);
    QCOMPARE(rule.pageComplete(), marker);
    QCOMPARE(rule.complete(), marker != 0);
    QCOMPARE(rule.topFrameDispatch(), frameNamed(held));
}

void PageCompleteTest::attachedToABrowserThatCompletesItself()
{
    fake::FakeBrowser browser;
    browser.autoComplete = true;
    PageCompleteRule rule;
    rule.attach(browser);
    for (const char* url : {"http://a.cn/", "http://b.cn/"}) {
        rule.reset();
        browser.navigate(url);
        QCOMPARE(rule.pageComplete(), 9);
        QCOMPARE(rule.topFrameDispatch(), FrameId(nullptr));
    }
}

QTEST_GUILESS_MAIN(PageCompleteTest)
#include "test_page_complete.moc"
