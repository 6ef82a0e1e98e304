#pragma once
// Turns a dialog template of res/dialogs into Qt widgets. Positions and sizes are dialog units,
// converted with the dialog font's average character size (x: width / 4, y: height / 8).

#include <QDialog>
#include <QWidget>

#include <stdexcept>
#include <string>

// Builds template resourceId into dialog: caption, fixed client size, and every control as a child
// widget in tab order, each control with an id findable by FindControl; "{version}" in a caption
// is the program's version. Push buttons with id 1
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

// A control the dialog's code cannot do without: throws std::runtime_error naming the dialog's
// template and the id when the template has no control of that kind there.
template <class T>
T* RequiredControl(const QWidget& dialog, int id)
{
    if (T* control = FindControl<T>(dialog, id))
        return control;
    throw std::runtime_error("the template of dialog \"" + dialog.windowTitle().toStdString() + "\" lacks control "
                             + std::to_string(id));
}
