#include "shell/desktop/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QScreen>
#include <QSystemTrayIcon>

#include "outbox/sending/figures_line.h"
#include "shell/desktop/program_icon.h"

namespace velocast {

QString programVersion() { return QStringLiteral(VELOCAST_VERSION); }
QString windowCaption() { return QStringLiteral("Velocast - ") + programVersion() + QLatin1Char('v'); }

namespace {

// The window was drawn for 96 dots per inch; sizes and places are given at that density.
constexpr int kClientWidth = 329;
constexpr int kClientHeight = 152;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, const QColor& colour, int left, int top) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(TFRMVelocast::labelFont());
    if (colour.isValid()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    }
    label->setProperty("designLeft", left);
    label->setProperty("designTop", top);
    return label;
}

}  // namespace

QFont TFRMVelocast::labelFont() {
    // Where the font the window was drawn with is missing, the fonts made to its measure come
    // first: a wider face would run the captions into the figures.
    static const bool substitutesSet = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                                    QStringLiteral("Arimo"), QStringLiteral("Arial"), QStringLiteral("Helvetica"),
                                    QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")});
        return true;
    }();
    (void)substitutesSet;
    QFont font(QStringLiteral("MS Sans Serif"), 12);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

TFRMVelocast::TFRMVelocast(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FRMVelocast"));
    // A title, a fixed border and no buttons at all: the window is closed with Sair or hides
    // by itself, and it is never minimised, maximised or resized by hand.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(windowCaption());
    setWindowIcon(programIcon());
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(215, 237, 251));
    setPalette(palette);
    setAutoFillBackground(true);
    QFont windowFont(QStringLiteral("MS Sans Serif"), 8);
    windowFont.setStyleHint(QFont::SansSerif);
    setFont(windowFont);

    Label2 = makeLabel(this, "Label2", QStringLiteral("Total de Alunos enviados :"), QColor(0, 128, 0), 9, 17);
    LBLENVIADOS = makeLabel(this, "LBLENVIADOS", QStringLiteral("0"), QColor(), 217, 17);
    Label1 = makeLabel(this, "Label1", QStringLiteral("Total de Alunos pendêntes :"), QColor(0, 128, 128), 9, 55);
    LBLPENDENTES = makeLabel(this, "LBLPENDENTES", QStringLiteral("0"), QColor(), 217, 57);
    Label3 = makeLabel(this, "Label3", QStringLiteral("Total de E-mails inválidos :"), QColor(255, 0, 0), 9, 94);
    LBLINVALIDOS = makeLabel(this, "LBLINVALIDOS", QStringLiteral("0"), QColor(), 217, 96);

    BBNRETORNA = new QToolButton(this);
    BBNRETORNA->setObjectName(QStringLiteral("BBNRETORNA"));
    BBNRETORNA->setToolTip(QStringLiteral("Sair"));
    BBNRETORNA->setIcon(exitPicture());
    BBNRETORNA->setIconSize(QSize(scaled(16), scaled(16)));
    BBNRETORNA->setGeometry(scaled(285), scaled(119), scaled(35), scaled(30));
    connect(BBNRETORNA, &QToolButton::clicked, this, &QWidget::close);

    // Left of Sair, in the window's own small font: it must not push the figures about.
    LBLSERVIDOR = new QLabel(this);
    LBLSERVIDOR->setObjectName(QStringLiteral("LBLSERVIDOR"));
    LBLSERVIDOR->setTextFormat(Qt::PlainText);
    LBLSERVIDOR->setGeometry(scaled(9), scaled(126), scaled(270), scaled(18));
    LBLSERVIDOR->hide();

    for (QLabel* label : {Label2, LBLENVIADOS, Label1, LBLPENDENTES, Label3, LBLINVALIDOS}) {
        label->move(scaled(label->property("designLeft").toInt()), scaled(label->property("designTop").toInt()));
        label->adjustSize();
    }
    setFixedSize(scaled(kClientWidth), scaled(kClientHeight));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    pmnuiOpen = PopupMenu1->addAction(QStringLiteral("Abrir"));
    pmnuiOpen->setObjectName(QStringLiteral("pmnuiOpen"));
    pmnuiLimpa = PopupMenu1->addAction(QStringLiteral("Exclusão de Alunos pendêntes"));
    pmnuiLimpa->setObjectName(QStringLiteral("pmnuiLimpa"));
    pmnuiHistorico = PopupMenu1->addAction(tr("History…"));
    pmnuiHistorico->setObjectName(QStringLiteral("pmnuiHistorico"));
    pmnuiExit = PopupMenu1->addAction(QStringLiteral("Finalizar"));
    pmnuiExit->setObjectName(QStringLiteral("pmnuiExit"));
    connect(pmnuiOpen, &QAction::triggered, this, &TFRMVelocast::pmnuiOpenClick);

    trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
}

int TFRMVelocast::scaled(int pixels) const {
    // Qt already scales by the device pixel ratio; what is left over in the logical density
    // (high-density scaling switched off, or a fractional setting) is applied here, as the
    // fonts grow with it too.
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return qRound(pixels * dpi / 96.0);
}

void TFRMVelocast::placeAtCentre() {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void TFRMVelocast::pmnuiOpenClick() {
    showNormal();
    raise();
    activateWindow();
    // A notice of this program stays in front of the window it belongs to.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
        modal->raise();
        modal->activateWindow();
    }
}

void TFRMVelocast::hideAway() {
    if (!trayAvailable || trayAvailable()) hide();
    else if (isVisible()) showMinimized();  // a window not shown yet stays so
}

void TFRMVelocast::showFigure(Figure figure, qint32 value) {
    QLabel* label = LBLENVIADOS;
    switch (figure) {
    case Figure::Sent: label = LBLENVIADOS; break;
    case Figure::Pending: label = LBLPENDENTES; break;
    case Figure::Invalid: label = LBLINVALIDOS; break;
    }
    label->setText(formatFigure(value));
    label->adjustSize();
}

void TFRMVelocast::showOutage(const QString& line, const QString& reason) {
    LBLSERVIDOR->setText(LBLSERVIDOR->fontMetrics().elidedText(line, Qt::ElideRight, LBLSERVIDOR->width()));
    LBLSERVIDOR->setToolTip(reason.isEmpty() ? line : line + QLatin1Char('\n') + reason);
    LBLSERVIDOR->setVisible(!line.isEmpty());
}

void TFRMVelocast::closeEvent(QCloseEvent* event) {
    event->ignore();
    hideAway();
}

}  // namespace velocast
