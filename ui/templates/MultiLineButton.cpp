#include "ui/templates/MultiLineButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

CMultiLineButton::CMultiLineButton(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
}

void CMultiLineButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();   // the frame without the one-line text; the wrapped text follows
    painter.drawControl(QStyle::CE_PushButton, option);
    int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    if (!style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this))
        flags |= Qt::TextHideMnemonic;
    const QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    painter.drawItemText(contents, flags, option.palette, isEnabled(), caption, QPalette::ButtonText);
}
