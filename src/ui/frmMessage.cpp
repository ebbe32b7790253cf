#include "ui/frmMessage.h"

#include "app/Pause.h"
#include "ui/DialogOpeners.h"
#include "ui/JapaneseFont.h"
#include "ui/Pictures.h"
#include "ui/Twips.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPainter>
#include <QWindow>

namespace {

constexpr int kClientWidth = 7125;
constexpr int kClientHeight = 675;
constexpr int kAboveMainWindow = 1000;
constexpr std::chrono::milliseconds kInitialInterval{2000};
// How long a popup just shown may take to reach the screen before its text is drawn anyway.
constexpr std::chrono::milliseconds kExposePatience{300};

} // namespace

frmMessage::frmMessage(Pauser& pauser, DialogOpeners& openers, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus)
    , m_pauser(pauser)
    , m_openers(openers)
{
    setObjectName(QStringLiteral("frmMessage"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setWindowIcon(builtInWindowIcon());
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));

    lbMsg = new QLabel(this);
    lbMsg->setObjectName(QStringLiteral("lbMsg"));
    lbMsg->setGeometry(twipsRect(120, 120, 6855, 375));
    lbMsg->setFont(japaneseFont(kPopupPointSize));
    lbMsg->setTextFormat(Qt::PlainText);

    lbFormName = new QLabel(this);
    lbFormName->setObjectName(QStringLiteral("lbFormName"));
    lbFormName->setGeometry(twipsRect(120, 480, 735, 255));
    lbFormName->setTextFormat(Qt::PlainText);
    lbFormName->hide();

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setSingleShot(true);
    Timer1.setInterval(kInitialInterval);
    connect(&Timer1, &QTimer::timeout, this, &frmMessage::Timer1_Timer);
}

void frmMessage::placeAbove(const QWidget& mainWindow)
{
    const QPoint mainTopLeft = mainWindow.pos();
    move(mainTopLeft.x(), mainTopLeft.y() - twipsToPixels(kAboveMainWindow));
}

void frmMessage::ShowMessage(const QString& formName, const QString& message, std::int32_t intervalMs, bool visible)
{
    Timer1.stop();
    Timer1.setInterval(0);
    m_pauser.pause(kPausePerMessage);

    lbFormName->setText(formName);
    lbMsg->setText(message);

    // 0 means "stay until the next call"; a refused interval leaves it at 0.
    if (intervalMs > 0 && intervalMs <= kLongestInterval) {
        Timer1.setInterval(intervalMs);
        Timer1.start();
    }

    setVisible(visible);
    if (visible)
        drawNow();
}

void frmMessage::drawNow()
{
    // Callers often block right after the message (the exit pause, a port being drained),
    // so the text must be on the screen before this returns. A window just shown reaches
    // the screen only when the window system says so; wait for that alone, leaving the
    // user's input, the serial port and the timers for later.
    const QDeadlineTimer deadline(kExposePatience);
    const QWindow* window = windowHandle();
    while (window && !window->isExposed() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(
            QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers, 10);
    }
    repaint();
}

void frmMessage::Timer1_Timer()
{
    const QString name = lbFormName->text();
    Timer1.stop();
    // Names that match no dialog open nothing.
    m_openers.open(name);
    hide();
}

void frmMessage::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    // Without a frame the popup needs an edge of its own to stand out from the windows below.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (!m_painted) {
        m_painted = true;
        emit firstPainted();
    }
}
