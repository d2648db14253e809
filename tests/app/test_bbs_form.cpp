// The URL list generator dialog: its fields and captions, generating through a
// scripted save dialog, the count labels and the error path.
#include "tests/support/files.h"
#include "app/bbs_form.h"

#include "tests/support/fakes.h"
#include "text/ansi.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <memory>
#include <sstream>

using namespace vq;

using vq::test::readBytes;
using vq::test::writeBytes;

namespace {

QStringList labelTexts(const QWidget& w)
{
    QStringList texts;
    for (const QLabel* l : w.findChildren<QLabel*>())
        texts << l->text();
    return texts;
}

} // namespace

class BbsFormTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        prompts_ = std::make_unique<fake::FakePrompts>();
        form_ = std::make_unique<TbbsForm>(*prompts_);
    }
    void cleanup() { form_.reset(); }

    void window();
    void initialTexts_data();
    void initialTexts();
    void captions();
    void oneCounterThroughTheSaveDialog();
    void twoCountersReplaceTheCountCaption();
    void badFieldLeavesTheFileAndShowsTheError_data();
    void badFieldLeavesTheFileAndShowsTheError();
    void cancelledSaveWritesNothing();

private:
    std::filesystem::path path(const char* name) const { return std::filesystem::path(dir_->path().toStdString()) / name; }
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<fake::FakePrompts> prompts_;
    std::unique_ptr<TbbsForm> form_;
};

void BbsFormTest::window()
{
    QCOMPARE(form_->objectName(), QString("bbsForm"));
    QCOMPARE(form_->windowTitle(), QString("生成URL页面地址列表"));
    QCOMPARE(form_->size(), QSize(546, 238));
    const Qt::WindowFlags f = form_->windowFlags();
    QVERIFY(f & Qt::WindowCloseButtonHint);
    QVERIFY(!(f & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(f & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(f & Qt::WindowContextHelpButtonHint));
}

void BbsFormTest::initialTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("Edit1") << "Edit1" << "http://";
    QTest::newRow("Edit2") << "Edit2" << "0";
    QTest::newRow("Edit3") << "Edit3" << "";
    QTest::newRow("Edit4") << "Edit4" << "";
    QTest::newRow("Edit12") << "Edit12" << "1";
    QTest::newRow("Edit5") << "Edit5" << "http://";
    QTest::newRow("Edit6") << "Edit6" << "0";
    QTest::newRow("Edit7") << "Edit7" << "";
    QTest::newRow("Edit9") << "Edit9" << "";
    QTest::newRow("Edit10") << "Edit10" << "0";
    QTest::newRow("Edit11") << "Edit11" << "";
    QTest::newRow("Edit8") << "Edit8" << "";
}

void BbsFormTest::initialTexts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    auto* edit = form_->findChild<QLineEdit*>(name);
    QVERIFY(edit);
    QCOMPARE(edit->text(), text);
}

void BbsFormTest::captions()
{
    QStringList labels = labelTexts(*form_);
    for (const char* caption : {"URL网址前缀", "结束计数", "URL网址后缀", "增长率", "URL网址前段", "URL网址中部",
                                "URL网址后段", "页面总数"})
        QVERIFY2(labels.contains(QString::fromUtf8(caption)), caption);
    QCOMPARE(labels.count("初始计数"), 3);
    QCOMPARE(labels.count("结束计数"), 3);
    QCOMPARE(form_->Label2->text(), QString());
    QCOMPARE(form_->Label7->text(), QString("页面总数"));
    QCOMPARE(form_->SpeedButton1->text(), QString("生成URL页面地址列表[一组计数]"));
    QCOMPARE(form_->SpeedButton2->text(), QString("生成URL页面地址列表[两组计数]"));
}

void BbsFormTest::oneCounterThroughTheSaveDialog()
{
    const auto out = path("bbs.txt");
    prompts_->fileAnswers.push_back(out);
    form_->Edit1->setText("P");
    form_->Edit2->setText("1");
    form_->Edit3->setText("3");
    form_->Edit4->setText("页");
    form_->Edit12->setText("20");
    QTest::mouseClick(form_->SpeedButton1, Qt::LeftButton);

    QCOMPARE(readBytes(out), "P20" + utf8ToAnsi("页") + "\r\nP40" + utf8ToAnsi("页") + "\r\nP60" + utf8ToAnsi("页") + "\r\n");
    QCOMPARE(form_->Label2->text(), QString("3"));
    QCOMPARE(prompts_->log.size(), size_t(1));
    QCOMPARE(prompts_->log[0].kind, std::string("save"));
    QCOMPARE(prompts_->log[0].text, std::string("BBS页面地址列表"));
    QCOMPARE(prompts_->log[0].detail, std::string("Text files|*.txt|All files|*.*|txt"));
}

void BbsFormTest::twoCountersReplaceTheCountCaption()
{
    const auto out = path("bbs.txt");
    prompts_->fileAnswers.push_back(out);
    form_->Edit5->setText("f");
    form_->Edit6->setText("1");
    form_->Edit7->setText("3");
    form_->Edit9->setText("m");
    form_->Edit10->setText("10");
    form_->Edit11->setText("999"); // shown, not read
    form_->Edit8->setText("b");
    QTest::mouseClick(form_->SpeedButton2, Qt::LeftButton);

    QCOMPARE(readBytes(out), std::string("f1m10b\r\nf2m11b\r\nf3m12b\r\n"));
    QCOMPARE(form_->Label7->text(), QString("3"));
    QCOMPARE(form_->Label2->text(), QString());
    QVERIFY(prompts_->texts("error").empty());
}

void BbsFormTest::badFieldLeavesTheFileAndShowsTheError_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::newRow("one counter, last empty") << 1 << "Edit3" << "";
    QTest::newRow("one counter, multiplier") << 1 << "Edit12" << "2x";
    QTest::newRow("two counters, second start") << 2 << "Edit10" << "1 ";
}

void BbsFormTest::badFieldLeavesTheFileAndShowsTheError()
{
    QFETCH(int, button);
    QFETCH(QString, field);
    QFETCH(QString, text);

    const auto out = path("bbs.txt");
    writeBytes(out, "keep\r\n");
    prompts_->fileAnswers.push_back(out);
    form_->Edit3->setText("5");
    form_->Edit7->setText("5");
    form_->findChild<QLineEdit*>(field)->setText(text);
    QTest::mouseClick(button == 1 ? form_->SpeedButton1 : form_->SpeedButton2, Qt::LeftButton);

    QCOMPARE(readBytes(out), std::string("keep\r\n"));
    QCOMPARE(prompts_->texts("error"),
             std::vector<std::string>{"'" + text.toStdString() + "' is not a valid integer value."});
    QCOMPARE(form_->Label2->text(), QString());
    QCOMPARE(form_->Label7->text(), QString("页面总数"));
}

void BbsFormTest::cancelledSaveWritesNothing()
{
    form_->Edit3->setText("5");
    QTest::mouseClick(form_->SpeedButton1, Qt::LeftButton);
    QTest::mouseClick(form_->SpeedButton2, Qt::LeftButton);
    QCOMPARE(prompts_->texts("save").size(), size_t(2));
    QVERIFY(prompts_->texts("error").empty());
    QCOMPARE(form_->Label2->text(), QString());
    QVERIFY(std::filesystem::is_empty(dir_->path().toStdString()));
}

QTEST_MAIN(BbsFormTest)
#include "test_bbs_form.moc"
