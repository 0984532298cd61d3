#include "ui/TTestModelForm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/NError.h"
#include "ui/UiDialogs.h"
#include "ui/UiText.h"

namespace talvero::ui {

namespace {

const char* const kModelFilter = "Файл описания модели (*.tv)|*.tv|Двоичный файл модели (*.btv)|*.btv";

} // namespace

TTestModelForm::TTestModelForm(QWidget* parent)
    : QDialog(parent), TemporaryFolder(QDir::tempPath() + QStringLiteral("/talvero-check-XXXXXX")) {
    setWindowTitle(QString::fromUtf8("Проверка модели"));
    Memo = new QPlainTextEdit;
    Memo->setReadOnly(true);
    // Long details and locations wrap: the point of the output is to be read whole.
    Memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    FileLabel = new QLabel;
    FileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FileLabel->setWordWrap(true);

    CheckBtn = new QPushButton(QString::fromUtf8("Проверить"));
    OpenBtn = new QPushButton(QString::fromUtf8("Открыть"));
    ExitBtn = new QPushButton(QString::fromUtf8("Выход"));
    OpenBtn->setAutoDefault(false);
    ExitBtn->setAutoDefault(false);
    CheckBtn->setDefault(true);
    connect(CheckBtn, &QPushButton::clicked, this, &TTestModelForm::Check);
    connect(OpenBtn, &QPushButton::clicked, this, &TTestModelForm::OpenFile);
    connect(ExitBtn, &QPushButton::clicked, this, &TTestModelForm::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CheckBtn);
    buttons->addWidget(OpenBtn);
    buttons->addWidget(ExitBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FileLabel);
    layout->addWidget(Memo, 1);
    layout->addLayout(buttons);
    resize(560, 320);
    Prepare();
}

TTestModelForm::~TTestModelForm() { RemoveTemporaryFile(); }

QString TTestModelForm::TemporaryFilePath() const {
    return TemporaryFolder.isValid() ? TemporaryFolder.filePath(QStringLiteral("00000000.tmp"))
                                     : QStringLiteral("00000000.tmp");
}

void TTestModelForm::RemoveTemporaryFile() const { QFile::remove(TemporaryFilePath()); }

void TTestModelForm::Run() { RunModal(*this); }

void TTestModelForm::Prepare() {
    Memo->clear();
    CheckBtn->setEnabled(false);
    CheckBtn->setDefault(true);
}

void TTestModelForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    Prepare();
    // The file dialog comes once this dialog is on the screen.
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) OpenFile();
    });
}

void TTestModelForm::OpenFile() {
    QString path = FileName;
    if (!ChooseFile(this, TFileDialogKind::Open, QString::fromUtf8(kModelFilter), QStringLiteral("tv"), path)) return;
    UseFile(path);
}

void TTestModelForm::UseFile(const QString& path) {
    FileName = path;
    FileLabel->setText(QDir::toNativeSeparators(path));
    Environment.reset();
    Environment = std::make_unique<NEnvironment>();
    RegisterBuiltinClasses(*Environment);
    RemoveTemporaryFile();
    Memo->clear();
    CheckBtn->setEnabled(true);
}

void TTestModelForm::Append(const QString& line) { Memo->appendPlainText(line); }

void TTestModelForm::AppendLastError() {
    const NError error = TakeLastError();
    const std::string information = GetLastErrorInfo();
    Append(QString::fromUtf8("Ошибка ") + QString::number(error.GetCode()) + QLatin1Char(' ') +
           ErrorLevelText(error.GetLevel()) + QStringLiteral(": ") + FromCp(error.GetMessage()));
    Append(QStringLiteral("[ ") + FromKernelText(information) + QStringLiteral(" ]"));
    NErrorLocation location = GetLastErrorLocation();
    if (!location.IsKnown()) return;
    // A binary model file is checked through its copy, line for line: name the user's file.
    if (location.File == ToPath(TemporaryFilePath())) location.File = ToPath(FileName);
    Append(FromKernelText(FormatErrorLocation(location)));
}

void TTestModelForm::Check() {
    if (!Environment) return;
    RemoveTemporaryFile();
    Memo->clear();
    const std::string binary = ToPath(TemporaryFilePath());

    Append(QString::fromUtf8("Шаг 1 - Препроцессор..."));
    // The dialog offers binary model files too: for those the first stage reads the file's
    // records and writes them to the temporary file, which checks their form, instead of
    // running the preprocessor on bytes that are no description text.
    const bool isBinary = QFileInfo(FileName).suffix().compare(QStringLiteral("btv"), Qt::CaseInsensitive) == 0;
    bool stageOne = false;
    if (isBinary) {
        NParserRecordList records;
        stageOne = Environment->ReadBinaryFile(records, ToPath(FileName)) && Environment->WriteBinaryFile(records, binary);
    } else {
        stageOne = Environment->Compile(ToPath(FileName), binary);
    }
    if (!stageOne) {
        AppendLastError();
        return;
    }
    Append(QString::fromUtf8("Успешно!"));
    Append(QString());

    Append(QString::fromUtf8("Шаг 2 - Процессор..."));
    if (!Environment->LoadModel(binary)) {
        AppendLastError();
        return;
    }
    Append(QString::fromUtf8("Успешно!"));
}

QStringList TTestModelForm::OutputLines() const {
    const QString text = Memo->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void TTestModelForm::reject() {
    RemoveTemporaryFile();
    Memo->clear();
    Environment.reset();
    QDialog::reject();
}

} // namespace talvero::ui
