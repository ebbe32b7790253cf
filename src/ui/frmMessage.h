#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdint>

class DialogOpeners;
class Pauser;

/// The message popup: one line of text just above the main window, without a frame, a
/// task-bar entry or the keyboard focus, that can also open a settings dialog by name when
/// its timer elapses. Everything goes through `ShowMessage`.
class frmMessage final : public QWidget
{
    Q_OBJECT

public:
    static constexpr auto kPausePerMessage = std::chrono::milliseconds(100);
    /// Intervals the popup's timer takes; any other is refused and the popup then stays.
    static constexpr std::int32_t kLongestInterval = 65535;

    frmMessage(Pauser& pauser, DialogOpeners& openers, QWidget* parent = nullptr);

    /// Shows `message` (or hides the popup when `visible` is false) and, `intervalMs` later,
    /// opens the dialog `formName` ("" opens nothing) and hides. 0 or a refused interval
    /// keeps the popup as it is until the next call. Cancels what an earlier call left
    /// pending, and blocks for kPausePerMessage.
    void ShowMessage(const QString& formName, const QString& message, std::int32_t intervalMs, bool visible);

    /// Puts the popup's top edge 1000 twips above the top edge of `mainWindow`, left edges
    /// aligned.
    void placeAbove(const QWidget& mainWindow);

    /// The timer action: opens the dialog named in `lbFormName`, then hides the popup.
    void Timer1_Timer();

    QLabel* lbMsg = nullptr;
    QLabel* lbFormName = nullptr;
    QTimer Timer1;

signals:
    /// The popup has been painted for the first time.
    void firstPainted();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawNow();

    bool m_painted = false;
    Pauser& m_pauser;
    DialogOpeners& m_openers;
};
