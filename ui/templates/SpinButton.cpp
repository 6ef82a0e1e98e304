#include "ui/templates/SpinButton.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QToolButton* MakeArrow(QWidget* parent, Qt::ArrowType arrow)
{
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);   // held down, it keeps stepping like the native control
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    return button;
}

}   // namespace

CSpinButton::CSpinButton(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::ClickFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QToolButton* up = MakeArrow(this, Qt::UpArrow);
    QToolButton* down = MakeArrow(this, Qt::DownArrow);
    up->setObjectName(QStringLiteral("up"));
    down->setObjectName(QStringLiteral("down"));
    layout->addWidget(up);
    layout->addWidget(down);
    connect(up, &QToolButton::clicked, this, &CSpinButton::StepUp);
    connect(down, &QToolButton::clicked, this, &CSpinButton::StepDown);
}

void CSpinButton::StepUp()
{
    emit deltaPos(-1);
}

void CSpinButton::StepDown()
{
    emit deltaPos(+1);
}

void CSpinButton::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        StepUp();
        break;
    case Qt::Key_Down:
        StepDown();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}
