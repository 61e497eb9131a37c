#pragma once

#include <QPushButton>

namespace qm240lx {

// A command button whose caption wraps over centred lines, as on Windows,
// when it is too long for one line. text() stays the whole caption, so the
// access key and the accessible name work as on any QPushButton.
class WrappingPushButton : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;

    // Where the caption is drawn, and how.
    QRect captionArea() const;
    int captionFlags() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect captionArea(const QStyleOptionButton& option) const;
};

} // namespace qm240lx
