#include "WindowRig.h"
#include "app/AppStyle.h"
#include "app/ClockPanel.h"
#include "app/Frm_Dorvex.h"
#include "app/WrappingPushButton.h"
#include "settings/Group.h"

#include <map>
#include <optional>

#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QStatusBar>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

// The window as designed: geometry in twips, relative to the container, but
// relative to SSTab1 (tab band included) for the controls on its pages.
struct Control
{
    const char *name, *kind, *container;
    std::optional<QString> caption; // none: the control has no caption
    int left, top, width, height;
    int tab; // -1: no tab index

    QRect pixels() const { return {left / 15, top / 15, width / 15, height / 15}; }
};

const std::vector<Control> controls{
    {"Picture1", "QLabel", "centralwidget", std::nullopt, 30, 60, 3555, 735, 42},
    {"Frame1", "QGroupBox", "centralwidget", "COM &PORT", 390, 2100, 1425, 3375, 1},
    {"Cmb_Port", "QComboBox", "Frame1", std::nullopt, 570, 810, 705, 315, 44},
    {"Cmd_SaveConfig", "qm240lx::WrappingPushButton", "Frame1", "&Save Config into Flash", 120,
     2130, 1155, 1065, 41},
    {"Label3", "QLabel", "Frame1", "Port", 150, 870, 375, 255, 45},
    {"SSTab1", "QTabWidget", "centralwidget", std::nullopt, 240, 1470, 7605, 4125, 4},
    {"Txt_Result", "QPlainTextEdit", "centralwidget", std::nullopt, 270, 5730, 7545, 1065, 3},
    {"StatusBar1", "QStatusBar", "Frm_Dorvex", std::nullopt, 0, 6945, 8115, 345, 2},
    {"Label4", "QLabel", "centralwidget", "Release Date : 03/10/2008", 5640, 420, 2505, 225, 46},
    {"Label2", "QLabel", "centralwidget", "VEL-QM240LX V1.0.0", 6180, 180, 1845, 225, 43},
    {"Label1", "QLabel", "centralwidget", "DORVEX for VEL - QM240LX", 60, 990, 7995, 525, 0},
    {"Frame2", "QGroupBox", "SSTab1_Tab0", "RS-232 &Baudrate (bps)", 1830, 660, 5115, 1665, 11},
    {"Frame4", "QGroupBox", "SSTab1_Tab0", "Ignore &DSR", 1830, 2310, 2565, 1095, 23},
    {"Frame3", "QGroupBox", "SSTab1_Tab0", "Ignore &CTS", 4410, 2310, 2535, 1095, 20},
    {"CmdSend", "QPushButton", "SSTab1_Tab0", "Send ", 1800, 3450, 5145, 585, 26},
    {"Frame5", "QGroupBox", "SSTab1_Tab1", "Mode", 1710, 840, 2775, 1095, 27},
    {"Frame6", "QGroupBox", "SSTab1_Tab1", "Discovery Slot", 4500, 840, 2715, 1095, 30},
    {"Frame7", "QGroupBox", "SSTab1_Tab1", "Discovery Time(Sec)", 1710, 1920, 5505, 1095, 33},
    {"Send_D", "QPushButton", "SSTab1_Tab1", "Send ", 1680, 3060, 5535, 585, 40},
    {"Frame8", "QGroupBox", "SSTab1_Tab2", "Primary Protocol", 1770, 960, 5565, 1965, 5},
    {"Send_P", "QPushButton", "SSTab1_Tab2", "Send ", 1770, 3120, 5535, 585, 10},
    {"Image1", "QLabel", "Frame2", std::nullopt, 2160, 360, 480, 480, -1},
    {"Image2", "QLabel", "Frame3", std::nullopt, 390, 240, 480, 480, -1},
    {"Image3", "QLabel", "Frame4", std::nullopt, 270, 240, 480, 480, -1},
    {"Hspeed_0", "QRadioButton", "Frame2", "1200", 810, 240, 855, 315, 12},
    {"Hspeed_1", "QRadioButton", "Frame2", "2400", 810, 600, 855, 315, 13},
    {"Hspeed_2", "QRadioButton", "Frame2", "4800", 810, 960, 855, 315, 14},
    {"Hspeed_3", "QRadioButton", "Frame2", "9600", 810, 1320, 855, 315, 15},
    {"Hspeed_4", "QRadioButton", "Frame2", "19200", 3120, 210, 855, 315, 16},
    {"Hspeed_5", "QRadioButton", "Frame2", "38400", 3120, 570, 855, 315, 17},
    {"Hspeed_6", "QRadioButton", "Frame2", "57600", 3120, 930, 855, 315, 18},
    {"Hspeed_7", "QRadioButton", "Frame2", "115200", 3120, 1290, 855, 315, 19},
    {"CCTRL_0", "QRadioButton", "Frame3", "YES", 1050, 330, 615, 255, 21},
    {"CCTRL_1", "QRadioButton", "Frame3", "NO", 1050, 660, 615, 255, 22},
    {"FCTRL_0", "QRadioButton", "Frame4", "YES", 1020, 330, 615, 255, 24},
    {"FCTRL_1", "QRadioButton", "Frame4", "NO", 1020, 690, 615, 255, 25},
    {"OPT_Mode_0", "QRadioButton", "Frame5", "Primary / Secondary", 330, 300, 1845, 255, 29},
    {"OPT_Mode_1", "QRadioButton", "Frame5", "Secondary only", 330, 570, 1845, 375, 28},
    {"Opt_Dis_0", "QRadioButton", "Frame6", "One", 300, 300, 1005, 285, 32},
    {"Opt_Dis_1", "QRadioButton", "Frame6", "Six", 300, 630, 1005, 285, 31},
    {"OPT_DTime_0", "QRadioButton", "Frame7", "1", 600, 450, 525, 255, 39},
    {"OPT_DTime_1", "QRadioButton", "Frame7", "2", 1365, 450, 525, 255, 38},
    {"OPT_DTime_2", "QRadioButton", "Frame7", "3", 2130, 450, 525, 255, 37},
    {"OPT_DTime_3", "QRadioButton", "Frame7", "4", 2910, 450, 525, 255, 36},
    {"OPT_DTime_4", "QRadioButton", "Frame7", "5", 3675, 450, 525, 255, 35},
    {"OPT_DTime_5", "QRadioButton", "Frame7", "6", 4440, 450, 525, 255, 34},
    // 1395 rather than 1305 wide: Tahoma needs 73 px for the caption.
    {"Opt_PP_0", "QRadioButton", "Frame8", "IrComm 9-wire", 900, 630, 1395, 225, 9},
    {"Opt_PP_1", "QRadioButton", "Frame8", "IrLPT", 3390, 645, 1485, 225, 8},
    {"Opt_PP_2", "QRadioButton", "Frame8", "OBEX Transport", 900, 1125, 1755, 225, 7},
    {"Opt_PP_3", "QRadioButton", "Frame8", "IrSocket", 3390, 1140, 1305, 225, 6},
};

const QStringList hiddenControls{"Image1", "OPT_DTime_5", "Opt_PP_3"};

std::optional<QString> captionOf(const QWidget* widget)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (const auto* frame = qobject_cast<const QGroupBox*>(widget))
        return frame->title();
    if (const auto* label = qobject_cast<const QLabel*>(widget); label && label->pixmap().isNull())
        return label->text();
    return std::nullopt;
}

// On Unix Qt gives a drop-down list's current item as its name; the name set
// for it is the widget's property.
QString accessibleNameOf(QWidget* widget)
{
    return qobject_cast<QComboBox*>(widget)
               ? widget->accessibleName()
               : QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
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
        return window->objectName() == name ? qobject_cast<T*>(window)
                                            : window->findChild<T*>(name);
    }

    test::WindowRig rig;
    Frm_Dorvex* window = rig.window.get();
    QTabWidget* tabs = find<QTabWidget>("SSTab1");
};

// Screen readers get the caption, or the control's name where it has none.
// The port list needs room for three digits.
TEST_F(FrmDorvexLayoutTest, ControlsAreAsDesignedWithCaptionsThatFitAndAccessibleNames)
{
    for (const Control& control : controls) {
        SCOPED_TRACE(control.name);
        QWidget* widget = find(control.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), control.kind);
        EXPECT_EQ(widget->parentWidget()->objectName(), control.container);
        EXPECT_EQ(captionOf(widget), control.caption);
        const QWidget* origin =
            QString(control.container).startsWith("SSTab1_Tab") ? tabs : widget->parentWidget();
        EXPECT_EQ(QRect(widget->mapTo(origin, QPoint()), widget->size()), control.pixels());
        EXPECT_EQ(widget->isHidden(), hiddenControls.contains(control.name));
        const QString caption = control.caption.value_or("").remove(u'&');
        EXPECT_EQ(accessibleNameOf(widget), control.caption ? caption : control.name);
        const QString shown = qobject_cast<QComboBox*>(widget) ? "255" : caption;
        if (shown.isEmpty() || qobject_cast<WrappingPushButton*>(widget))
            continue;
        EXPECT_TRUE(captionFits(widget, shown));
        EXPECT_LE(widget->fontMetrics().height(), widget->height());
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

// One row of tabs 500 twips high; the port frame stays on top and usable on every tab.
TEST_F(FrmDorvexLayoutTest, TabsShowTheirPagesBelowTheBandAndUnderThePortFrame)
{
    const QStringList captions{"Host Settings", "Discovery Timing Settings",
                               "Primary Protocol Settings"};
    ASSERT_EQ(tabs->count(), captions.size());
    EXPECT_EQ(tabs->currentIndex(), 0);
    auto* save = find("Cmd_SaveConfig");
    for (int index = 0; index < captions.size(); ++index) {
        SCOPED_TRACE(index);
        const QRect tab = tabs->tabBar()->tabRect(index);
        EXPECT_EQ(tabs->tabText(index), captions[index]);
        EXPECT_EQ(tabs->widget(index)->objectName(), QString("SSTab1_Tab%1").arg(index));
        EXPECT_EQ(QPair(tab.top(), tab.height()), QPair(0, 33));
        EXPECT_LE(tabs->tabBar()->fontMetrics().horizontalAdvance(captions[index]), tab.width());
        tabs->setCurrentIndex(index);
        const QPoint middle = save->mapTo(window->centralWidget(), save->rect().center());
        EXPECT_EQ(window->centralWidget()->childAt(middle), save);
    }
    EXPECT_EQ(tabs->tabBar()->tabRect(2).right(), tabs->width() - 1) << "one row over the width";
}

TEST_F(FrmDorvexLayoutTest, TabKeyFollowsTheTabIndexes)
{
    std::map<int, QString> byTabIndex;
    for (const Control& control : controls) {
        if (control.tab >= 0 && find(control.name)->focusPolicy() != Qt::NoFocus)
            byTabIndex[control.tab] = control.name;
    }
    QStringList expected;
    for (const auto& [tab, name] : byTabIndex)
        expected << name;
    ASSERT_EQ(expected.size(), 33) << "the focusable controls with a tab index";
    QStringList chain;
    QWidget* widget = find(expected.front());
    do {
        if (expected.contains(widget->objectName()))
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != find(expected.front()));
    EXPECT_EQ(chain, expected);
}

TEST_F(FrmDorvexLayoutTest, SelectionGroupsAreExclusiveAndNumberedByIndex)
{
    for (const Group group : allGroups) {
        const QString name = QString::fromLatin1(groupName(group).data());
        EXPECT_TRUE(window->group(group)->exclusive()) << name.toStdString();
        for (int index = 0; index < elementCount(group); ++index)
            EXPECT_EQ(window->option(group, index), find(QString("%1_%2").arg(name).arg(index)));
    }
}

// Bold text in Liberation Sans, the rest in Tahoma, standing in for MS Sans Serif.
TEST_F(FrmDorvexLayoutTest, FontsAreTheStandInsAtTheirSizes)
{
    const QStringList bold{"Frame1", "Frame2", "Frame3", "Frame4", "Frame5",        "Frame6",
                           "Frame7", "Frame8", "Label2", "Label4", "Cmd_SaveConfig"};
    for (const QString& name :
         bold + QStringList{"Frm_Dorvex", "Hspeed_7", "Cmb_Port", "Label3", "Opt_PP_0", "CmdSend",
                            "Txt_Result", "StatusBar1_Panel1", "Label1"}) {
        SCOPED_TRACE(name.toStdString());
        const QFontInfo font(find(name)->font());
        EXPECT_DOUBLE_EQ(find(name)->font().pointSizeF(), name == "Label1" ? 13.5 : 8.25);
        EXPECT_EQ(font.bold(), bold.contains(name));
        EXPECT_EQ(font.family(), bold.contains(name) ? "Liberation Sans" : "Tahoma");
    }
}

// Sampled where nothing else is drawn: inside the bevels, clear of captions.
TEST_F(FrmDorvexLayoutTest, ColoursShowOnScreen)
{
    const QColor sendFace(192, 255, 192), inactiveBorder(212, 208, 200);
    const std::tuple<const char*, QPoint, QColor> samples[] = {
        {"CmdSend", {4, 4}, sendFace},
        {"Send_D", {4, 4}, sendFace},
        {"Send_P", {4, 4}, sendFace},
        {"Cmd_SaveConfig", {4, 4}, QColor(192, 192, 255)},
        {"Label1", {4, 4}, Qt::white},
        {"Frame2", {170, 106}, inactiveBorder},
        {"SSTab1", {490, 200}, QColor(224, 224, 224)},
        {"centralwidget", {300, 8}, inactiveBorder}};
    for (const auto& [name, where, colour] : samples)
        EXPECT_EQ(find(name)->grab().toImage().pixelColor(where), colour) << name;
}

TEST_F(FrmDorvexLayoutTest, WindowHasAFixedClientAreaPicturesAndIcons)
{
    EXPECT_EQ(window->windowTitle(), "Communication Setting for VEL-QM240LX");
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(find<QLabel>("Picture1")->pixmap().size(), QSize(255, 50));
    for (const char* name : {"Image1", "Image2", "Image3"})
        EXPECT_EQ(find<QLabel>(name)->pixmap().size(), QSize(32, 32)) << name;
    const QList<QSize> iconSizes = window->windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(32, 32)));
}

// Panels 2 and 3 show the date and the time, kept up to date by the clock.
TEST_F(FrmDorvexLayoutTest, StatusBarAtTheBottomHasFourPanels)
{
    auto* bar = find<QStatusBar>("StatusBar1");
    EXPECT_EQ(window->statusBar(), bar);
    EXPECT_FALSE(bar->isSizeGripEnabled());
    const int widthsInTwips[] = {3741, 1440, 1440, 1440};
    QStringList texts;
    int right = -1;
    for (int number = 1; number <= 4; ++number) {
        auto* panel = find<QLabel>(QString("StatusBar1_Panel%1").arg(number));
        ASSERT_NE(panel, nullptr);
        EXPECT_TRUE(panel->isVisible() && panel->parentWidget() == bar) << number;
        EXPECT_EQ(panel->width(), qRound(widthsInTwips[number - 1] / 15.0)) << number;
        EXPECT_GT(panel->x(), std::exchange(right, panel->geometry().right())) << number;
        EXPECT_LE(panel->fontMetrics().horizontalAdvance(panel->text()),
                  panel->contentsRect().width())
            << number;
        texts << panel->text();
    }
    EXPECT_EQ(texts[0], "Communication Setting Tool for VEL- QM240LX");
    EXPECT_EQ(texts[3], "Velorin");
    EXPECT_TRUE(QLocale::system().toDate(texts[1], QLocale::ShortFormat).isValid());
    EXPECT_TRUE(QLocale::system().toTime(texts[2], QLocale::ShortFormat).isValid());
}

TEST(ClockPanelTest, FollowsTheClockOnEveryTick)
{
    QDateTime reading(QDate(2008, 3, 10), QTime(23, 59, 30));
    ClockPanel date(ClockPanel::Shows::Date, nullptr, [&reading] { return reading; });
    ClockPanel time(ClockPanel::Shows::Time, nullptr, [&reading] { return reading; });
    for (int tick = 0; tick < 2; ++tick) {
        EXPECT_EQ(date.text(), QLocale::system().toString(reading.date(), QLocale::ShortFormat));
        EXPECT_EQ(time.text(), QLocale::system().toString(reading.time(), QLocale::ShortFormat));
        reading = reading.addSecs(60);
        for (ClockPanel* panel : {&date, &time}) {
            auto* timer = panel->findChild<QTimer*>();
            ASSERT_TRUE(timer && timer->isActive() && timer->interval() <= 1000);
            ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection));
        }
    }
}

} // namespace
} // namespace qm240lx
