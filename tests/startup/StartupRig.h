#pragma once

#include "app/Settings.h"
#include "startup/Program.h"
#include "startup/StartupSequence.h"
#include "ui/frmMessage.h"

#include "AdapterSimulator.h"
#include "support/RecordingBrowserLauncher.h"
#include "support/RecordingPauser.h"
#include "support/RecordingTaskTray.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/StateCodePrinter.h"
#include "support/TempAppDir.h"
#include "support/TraceCapture.h"

#include <QStringList>

#include <chrono>
#include <deque>
#include <initializer_list>
#include <memory>
#include <stdexcept>

/// A first start on a desk: the shipped settings with `keys` written over them, an adapter
/// of the model `model` simulated on COM3, the program's parts with recording seams and the
/// main window loaded hidden, ready for the start-up. Each step dialog records that it was
/// shown and moves `appState` to the next entry of `dialogAnswers` (unchanged when empty).
/// Calls open `browser`, or with `Browser::Desktop` the desktop's browser (`BROWSER`).
struct StartupRig
{
    struct Key
    {
        const char* section;
        const char* key;
        QString value;
    };

    enum class Browser
    {
        Recording,
        Desktop
    };

    explicit StartupRig(std::initializer_list<Key> keys, const QString& model = QStringLiteral("CTI-INS100"),
                        Browser opens = Browser::Recording)
    {
        dir.copyShippedSettings();
        sim = std::make_unique<AdapterSimulator>(AdapterSimProfile::load(dir.settingsPath(), model));
        if (!sim->isValid())
            throw std::runtime_error(sim->errorString().toStdString());
        const SharedState setup = dir.makeState();
        WriteIni(setup, "PORTS", "COM3", sim->portPath());
        WriteIni(setup, "SYSTEM", "debugmode", "True");
        for (const Key& k : keys)
            WriteIni(setup, QLatin1String(k.section), QLatin1String(k.key), k.value);
        settingsBefore = dir.settingsBytes();

        program = std::make_unique<Program>(
            dir.path(), ProgramSeams{boxes, pauser, tray, opens == Browser::Recording ? &browser : nullptr});
        ReadWriteAppSettings(program->state, QStringLiteral("READ"));
        window = &program->loadMainWindow();
        const auto step = [this](AppStateCode shown) {
            return [this, shown] {
                stepsShown.push_back(shown);
                popupVisibleAtFirstStep.push_back(window->popup().isVisible());
                if (!dialogAnswers.empty()) {
                    program->state.appState = dialogAnswers.front();
                    dialogAnswers.pop_front();
                }
            };
        };
        startup = std::make_unique<StartupSequence>(
            program->state, boxes, pauser, program->comm, *window,
            StepDialogs{step(AppStateCode::AdapterStep), step(AppStateCode::CtiStep), step(AppStateCode::UrlStep)});
        startup->setReplyWait(std::chrono::milliseconds(400));

        // What went to the adapter and the pauses, in the order they happened.
        pauser.onPause = [this](std::chrono::milliseconds pause) {
            takeSends();
            timeline.append(QStringLiteral("pause %1").arg(pause.count()));
        };
    }

    /// The start-up shows the program's own settings dialogs instead of recording steps.
    void useProgramDialogs()
    {
        startup = std::make_unique<StartupSequence>(program->state, boxes, pauser, program->comm, *window,
                                                    program->stepDialogs());
        startup->setReplyWait(std::chrono::milliseconds(400));
    }

    ~StartupRig()
    {
        pauser.onPause = nullptr;
        startup.reset();
        program.reset();
    }

    /// The commands sent so far, joined to the timeline.
    void takeSends()
    {
        for (; traceSeen < trace.lines.size(); ++traceSeen) {
            const QString& line = trace.lines.at(traceSeen);
            if (line.startsWith(QLatin1String("****SND--")))
                timeline.append(line.mid(9).section(u'[', 0, 0));
        }
    }

    /// The timeline without the 100 ms pauses (the popup's and the reply wait's polls).
    QStringList sendsAndLongPauses()
    {
        takeSends();
        QStringList result = timeline;
        result.removeAll(QStringLiteral("pause 100"));
        return result;
    }

    SharedState& state() { return program->state; }

    TraceCapture trace;
    TempAppDir dir;
    std::unique_ptr<AdapterSimulator> sim;
    QByteArray settingsBefore;
    ScriptedMessageBoxes boxes;
    RecordingPauser pauser;
    RecordingTaskTray tray;
    RecordingBrowserLauncher browser;
    std::unique_ptr<Program> program;
    frmTerminal* window = nullptr;
    std::unique_ptr<StartupSequence> startup;

    std::deque<AppStateCode> dialogAnswers;
    std::vector<AppStateCode> stepsShown;
    std::vector<bool> popupVisibleAtFirstStep;
    QStringList timeline;
    qsizetype traceSeen = 0;
};
