#pragma once

#include "RecordingErrorBox.h"
#include "app/Frm_Dorvex.h"
#include "app/WindowPlatform.h"
#include "support/ScriptedAnswers.h"
#include "support/VirtualLine.h"
#include "ui_Frm_Dorvex.h"

#include <algorithm>
#include <memory>
#include <vector>

#include <QButtonGroup>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QRadioButton>

namespace qm240lx::test {

// Whether all 37 settings controls are in the given state.
inline bool allSettingsEnabled(const Frm_Dorvex& window, bool enabled)
{
    const auto controls = window.settingsControls();
    return std::all_of(controls.begin(), controls.end(),
                       [&](QWidget* control) { return control->isEnabled() == enabled; });
}

// The checked element of each group, in the order of allGroups; -1: none.
inline std::vector<int> checkedElements(const Frm_Dorvex& window)
{
    std::vector<int> checked;
    for (const Group group : allGroups)
        checked.push_back(window.group(group)->checkedId());
    return checked;
}

// The window on a virtual line with a scripted adapter and a recording error
// box, as an offscreen test drives it.
struct WindowRig
{
    explicit WindowRig(Tick start = 0x10000, int startPort = 1) : line(start, &script)
    {
        window = std::make_unique<Frm_Dorvex>(WindowPlatform{line, line, line.tick(), errorBox},
                                              startPort);
        QObject::connect(window->form().Txt_Result, &QPlainTextEdit::textChanged, [this] {
            if (const QString now = result();
                !now.isEmpty() && shown.value(shown.size() - 1) != now)
                shown << now;
        });
    }

    // The result box's text with the line breaks as the system writes them.
    QString result() const
    {
        return window->form().Txt_Result->toPlainText().replace(QLatin1Char('\n'),
                                                                QLatin1String("\r\n"));
    }
    bool checked(Group group, int element) const
    {
        return window->option(group, element)->isChecked();
    }
    // Bytes written since the last call.
    QByteArray newlyWritten()
    {
        const QByteArray all = line.written();
        const QByteArray fresh = all.mid(seen);
        seen = all.size();
        return fresh;
    }

    // Only picks the item: line.run() carries out what it started.
    void choosePort(int port)
    {
        QComboBox* list = window->form().Cmb_Port;
        list->setCurrentIndex(port - 1);
        Q_EMIT list->activated(port - 1);
    }

    // Starts on an adapter that answers the probe and reports `bytes`.
    void startOnAdapter(QByteArray bytes)
    {
        script.answer(test::bytes("fa"));
        script.answer(bytes);
        window->Form_Load();
        line.run();
        newlyWritten();
        shown.clear();
    }

    ScriptedAnswers script;
    VirtualLine line;
    RecordingErrorBox errorBox;
    QStringList shown; // every text the result box showed, in order
    std::unique_ptr<Frm_Dorvex> window;
    qsizetype seen = 0;
};

} // namespace qm240lx::test
