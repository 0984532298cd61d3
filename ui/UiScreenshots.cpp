#include "ui/UiScreenshots.h"

#include <cstdio>

#include <QAction>
#include <QChart>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "modeler/VModeler.h"
#include "ui/TAboutForm.h"
#include "ui/TComputationOptionsForm.h"
#include "ui/TCreateProjectWizardForm.h"
#include "ui/TListInputForm.h"
#include "ui/TMainForm.h"
#include "ui/TMdlObjectsListForm.h"
#include "ui/TPrjOptionsForm.h"
#include "ui/TQtChart.h"
#include "ui/TSeriesControlForm.h"
#include "ui/TSetObjectParamForm.h"
#include "ui/TShowProgressBarForm.h"
#include "ui/TTestModelForm.h"
#include "ui/TWatchWindowForm.h"
#include "ui/UiDialogs.h"
#include "ui/UiText.h"

namespace talvero::ui {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Lets the windows appear and lay themselves out.
void Settle() {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 150) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void Save(QWidget* widget, const QString& folder, const char* name) {
    Settle();
    const QString path = QDir(folder).filePath(QLatin1String(name) + QStringLiteral(".png"));
    if (!widget->grab().save(path)) std::fprintf(stderr, "could not write %s\n", qPrintable(path));
}

void ShowAndSave(QWidget* widget, const QString& folder, const char* name) {
    widget->show();
    widget->raise();
    Save(widget, folder, name);
    widget->hide();
}

QTreeWidgetItem* FindNode(QTreeWidget* tree, const QString& text) {
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->text(0) == text) return *it;
    return nullptr;
}

void SaveWatchWindows(TMainForm& form, const QString& folder) {
    TWatchWindowForm* first = nullptr;
    for (const auto& [key, window] : form.Modeler().GetWatchWindows()) {
        auto* watch = dynamic_cast<TWatchWindowForm*>(window.get());
        if (!watch || !watch->isVisible()) continue;
        if (!first) first = watch;
        Save(watch, folder, ("watch_" + key).c_str());
    }
    if (!first) return;
    // Exploring: the middle of the run zoomed in, the read-out under a pointer.
    TQtChart& chart = first->Chart();
    QRectF plot = chart.Chart()->plotArea();
    chart.ZoomToArea(QRectF(plot.left() + plot.width() * 0.5, plot.top(), plot.width() * 0.2, plot.height()));
    Settle();
    plot = chart.Chart()->plotArea();
    chart.ShowReadout(QPointF(plot.left() + plot.width() * 0.62, plot.top() + plot.height() * 0.35));
    Save(first, folder, "watch_zoomed");
    chart.ShowReadout(QPointF(-1, -1));
    chart.ResetZoom();

    first->ShowSeriesControl();
    Save(form.SeriesControlForm(), folder, "series_control");
    if (QScreen* screen = QGuiApplication::primaryScreen())
        screen->grabWindow(0).save(QDir(folder).filePath(QStringLiteral("screen_watch.png")));
    form.SeriesControlForm()->Cancel();
}

} // namespace

void TakeScreenshots(TMainForm& form, const QString& folder, const QString& project, const QString& source) {
    QDir().mkpath(folder);
    // Nobody answers: message boxes are written out and closed, other dialogs are cancelled.
    SetModalRunner([](QDialog& dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(box->windowTitle()), qPrintable(box->text()));
            if (box->defaultButton()) box->defaultButton()->click();
            return box->result();
        }
        return static_cast<int>(QDialog::Rejected);
    });

    Save(&form, folder, "main_no_project");
    if (!project.isEmpty()) form.OpenProjectFile(project);
    Save(&form, folder, "main");

    TMdlObjectsListForm* list = form.ObjectsListForm();
    form.Action(TCommand::ObjectsList)->trigger();
    if (list->isVisible()) {
        list->resize(520, 420);
        Settle();
        if (QTreeWidgetItem* node = FindNode(list->Tree(), QStringLiteral("motor"))) node->setExpanded(true);
        if (QTreeWidgetItem* node = FindNode(list->Tree(), QStringLiteral("spindle"))) list->Tree()->setCurrentItem(node);
        Save(list, folder, "objects");
        list->SetPage(2);
        Save(list, folder, "objects_watch_points");
        list->SetPage(0);
        list->hide();
    }

    TCreateProjectWizardForm* wizard = form.WizardForm();
    wizard->show();
    Settle();
    wizard->ProjectFileEdit()->setText(U("/home/user/Проекты/Рефлекс/reflex.tvp"));
    wizard->ProjectNameEdit()->setText(U("Рефлекторная дуга"));
    wizard->DescriptionEdit()->setPlainText(U("Мотонейрон, мышца и афферентный нейрон\nв замкнутом контуре."));
    wizard->ModelFileEdit()->setText(U("/home/user/models/reflex_arc.tv"));
    for (int step = 1; step <= 3; ++step) {
        wizard->GoToStep(step);
        const QByteArray name = "wizard_" + QByteArray::number(step);
        Save(wizard, folder, name.constData());
    }
    wizard->hide();

    TComputationOptionsForm* options = form.ComputationOptionsForm();
    options->TimeStepEdit()->setText(QStringLiteral("0.0001"));
    options->TimerPeriodEdit()->setText(QStringLiteral("30"));
    options->StepsPerTickEdit()->setText(QStringLiteral("20"));
    ShowAndSave(options, folder, "computation_options");

    TPrjOptionsForm* projectOptions = form.ProjectOptionsForm();
    projectOptions->NameEdit()->setText(U("Рефлекторная дуга"));
    projectOptions->DescriptionEdit()->setPlainText(U("Мотонейрон, мышца и афферентный нейрон."));
    ShowAndSave(projectOptions, folder, "project_options");

    TListInputForm* names = form.NameInputForm();
    names->SetMustSelect(false);
    names->SetNonEmpty(true);
    names->SetSorted(false);
    names->Setup({U("Мотонейрон"), U("Длина мышцы")}, U("Введите имя нового окна наблюдения"), U("Длина мышцы"));
    names->show();
    Save(names, folder, "name_input");
    names->accept();
    Save(names, folder, "name_input_refusal");
    names->RestoreFromRefusal();
    names->hide();

    if (!source.isEmpty()) {
        TTestModelForm* check = form.SourceCheckForm();
        check->show();
        Settle();  // the file dialog it asks for is cancelled
        check->UseFile(source);
        check->Check();
        Save(check, folder, "source_check");
        check->reject();
    }

    ShowAndSave(form.AboutForm(), folder, "about");

    TSetObjectParamForm* value = list->ValueDialog();
    value->NameLabel()->setText(QStringLiteral("Frequency"));
    value->ValueEdit()->setText(QStringLiteral("20"));
    ShowAndSave(value, folder, "parameter_value");

    TShowProgressBarForm* progress = form.ProgressForm();
    progress->Show();
    progress->SetCaption(ToCp(U("Сохранение рабочей среды...")));
    progress->SetLineText(2, ToCp(U("Всего:")));
    progress->SetLineText(1, ToCp(U("Окно управления объектами")));
    progress->SetRange(2, 1, 3);
    Save(progress, folder, "progress");
    progress->Hide();

    if (form.Action(TCommand::Start)->isEnabled()) {
        form.Action(TCommand::Start)->trigger();
        for (int i = 0; i < 5; ++i) form.TimerTick();
        Save(&form, folder, "main_running");
        // Some model time for the watch windows, then each of them and the series dialog.
        for (int i = 0; i < 150; ++i) form.TimerTick();
        SaveWatchWindows(form, folder);
        form.Action(TCommand::Pause)->trigger();
        Save(&form, folder, "main_paused");
        form.Action(TCommand::Stop)->trigger();
    }
    SetModalRunner({});
}

} // namespace talvero::ui
