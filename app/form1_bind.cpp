// The window's controls and the search setup, bound both ways: a control the
// user changes sets the setup (a running search hears the live ones at its
// next page), and a setup that changes (loaded from its files, "网址", a
// resume) shows in the controls. Each side is set only when it differs, so the
// two never chase each other.
#include "app/form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace vq {

namespace {

constexpr Switch kSwitches[] = {Switch::Dedup,      Switch::Links,    Switch::Fax,  Switch::LinkFilter,
                                Switch::OnlySite,   Switch::Autosave, Switch::Https, Switch::Frames, Switch::Ocr,
                                Switch::Fast,       Switch::SettleIdle};
constexpr OptionList kLists[] = {OptionList::FaxMarkers, OptionList::MustContain, OptionList::MustNotContain};

} // namespace

void TForm1::bindSetup()
{
    SearchSetup& setup = engine_->setup();

    // The setup into the controls.
    const auto showSwitch = [this, &setup](Switch s) {
        if (isChecked(s) != setup.isChecked(s))
            setChecked(s, setup.isChecked(s));
    };
    const auto showList = [this, &setup](OptionList l) {
        if (memoLines(l) != setup.list(l))
            setMemoLines(l, setup.list(l));
    };
    const auto showSpeed = [this, &setup] {
        if (speed() != setup.speed())
            setSpeed(setup.speed());
    };
    const auto showPages = [this, &setup] {
        if (pagesAtOnce() != setup.pagesAtOnce())
            setPagesAtOnce(setup.pagesAtOnce());
    };
    const auto showSiteCrawl = [this, &setup] {
        const FrontierOptions& f = setup.frontier();
        if (depth() != f.depth || follow() != f.follow)
            setSiteCrawl(f.depth, f.follow);
    };
    const auto showPath = [this, &setup] {
        if (listPath() != setup.listPath())
            setListPath(setup.listPath());
    };
    setupListener_ = setup.listen([=](const SearchSetup::Change& c) {
        switch (c.field) {
        case SearchSetup::Field::ListPath: showPath(); break;
        case SearchSetup::Field::Switch: showSwitch(c.which); break;
        case SearchSetup::Field::Speed: showSpeed(); break;
        case SearchSetup::Field::PagesAtOnce:
        case SearchSetup::Field::Lanes: showPages(); break;
        case SearchSetup::Field::List: showList(c.list); break;
        case SearchSetup::Field::Frontier: showSiteCrawl(); break;
        case SearchSetup::Field::Position:
        case SearchSetup::Field::NetCheck:
        case SearchSetup::Field::Visitor: break;
        }
    });

    // The controls into the setup.
    for (Switch s : kSwitches) {
        connect(switchBox(s), &QCheckBox::toggled, this, [this, s](bool on) {
            if (engine_)
                engine_->setup().setChecked(s, on);
        });
        showSwitch(s);
    }
    for (OptionList l : kLists) {
        connect(memo(l), &QPlainTextEdit::textChanged, this,
                [this, l] {
            if (engine_)
                engine_->setup().setList(l, memoLines(l));
        });
        showList(l);
    }
    connect(SpinEdit1->lineEdit(), &QLineEdit::textChanged, this, [this] {
        if (engine_)
            engine_->setup().setSpeed(speed());
    });
    connect(SpinEdit2->lineEdit(), &QLineEdit::textChanged, this,
            [this] {
        if (engine_)
            engine_->setup().setPagesAtOnce(pagesAtOnce());
    });
    const auto takeSiteCrawl = [this] {
        if (engine_)
            engine_->setup().setSiteCrawl(depth(), follow());
    };
    connect(DepthEdit->lineEdit(), &QLineEdit::textChanged, this, takeSiteCrawl);
    connect(FollowBox, &QComboBox::currentIndexChanged, this, takeSiteCrawl);
    connect(Edit5, &QLineEdit::textChanged, this, [this] {
        if (engine_)
            engine_->setup().setListPath(listPath());
    });
    showSpeed();
    showPages();
    showSiteCrawl();
    showPath();
}

} // namespace vq
