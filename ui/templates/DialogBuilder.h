#pragma once
// Turns a dialog template of res/ into Qt widgets. Positions and sizes are dialog units, converted
// with the dialog font's average character size (x: width / 4, y: height / 8; see DialogBaseUnits).

#include <QDialog>
#include <QWidget>

// Builds template resourceId into dialog: caption, fixed client size, and every control as a child
// widget in tab order, each control with an id findable by FindControl. Push buttons with id 1
// (IDOK) and 2 (IDCANCEL) are wired to accept() and reject(), the framework's OK and Cancel.
// Throws std::runtime_error for an unknown template.
void BuildDialog(QDialog& dialog, int resourceId);

// The child control with this numeric id, or null.
QWidget* FindControl(const QWidget& dialog, int id);
template <class T>
T* FindControl(const QWidget& dialog, int id)
{
    return qobject_cast<T*>(FindControl(dialog, id));
}

// ---- The template data itself, for code that lays out or checks dialogs.

#include <QFont>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <vector>

// One control of a template. kind is one of: groupbox, label, edit, spin, button, defbutton,
// checkbox, radio, progress, icon. id is -1 for controls without one (labels, group boxes, icons).
// rect is in dialog units. styles holds the style flags that matter (readonly, border, noborder,
// hscroll, multiline, flat, smooth, default, group, tabstop, noprefix, ...).
struct ControlTemplate {
    int id = -1;
    QString kind;
    QString caption;
    QStringList styles;
    QRect rect;
    int icon = 0;   // kind icon: the icon resource shown
    bool has(const QString& style) const { return styles.contains(style); }
};

struct DialogTemplate {
    int id = 0;
    QString caption;
    QSize size;            // client area, dialog units
    QString fontFamily;
    int pointSize = 8;
    bool systemMenu = true;   // false: no system menu, hence no close box
    bool appWindow = false;   // has its own task-bar button
    std::vector<ControlTemplate> controls;   // in tab order
};

// The template with this id; throws std::runtime_error for an unknown one.
DialogTemplate LoadDialogTemplate(int resourceId);
// The template's font as Qt resolves it ("MS Sans Serif" falls back to a sans-serif font).
QFont DialogFont(const DialogTemplate& dialogTemplate);
// The dialog base units of a font: the average character width (the mean advance of a-z and
// A-Z, as the native dialog manager measures it) and the character height.
QSize DialogBaseUnits(const QFont& font);
// Dialog units to pixels for a dialog in this font: x * base width / 4, y * base height / 8,
// rounded to the nearest pixel.
QRect DialogUnitsToPixels(const QRect& units, const QFont& font);
QSize DialogUnitsToPixels(const QSize& units, const QFont& font);
// The controls BuildDialog made, in template order (labels and group boxes included).
QList<QWidget*> TemplateControls(const QWidget& dialog);
