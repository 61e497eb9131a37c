#include "WindowRig.h"
#include "app/AppStyle.h"
#include "app/ClockPanel.h"
#include "app/Frm_Dorvex.h"
#include "app/WrappingPushButton.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

// The controls the Tab key visits, in its order.
const QStringList tabChain{
    "Txt_Result",  "SSTab1",         "Opt_PP_3",    "Opt_PP_2",    "Opt_PP_1",    "Opt_PP_0",
    "Send_P",      "Hspeed_0",       "Hspeed_1",    "Hspeed_2",    "Hspeed_3",    "Hspeed_4",
    "Hspeed_5",    "Hspeed_6",       "Hspeed_7",    "CCTRL_0",     "CCTRL_1",     "FCTRL_0",
    "FCTRL_1",     "CmdSend",        "OPT_Mode_1",  "OPT_Mode_0",  "Opt_Dis_1",   "Opt_Dis_0",
    "OPT_DTime_5", "OPT_DTime_4",    "OPT_DTime_3", "OPT_DTime_2", "OPT_DTime_1", "OPT_DTime_0",
    "Send_D",      "Cmd_SaveConfig", "Cmb_Port"};

const QStringList hiddenControls{"Image1", "OPT_DTime_5", "Opt_PP_3"};

// The window's own controls, without the parts Qt builds inside them.
QList<QWidget*> controlsIn(const QWidget* parent, Qt::FindChildOptions options)
{
    QList<QWidget*> controls = parent->findChildren<QWidget*>(options);
    controls.removeIf([](const QWidget* control) {
        return control->objectName().isEmpty() || control->objectName().startsWith("qt_") ||
               qobject_cast<const QTabBar*>(control->parentWidget());
    });
    return controls;
}

// The text a control shows whole: its caption, or the port list's widest entry.
QString captionOf(const QWidget* control)
{
    if (qobject_cast<const QComboBox*>(control))
        return QStringLiteral("255");
    const char* property = qobject_cast<const QGroupBox*>(control) ? "title" : "text";
    return control->property(property).toString().remove(u'&');
}

// Whether `caption` fits the control in its own font. Radio buttons and the
// drop-down list are measured by the room they leave for it; the others by
// the size they ask for, margins included.
bool captionFits(QWidget* widget, const QString& caption)
{
    const int advance = widget->fontMetrics().horizontalAdvance(caption);
    QStyle* style = widget->style();
    if (auto* list = qobject_cast<QComboBox*>(widget)) {
        QStyleOptionComboBox option;
        option.initFrom(list);
        const QStyle::SubControl field = QStyle::SC_ComboBoxEditField;
        return advance <= style->subControlRect(QStyle::CC_ComboBox, &option, field, list).width();
    }
    if (qobject_cast<QRadioButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(widget);
        const QRect room = style->subElementRect(QStyle::SE_RadioButtonContents, &option, widget);
        return advance <= room.intersected(widget->rect()).width();
    }
    return widget->minimumSizeHint().width() <= widget->width();
}

class FrmDorvexLayoutTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { applyApplicationStyle(*qApp); }
    void SetUp() override
    {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    }
    template <typename T = QWidget> T* find(const QString& name) const
    {
        return window->findChild<T*>(name);
    }

    test::WindowRig rig;
    Frm_Dorvex* window = rig.window.get();
    QTabWidget* tabs = find<QTabWidget>("SSTab1");
};

// The save button's caption wraps: its own test below. The port list needs
// room for three digits.
TEST_F(FrmDorvexLayoutTest, CaptionsShowWholeAndOnlyTheDesignedControlsHide)
{
    for (QWidget* control : controlsIn(window, Qt::FindChildrenRecursively)) {
        const QString name = control->objectName();
        SCOPED_TRACE(name.toStdString());
        if (!name.startsWith("SSTab1_Tab")) { // the tabs show one page at a time
            EXPECT_EQ(control->isHidden(), hiddenControls.contains(name));
        }
        const QString caption = captionOf(control);
        if (caption.isEmpty() || qobject_cast<WrappingPushButton*>(control))
            continue;
        EXPECT_TRUE(captionFits(control, caption)) << caption.toStdString();
        EXPECT_LE(control->fontMetrics().height(), control->height());
    }
    for (int index = 0; index < tabs->count(); ++index) {
        const QRect tab = tabs->tabBar()->tabRect(index);
        EXPECT_LE(tabs->tabBar()->fontMetrics().horizontalAdvance(tabs->tabText(index)),
                  tab.width());
        EXPECT_EQ(tab.top(), 0) << "one row of tabs";
    }
}

TEST_F(FrmDorvexLayoutTest, SaveButtonWrapsItsCaptionInsideItself)
{
    auto* button = find<WrappingPushButton>("Cmd_SaveConfig");
    const QRect area = button->captionArea();
    const QRect needed =
        button->fontMetrics().boundingRect(area, button->captionFlags(), button->text());
    EXPECT_TRUE(button->rect().contains(area));
    EXPECT_TRUE(area.contains(needed)) << "needs " << needed.width() << "x" << needed.height();
    EXPECT_GT(needed.height(), button->fontMetrics().height()) << "more than one line";
    EXPECT_EQ(QKeySequence::mnemonic(button->text()), QKeySequence(Qt::ALT | Qt::Key_S));
}

// The chain is followed round from the result box; every other control of
// the window keeps out of it.
TEST_F(FrmDorvexLayoutTest, TabKeyVisitsTheControlsInTheirOrder)
{
    const QList<QWidget*> controls = controlsIn(window, Qt::FindChildrenRecursively);
    QWidget* const start = find(tabChain.front());
    QStringList chain;
    QWidget* widget = start;
    do {
        if (controls.contains(widget) && widget->focusPolicy() & Qt::TabFocus)
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != start && chain.size() <= tabChain.size());
    EXPECT_EQ(chain.join(u' ').toStdString(), tabChain.join(u' ').toStdString());
}

TEST_F(FrmDorvexLayoutTest, WindowHasAFixedClientAreaPicturesAndIcons)
{
    EXPECT_EQ(window->windowTitle(), "Communication Setting for VEL-QM240LX");
    EXPECT_EQ(window->size(), QSize(541, 486));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    for (const char* name : {"Picture1", "Image1", "Image2", "Image3"})
        EXPECT_FALSE(find<QLabel>(name)->pixmap().isNull()) << name;
    EXPECT_FALSE(window->windowIcon().isNull());
}

// The result box is a plain text box: the user may type into it (the next
// command replaces the whole text anyway), and Tab moves on to the next control.
TEST_F(FrmDorvexLayoutTest, ResultBoxTakesWhatTheUserTypes)
{
    auto* box = find<QPlainTextEdit>("Txt_Result");
    window->activateWindow();
    box->setFocus();
    QTest::keyClicks(box, "noted");
    QTest::keyClick(box, Qt::Key_Tab);
    EXPECT_EQ(box->toPlainText().toStdString(), "noted");
    EXPECT_FALSE(box->hasFocus());
}

// What a user sees: the status bar's date and time move on by themselves
// when the clock does, nothing else in the window asking them to.
TEST(ClockPanelTest, PanelsFollowTheClockByThemselves)
{
    QDateTime reading(QDate(2008, 3, 10), QTime(23, 59, 30));
    ClockPanel date(ClockPanel::Shows::Date, nullptr, [&reading] { return reading; });
    ClockPanel time(ClockPanel::Shows::Time, nullptr, [&reading] { return reading; });
    const QString dateBefore = date.text();
    const QString timeBefore = time.text();
    EXPECT_TRUE(dateBefore.contains("10")) << dateBefore.toStdString();
    EXPECT_TRUE(timeBefore.contains("59")) << timeBefore.toStdString();
    reading = reading.addSecs(60);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return date.text() != dateBefore && time.text() != timeBefore; }, 5000));
    EXPECT_TRUE(date.text().contains("11")) << date.text().toStdString();
    EXPECT_FALSE(time.text().contains("59")) << time.text().toStdString();
}

} // namespace
} // namespace qm240lx
