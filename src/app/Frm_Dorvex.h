#pragma once

#include "settings/Group.h"

#include <memory>

#include <QMainWindow>

class QButtonGroup;
class QRadioButton;

QT_BEGIN_NAMESPACE
namespace Ui {
class Frm_Dorvex;
}
QT_END_NAMESPACE

namespace qm240lx {

// The program's one window: the port frame, the three settings tabs, the
// result box and the status bar.
class Frm_Dorvex : public QMainWindow
{
    Q_OBJECT

public:
    explicit Frm_Dorvex(QWidget* parent = nullptr);
    ~Frm_Dorvex() override;

    Ui::Frm_Dorvex& form() { return *form_; }

    // The option buttons of a selection group; their ids are their indexes.
    QButtonGroup* group(Group group) const;
    QRadioButton* option(Group group, int index) const;

private:
    void numberGroupElements();

    std::unique_ptr<Ui::Frm_Dorvex> form_;
};

} // namespace qm240lx
