#include "ui/dialogs/DetectionDlg.h"

#include "settings/DetectionSettings.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/DetectionAreaDlg.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/templates/DialogBuilder.h"
#include "ui/templates/Resources.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int IDC_SENSITIVITY = 1040;
constexpr int IDC_LIGHT_GUARD = 1041;
constexpr int IDC_AREA = 1042;
constexpr int IDC_DRAW_AREA = 1043;
constexpr int IDC_WHOLE_PICTURE = 1044;
constexpr int IDC_PICTURES_DIR = 1045;
constexpr int IDC_BROWSE = 1046;
constexpr int IDC_NOTE = 1047;

QString FromPath(const std::string& path)
{
    return QFile::decodeName(path.c_str());
}

std::string ToPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

class CDetectionDlg : public QDialog {
public:
    CDetectionDlg(QWidget* parent, CFrameGrabber& grabber) : QDialog(parent), grabber_(grabber)
    {
        BuildDialog(*this, IDD_DETECTION);
        sensitivity_ = RequiredControl<QComboBox>(*this, IDC_SENSITIVITY);
        lightGuard_ = RequiredControl<QCheckBox>(*this, IDC_LIGHT_GUARD);
        area_ = RequiredControl<QLineEdit>(*this, IDC_AREA);
        picturesDir_ = RequiredControl<QLineEdit>(*this, IDC_PICTURES_DIR);
        picturesDir_->setPlaceholderText(QStringLiteral("Empty: the working folder"));
        connect(RequiredControl<QPushButton>(*this, IDC_DRAW_AREA), &QPushButton::clicked, this, [this] { DrawArea(); });
        connect(RequiredControl<QPushButton>(*this, IDC_WHOLE_PICTURE), &QPushButton::clicked, this,
                [this] { ShowArea({}); });
        connect(RequiredControl<QPushButton>(*this, IDC_BROWSE), &QPushButton::clicked, this, [this] { Browse(); });

        std::vector<std::string> problems;
        settings_ = ReadDetectionSettings(problems);
        sensitivity_->setCurrentIndex(std::clamp(settings_.sensitivity, 1, sensitivity_->count()) - 1);
        lightGuard_->setChecked(settings_.lightGuard);
        ShowArea(settings_.maskFile);
        picturesDir_->setText(FromPath(settings_.picturesDir));
        QStringList lines;
        for (const std::string& problem : problems)
            lines.append(QString::fromStdString(problem));
        RequiredControl<QLabel>(*this, IDC_NOTE)->setText(lines.join('\n'));
    }

    void accept() override
    {
        settings_.sensitivity = sensitivity_->currentIndex() + 1;
        settings_.lightGuard = lightGuard_->isChecked();
        settings_.picturesDir = ToPath(picturesDir_->text().trimmed());
        if (!WriteDetectionSettings(settings_)) {
            AppMessageBox(QStringLiteral("The detection settings could not be saved in %1.")
                              .arg(FromPath(SettingsFilePath())));
            return;
        }
        QDialog::accept();
    }

private:
    void ShowArea(const std::string& maskFile)
    {
        settings_.maskFile = maskFile;
        area_->setText(maskFile.empty() ? QStringLiteral("Whole picture") : FromPath(maskFile));
    }

    void DrawArea()
    {
        const QString saved = RunDetectionArea(this, grabber_, FromPath(settings_.maskFile));
        if (!saved.isEmpty())
            ShowArea(ToPath(saved));
    }

    void Browse()
    {
        const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Pictures folder"), picturesDir_->text());
        if (!folder.isEmpty())
            picturesDir_->setText(folder);
    }

    CFrameGrabber& grabber_;
    DetectionSettings settings_;
    QComboBox* sensitivity_ = nullptr;
    QCheckBox* lightGuard_ = nullptr;
    QLineEdit* area_ = nullptr;
    QLineEdit* picturesDir_ = nullptr;
};

}   // namespace

bool RunDetectionOptions(QWidget* parent, CFrameGrabber& grabber)
{
    CDetectionDlg dialog(parent, grabber);
    return dialog.exec() == QDialog::Accepted;
}
