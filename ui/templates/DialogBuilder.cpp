#include "ui/templates/DialogBuilder.h"

#include "ui/templates/MultiLineButton.h"
#include "ui/templates/Resources.h"
#include "ui/templates/SpinButton.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRect>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace {

constexpr char kIdProperty[] = "controlId";

// One control of a template. kind is one of: groupbox, label, edit, spin, button, defbutton,
// checkbox, radio, progress, icon, combo. id is -1 for controls without one (labels, group boxes,
// icons). rect is in dialog units (a combo's is its closed box). styles holds the style flags; the
// builder looks at readonly, noborder, password, multiline, flat, default, smooth, tabstop and
// noprefix. items: a combo's choices, in order.
struct ControlTemplate {
    int id = -1;
    QString kind;
    QString caption;
    QStringList styles;
    QStringList items;
    QRect rect;
    bool has(const QString& style) const { return styles.contains(style); }
};

struct DialogTemplate {
    QString caption;
    QSize size;            // client area, dialog units
    QString fontFamily;
    int pointSize = 8;
    bool systemMenu = true;   // false: no system menu, hence no close box
    std::vector<ControlTemplate> controls;   // in tab order
};

QRect RectFromJson(const QJsonArray& values)
{
    return QRect(values.at(0).toInt(), values.at(1).toInt(), values.at(2).toInt(), values.at(3).toInt());
}

// A caption as the template has it, with "{version}" replaced by the program's version (the
// project's, set in CMake), so that no template repeats it.
QString Caption(const QJsonObject& json)
{
    return json.value("caption").toString().replace(QStringLiteral("{version}"), QStringLiteral(SENTIVO_VERSION));
}

ControlTemplate ControlFromJson(const QJsonObject& json)
{
    ControlTemplate control;
    control.id = json.value("id").toInt(-1);
    control.kind = json.value("kind").toString();
    control.caption = Caption(json);
    for (const QJsonValue& style : json.value("styles").toArray())
        control.styles.append(style.toString());
    for (const QJsonValue& item : json.value("items").toArray())
        control.items.append(item.toString());
    control.rect = RectFromJson(json.value("rect").toArray());
    return control;
}

int Scale(int units, int base, int divisor)
{
    return static_cast<int>(std::lround(double(units) * base / divisor));
}

// Throws std::runtime_error for an unknown template.
DialogTemplate LoadDialogTemplate(int resourceId)
{
    EnsureResources();
    QFile file(QStringLiteral(":/sentivo/dialogs/dialog%1.json").arg(resourceId));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("no dialog template " + std::to_string(resourceId));
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    DialogTemplate result;
    result.caption = Caption(json);
    const QJsonArray size = json.value("size").toArray();
    result.size = QSize(size.at(0).toInt(), size.at(1).toInt());
    const QJsonObject font = json.value("font").toObject();
    result.fontFamily = font.value("family").toString();
    result.pointSize = font.value("pointSize").toInt(8);
    result.systemMenu = json.value("sysmenu").toBool(true);
    for (const QJsonValue& control : json.value("controls").toArray())
        result.controls.push_back(ControlFromJson(control.toObject()));
    return result;
}

// "MS Sans Serif" is not on Linux: Qt falls back to a sans-serif font.
QFont DialogFont(const DialogTemplate& dialogTemplate)
{
    QFont font(dialogTemplate.fontFamily, dialogTemplate.pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QSize DialogBaseUnits(const QFont& font)
{
    // The native dialog manager's measure: the mean advance of the 52 letters, rounded. It
    // follows the real text width of the font that stands in for "MS Sans Serif", where the
    // font file's declared average (QFontMetrics::averageCharWidth) may be narrower than its
    // letters and leave captions clipped.
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    return QSize((letters / 26 + 1) / 2, metrics.height());
}

// x * base width / 4, y * base height / 8, rounded to the nearest pixel.
QRect DialogUnitsToPixels(const QRect& units, const QFont& font)
{
    const QSize base = DialogBaseUnits(font);
    return QRect(Scale(units.x(), base.width(), 4), Scale(units.y(), base.height(), 8),
                 Scale(units.width(), base.width(), 4), Scale(units.height(), base.height(), 8));
}

QSize DialogUnitsToPixels(const QSize& units, const QFont& font)
{
    return DialogUnitsToPixels(QRect(QPoint(0, 0), units), font).size();
}

QLineEdit* MakeEdit(const ControlTemplate& control, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(control.has("readonly"));
    edit->setFrame(!control.has("noborder"));
    if (control.has("password"))
        edit->setEchoMode(QLineEdit::Password);
    if (control.has("readonly")) {
        // Read-only boxes show the dialog's colour, as the native ones do.
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        edit->setPalette(palette);
    }
    return edit;
}

// A flat native button keeps a thin one-pixel frame; Qt's flat buttons have none and would pass
// for labels.
constexpr char kFlatButtonStyle[] =
    "QPushButton:flat { border: 1px solid palette(dark); border-radius: 2px;"
    " background-color: palette(button); padding: 1px 3px; }"
    "QPushButton:flat:default { border: 2px solid palette(shadow); }"
    "QPushButton:flat:focus { border-color: palette(highlight); }"
    "QPushButton:flat:pressed { background-color: palette(mid); }";

QPushButton* MakeButton(const ControlTemplate& control, QWidget* parent)
{
    QPushButton* button = control.has("multiline") ? new CMultiLineButton(control.caption, parent)
                                                    : new QPushButton(control.caption, parent);
    button->setFlat(control.has("flat"));
    if (button->isFlat())
        button->setStyleSheet(kFlatButtonStyle);
    button->setDefault(control.kind == "defbutton" || control.has("default"));
    return button;
}

QLabel* MakeLabel(const ControlTemplate& control, QWidget* parent)
{
    auto* label = new QLabel(control.caption, parent);
    label->setTextFormat(Qt::PlainText);
    // Static text wraps inside its rectangle when that holds more than one line (8 units each).
    label->setWordWrap(control.rect.height() >= 16);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// The one icon the program has: icon 128.
QLabel* MakeIcon(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(AppIcon().pixmap(QSize(32, 32)));
    return label;
}

// A smooth native bar is one solid block of the highlight colour; Qt's default look draws moving
// stripes instead (and keeps an animation running for them).
constexpr char kSmoothBarStyle[] =
    "QProgressBar { border: 1px solid palette(dark); border-radius: 2px; background-color: palette(base); }"
    "QProgressBar::chunk { background-color: palette(highlight); }";

QProgressBar* MakeProgress(const ControlTemplate& control, QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    if (control.has("smooth"))
        bar->setStyleSheet(kSmoothBarStyle);
    bar->setRange(0, 100);   // the native control's default range
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QWidget* MakeControl(const ControlTemplate& control, QWidget* parent)
{
    const QString& kind = control.kind;
    if (kind == "groupbox")
        return new QGroupBox(control.caption, parent);
    if (kind == "label")
        return MakeLabel(control, parent);
    if (kind == "edit")
        return MakeEdit(control, parent);
    if (kind == "spin")
        return new CSpinButton(parent);
    if (kind == "button" || kind == "defbutton")
        return MakeButton(control, parent);
    if (kind == "checkbox")
        return new QCheckBox(control.caption, parent);
    if (kind == "radio")
        return new QRadioButton(control.caption, parent);   // siblings: auto-exclusive
    if (kind == "progress")
        return MakeProgress(control, parent);
    if (kind == "icon")
        return MakeIcon(parent);
    if (kind == "combo") {
        auto* combo = new QComboBox(parent);
        combo->addItems(control.items);
        return combo;
    }
    throw std::runtime_error("unknown control kind: " + kind.toStdString());
}

// Icons size themselves to the image, whatever the template's rectangle says.
QRect ControlGeometry(const ControlTemplate& control, const QFont& font)
{
    QRect pixels = DialogUnitsToPixels(control.rect, font);
    if (control.kind == "icon")
        pixels.setSize(QSize(32, 32));
    return pixels;
}

void SetWindowFlags(QDialog& dialog, const DialogTemplate& dialogTemplate)
{
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (dialogTemplate.systemMenu)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    dialog.setWindowFlags(flags);
}

bool TakesTabFocus(const QWidget* widget)
{
    return (widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
}

// Tab order as listed; a mnemonic on a label moves to the next control that takes the focus.
void LinkControls(const std::vector<ControlTemplate>& controls, const QList<QWidget*>& widgets)
{
    QWidget* previous = nullptr;
    for (int i = 0; i < widgets.size(); ++i) {
        QWidget* widget = widgets[i];
        if (!TakesTabFocus(widget))
            continue;
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
    for (int i = 0; i < widgets.size(); ++i) {
        auto* label = qobject_cast<QLabel*>(widgets[i]);
        if (!label || controls[i].has("noprefix") || !controls[i].caption.contains('&'))
            continue;
        const auto next = std::find_if(widgets.begin() + i + 1, widgets.end(), TakesTabFocus);
        if (next != widgets.end())
            label->setBuddy(*next);
    }
}

}   // namespace

void BuildDialog(QDialog& dialog, int resourceId)
{
    const DialogTemplate dialogTemplate = LoadDialogTemplate(resourceId);
    const QFont font = DialogFont(dialogTemplate);
    dialog.setFont(font);
    dialog.setWindowTitle(dialogTemplate.caption);
    SetWindowFlags(dialog, dialogTemplate);
    dialog.setFixedSize(DialogUnitsToPixels(dialogTemplate.size, font));

    QList<QWidget*> widgets;
    for (std::size_t i = 0; i < dialogTemplate.controls.size(); ++i) {
        const ControlTemplate& control = dialogTemplate.controls[i];
        QWidget* widget = MakeControl(control, &dialog);
        widget->setGeometry(ControlGeometry(control, font));
        widget->setProperty(kIdProperty, control.id);
        if (control.id != -1)
            widget->setObjectName(QStringLiteral("id_%1").arg(control.id));
        if (control.kind != "radio" && control.kind != "spin" && !control.has("tabstop")
            && TakesTabFocus(widget))
            widget->setFocusPolicy(Qt::ClickFocus);
        widgets.append(widget);
        if (control.id == 1 && qobject_cast<QPushButton*>(widget))
            QObject::connect(static_cast<QPushButton*>(widget), &QPushButton::clicked, &dialog, &QDialog::accept);
        if (control.id == 2 && qobject_cast<QPushButton*>(widget))
            QObject::connect(static_cast<QPushButton*>(widget), &QPushButton::clicked, &dialog, &QDialog::reject);
    }
    LinkControls(dialogTemplate.controls, widgets);
}

QWidget* FindControl(const QWidget& dialog, int id)
{
    if (id == -1)
        return nullptr;
    const auto children = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        const QVariant value = child->property(kIdProperty);
        if (value.isValid() && value.toInt() == id)
            return child;
    }
    return nullptr;
}
