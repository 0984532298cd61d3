#include "ui/TCreateProjectWizardForm.h"

#include <algorithm>

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "ui/UiDialogs.h"
#include "ui/UiText.h"

namespace talvero::ui {

namespace {

const char* const kHeaders[3] = {"   Шаг 1 - Место размещения проекта", "   Шаг 2 - Информация о проекте",
                                 "   Шаг 3 - Модель"};
const char* const kProjectFilter = "Проект Talvero (*.tvp)|*.tvp";
const char* const kModelFilter = "Файл описания модели (*.tv)|*.tv|Двоичный файл модели (*.btv)|*.btv";

QLabel* Text(const char* utf8) {
    auto* label = new QLabel(QString::fromUtf8(utf8));
    label->setWordWrap(false);
    return label;
}

} // namespace

TCreateProjectWizardForm::TCreateProjectWizardForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("Мастер создания нового проекта"));

    Header = new QLabel;
    QFont headerFont = Header->font();
    headerFont.setBold(true);
    headerFont.setPointSizeF(headerFont.pointSizeF() * 1.15);
    Header->setFont(headerFont);
    Header->setMinimumHeight(Header->sizeHint().height() + 12);
    Header->setAutoFillBackground(true);
    Header->setBackgroundRole(QPalette::Base);

    // Step 1.
    auto* page1 = new QWidget;
    ProjectFile = new QLineEdit;
    ProjectBrowse = new QPushButton(QString::fromUtf8("Обзор"));
    ProjectBrowse->setAutoDefault(false);
    connect(ProjectBrowse, &QPushButton::clicked, this, &TCreateProjectWizardForm::BrowseProjectFile);
    auto* file1 = new QHBoxLayout;
    file1->addWidget(ProjectFile, 1);
    file1->addWidget(ProjectBrowse);
    auto* layout1 = new QVBoxLayout(page1);
    layout1->addWidget(Text("Введите полное имя файла будущего проекта."));
    layout1->addSpacing(6);
    layout1->addWidget(Text("Обратите внимание на следующие требования:"));
    layout1->addWidget(Text("1. Имя файла должно иметь расширение '.tvp'."));
    layout1->addWidget(Text("2. В папке может одновременно находится только один проект."));
    layout1->addSpacing(6);
    layout1->addLayout(file1);
    layout1->addStretch(1);

    // Step 2.
    auto* page2 = new QWidget;
    ProjectName = new QLineEdit;
    Description = new QPlainTextEdit;
    Description->setTabChangesFocus(true);
    auto* layout2 = new QVBoxLayout(page2);
    layout2->addWidget(Text("Имя проекта:"));
    layout2->addWidget(ProjectName);
    layout2->addWidget(Text("Описание проекта:"));
    layout2->addWidget(Description, 1);

    // Step 3.
    auto* page3 = new QWidget;
    ModelFile = new QLineEdit;
    ModelBrowse = new QPushButton(QString::fromUtf8("Обзор"));
    ModelBrowse->setAutoDefault(false);
    connect(ModelBrowse, &QPushButton::clicked, this, &TCreateProjectWizardForm::BrowseModelFile);
    auto* file3 = new QHBoxLayout;
    file3->addWidget(ModelFile, 1);
    file3->addWidget(ModelBrowse);
    auto* layout3 = new QVBoxLayout(page3);
    layout3->addWidget(Text("Введите полное имя файла описания исследуемой модели."));
    layout3->addSpacing(6);
    layout3->addWidget(Text("Вы можете использовать готовый двоичный файл,"));
    layout3->addWidget(Text("он будет скопирован в папку проекта."));
    layout3->addSpacing(6);
    layout3->addLayout(file3);
    layout3->addStretch(1);
    layout3->addWidget(Text("   Пожалуйста проверьте корректность введённых данных."));

    Pages = new QStackedWidget;
    Pages->addWidget(page1);
    Pages->addWidget(page2);
    Pages->addWidget(page3);

    BackBtn = new QPushButton(QString::fromUtf8("< Назад"));
    ForwardBtn = new QPushButton(QString::fromUtf8("Далее >"));
    CancelBtn = new QPushButton(QString::fromUtf8("Отмена"));
    BackBtn->setAutoDefault(false);
    CancelBtn->setAutoDefault(false);
    ForwardBtn->setDefault(true);
    connect(BackBtn, &QPushButton::clicked, this, &TCreateProjectWizardForm::Back);
    connect(ForwardBtn, &QPushButton::clicked, this, &TCreateProjectWizardForm::Forward);
    connect(CancelBtn, &QPushButton::clicked, this, &TCreateProjectWizardForm::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BackBtn);
    buttons->addWidget(ForwardBtn);
    buttons->addSpacing(12);
    buttons->addWidget(CancelBtn);

    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 10);
    layout->addWidget(Header);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(14, 6, 14, 0);
    body->addWidget(Pages, 1);
    body->addWidget(line);
    body->addLayout(buttons);
    layout->addLayout(body, 1);

    setMinimumSize(500, 330);
    GoToStep(1);
}

QWidget* TCreateProjectWizardForm::Page(int step) const {
    return step >= 1 && step <= 3 ? Pages->widget(step - 1) : nullptr;
}

int TCreateProjectWizardForm::CurrentStep() const { return Pages->currentIndex() + 1; }

void TCreateProjectWizardForm::GoToStep(int step) {
    if (step < 1 || step > 3) return;
    Pages->setCurrentIndex(step - 1);
    Header->setText(QString::fromUtf8(kHeaders[step - 1]));
    BackBtn->setEnabled(step > 1);
    ForwardBtn->setText(step == 3 ? QString::fromUtf8(" Готово ") : QString::fromUtf8("Далее >"));
    QWidget* focus = step == 1 ? static_cast<QWidget*>(ProjectFile)
                     : step == 2 ? static_cast<QWidget*>(ProjectName)
                                 : static_cast<QWidget*>(ModelFile);
    focus->setFocus();
}

void TCreateProjectWizardForm::Back() {
    if (CurrentStep() > 1) GoToStep(CurrentStep() - 1);
}

void TCreateProjectWizardForm::Forward() {
    if (CurrentStep() < 3) GoToStep(CurrentStep() + 1);
    else Finish();
}

void TCreateProjectWizardForm::ClearResults() {
    ResultProjectFile.clear();
    ResultName.clear();
    ResultLines.clear();
    ResultModelFile.clear();
    ModelIsSource = false;
}

void TCreateProjectWizardForm::Reset() {
    ClearResults();
    ProjectFile->clear();
    ProjectName->clear();
    Description->clear();
    ModelFile->clear();
    GoToStep(1);
}

bool TCreateProjectWizardForm::Run() { return RunModal(*this) == QDialog::Accepted; }

void TCreateProjectWizardForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) Reset();
}

void TCreateProjectWizardForm::reject() {
    ClearResults();
    QDialog::reject();
}

void TCreateProjectWizardForm::Refuse(const char* message, int step) {
    ShowMessageBox(this, QString::fromUtf8("Ошибка создания проекта!"), QString::fromUtf8(message));
    GoToStep(step);
}

void TCreateProjectWizardForm::Finish() {
    const QString projectFile = ProjectFile->text();
    if (projectFile.right(4).toLower() != QStringLiteral(".tvp")) {
        Refuse("Имя файла проекта имеет недопустимое расширение!", 1);
        return;
    }

    // Only one project per folder: any project file already there refuses the name.
    const qsizetype separator = std::max(projectFile.lastIndexOf(QLatin1Char('/')),
                                         projectFile.lastIndexOf(QLatin1Char('\\')));
    const QDir folder = separator < 0 ? QDir::current() : QDir(projectFile.left(separator + 1));
    if (!folder.entryList({QStringLiteral("*.tvp")}, QDir::Files | QDir::Hidden).isEmpty()) {
        Refuse("В выбранной папке уже присутствует другой проект!", 1);
        return;
    }

    const QString modelFile = ModelFile->text();
    bool source = false;
    if (modelFile.right(3).toLower() == QStringLiteral(".tv")) {
        source = true;
    } else if (modelFile.right(4).toLower() != QStringLiteral(".btv")) {
        Refuse("Имя файла модели имеет недопустимое расширение!", 3);
        return;
    }

    if (Check) {
        const std::string refusal = Check(ToPath(modelFile), source);
        if (!refusal.empty()) {
            ShowMessageBox(this, QString::fromUtf8("Ошибка создания проекта!"),
                           QString::fromUtf8("Модель не удалось построить:\n") + FromKernelText(refusal));
            GoToStep(3);
            return;
        }
    }

    ResultProjectFile = projectFile;
    ResultName = ProjectName->text();
    ResultLines = SplitLines(Description->toPlainText());
    ResultModelFile = modelFile;
    ModelIsSource = source;
    accept();
}

void TCreateProjectWizardForm::BrowseProjectFile() {
    QString path = ProjectFile->text();
    if (!ChooseFile(this, TFileDialogKind::Save, QString::fromUtf8(kProjectFilter), QStringLiteral("tvp"), path))
        return;
    ProjectFile->setText(path);
    ProjectFile->setFocus();
}

void TCreateProjectWizardForm::BrowseModelFile() {
    QString path = ModelFile->text();
    if (!ChooseFile(this, TFileDialogKind::Open, QString::fromUtf8(kModelFilter), QStringLiteral("tv"), path)) return;
    ModelFile->setText(path);
    ModelFile->setFocus();
}

std::string TCreateProjectWizardForm::GetProjectFileName() const { return ToPath(ResultProjectFile); }

std::string TCreateProjectWizardForm::GetProjectName() const { return ToCp(ResultName); }

NStringList TCreateProjectWizardForm::GetDescription() const {
    NStringList lines;
    for (const QString& line : ResultLines) lines.push_back(ToCp(line));
    return lines;
}

std::string TCreateProjectWizardForm::GetModelFileName() const { return ToPath(ResultModelFile); }

} // namespace talvero::ui
