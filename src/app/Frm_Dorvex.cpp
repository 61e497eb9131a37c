#include "app/Frm_Dorvex.h"

#include "app/TabOrder.h"
#include "app/WindowLook.h"
#include "ui_Frm_Dorvex.h"

#include <QButtonGroup>
#include <QRadioButton>

// The resources live in a static library, where nothing else would pull them in.
static void initResources()
{
    Q_INIT_RESOURCE(qm240lx);
}

namespace qm240lx {

namespace {

QString nameOf(Group group)
{
    const std::string_view name = groupName(group);
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

QString elementName(Group group, int index)
{
    return QStringLiteral("%1_%2").arg(nameOf(group)).arg(index);
}

} // namespace

Frm_Dorvex::Frm_Dorvex(QWidget* parent)
    : QMainWindow(parent), form_(std::make_unique<Ui::Frm_Dorvex>())
{
    initResources();
    form_->setupUi(this);
    numberGroupElements();
    applyTabOrder(*this);
    applyWindowLook(*this, *form_);
}

Frm_Dorvex::~Frm_Dorvex() = default;

QButtonGroup* Frm_Dorvex::group(Group group) const
{
    return findChild<QButtonGroup*>(nameOf(group), Qt::FindDirectChildrenOnly);
}

QRadioButton* Frm_Dorvex::option(Group group, int index) const
{
    return qobject_cast<QRadioButton*>(this->group(group)->button(index));
}

// The form numbers a group's buttons from -2 downwards; the element index
// is what the procedures address them by.
void Frm_Dorvex::numberGroupElements()
{
    for (const Group each : allGroups) {
        QButtonGroup* buttons = group(each);
        for (int index = 0; index < elementCount(each); ++index)
            buttons->setId(findChild<QRadioButton*>(elementName(each, index)), index);
    }
}

} // namespace qm240lx
