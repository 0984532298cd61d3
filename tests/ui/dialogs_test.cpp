// The computation options, project options, parameter value and progress windows, and the about box.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "UiTestSupport.h"
#include "ui/TComputationOptionsForm.h"
#include "ui/TPrjOptionsForm.h"
#include "ui/TSetObjectParamForm.h"
#include "ui/TShowProgressBarForm.h"

namespace talvero::ui {
namespace {

using uitest::Cp;
using uitest::U;

struct Fields {
    const char* Step;
    const char* Period;
    const char* Steps;
    const char* Threads = "";
};

class ComputationOptionsTest : public ::testing::Test {
protected:
    // Fills the fields, presses OK; the dialog's answer, the message boxes it showed and where
    // the focus went.
    bool Press(const Fields& f) {
        form.TimeStepEdit()->setText(QString::fromUtf8(f.Step));
        form.TimerPeriodEdit()->setText(QString::fromUtf8(f.Period));
        form.StepsPerTickEdit()->setText(QString::fromUtf8(f.Steps));
        form.ThreadsEdit()->setText(QString::fromUtf8(f.Threads));
        form.setResult(QDialog::Rejected);
        form.show();
        form.OkButton()->click();
        const bool closed = !form.isVisible() && form.result() == QDialog::Accepted;
        focus = form.focusWidget();
        form.hide();
        return closed;
    }

    TComputationOptionsForm form;
    QWidget* focus = nullptr;
};

TEST_F(ComputationOptionsTest, CaptionAndLabels) {
    EXPECT_EQ(form.windowTitle(), U("Настройки счёта"));
    QStringList labels;
    for (const QLabel* label : form.findChildren<QLabel*>()) labels << label->text();
    EXPECT_TRUE(labels.contains(U("Шаг интегрирования:")));
    EXPECT_TRUE(labels.contains(U("Периодичность вызова таймера (мс):")));
    EXPECT_TRUE(labels.contains(U("Просчитывать шагов за один вызов:")));
    EXPECT_TRUE(form.OkButton()->isDefault());
}

TEST_F(ComputationOptionsTest, EachFieldIsCheckedInOrderAndGetsTheFocus) {
    struct Case {
        Fields Input;
        const char* Message;
        int Field;  // 0 step, 1 period, 2 steps, 3 threads
    };
    const Case cases[] = {
        {{"abc", "-1", "x"}, "Недопустимое значение шага интегрирования.", 0},
        {{"-0.001", "30", "20"}, "Недопустимое значение шага интегрирования.", 0},
        {{"0.0001", "1.5", "x"}, "Недопустимое значение периода вызова таймера.", 1},
        {{"0.0001", "-1", "20"}, "Недопустимое значение периода вызова таймера.", 1},
        {{"0.0001", "4294967296", "20"}, "Недопустимое значение периода вызова таймера.", 1},
        {{"0.0001", "30", "-5"}, "Недопустимое значение количества шагов интегрирования.", 2},
        {{"0.0001", "30", ""}, "Недопустимое значение количества шагов интегрирования.", 2},
        {{"0.0001", "30", "20", "0"}, "Недопустимое число потоков счёта (от 1 до 256).", 3},
        {{"0.0001", "30", "20", "257"}, "Недопустимое число потоков счёта (от 1 до 256).", 3},
        {{"0.0001", "30", "20", "2.5"}, "Недопустимое число потоков счёта (от 1 до 256).", 3},
    };
    QLineEdit* fields[4] = {form.TimeStepEdit(), form.TimerPeriodEdit(), form.StepsPerTickEdit(), form.ThreadsEdit()};
    for (const Case& c : cases) {
        uitest::DialogScript script;
        EXPECT_FALSE(Press(c.Input)) << c.Input.Step << " " << c.Input.Period << " " << c.Input.Steps;
        ASSERT_EQ(script.Boxes.size(), 1u);
        EXPECT_EQ(script.Boxes[0].Caption, U("Ошибка!"));
        EXPECT_EQ(script.Boxes[0].Text, QString::fromUtf8(c.Message));
        EXPECT_EQ(focus, fields[c.Field]) << c.Message;
    }
}

TEST_F(ComputationOptionsTest, ZeroPassesEveryCheck) {
    uitest::DialogScript script;
    EXPECT_TRUE(Press({"0", "0", "0"}));
    EXPECT_TRUE(Press({"1e-05", "4294967295", "20"}));
    EXPECT_TRUE(Press({"0,0002", " 30 ", "20"}));
    EXPECT_TRUE(Press({"0.0001", "30", "20", " 256 "}));
    EXPECT_TRUE(script.Boxes.empty());
}

TEST_F(ComputationOptionsTest, ShowingFocusesTheStepField) {
    form.TimerPeriodEdit()->setFocus();
    form.show();
    EXPECT_EQ(form.focusWidget(), form.TimeStepEdit());
    form.hide();
}

TEST_F(ComputationOptionsTest, RunShowsAndReturnsTheFields) {
    uitest::DialogScript script;
    QString shown;
    script.ThenOn<TComputationOptionsForm>([&shown](TComputationOptionsForm& f) {
        shown = f.TimeStepEdit()->text() + "|" + f.TimerPeriodEdit()->text() + "|" + f.StepsPerTickEdit()->text();
        f.TimerPeriodEdit()->setText(QStringLiteral("50"));
        f.OkButton()->click();
    });
    VComputationOptionsFields fields;
    fields.TimeStep = "0.0001";
    fields.TimerPeriod = "30";
    fields.StepsPerTick = "20";
    fields.Threads = "2";
    ASSERT_TRUE(form.Run(fields));
    EXPECT_EQ(shown, QStringLiteral("0.0001|30|20"));
    EXPECT_EQ(fields.TimerPeriod, "50");
    EXPECT_EQ(fields.TimeStep, "0.0001");
    EXPECT_EQ(fields.Threads, "2");
}

TEST_F(ComputationOptionsTest, TheEngineBoxShowsAndReturnsTheChoice) {
    for (const bool fast : {false, true}) {
        uitest::DialogScript script;
        bool shown = !fast;
        script.ThenOn<TComputationOptionsForm>([&shown](TComputationOptionsForm& f) {
            shown = f.FastEngineBox()->isChecked();
            f.FastEngineBox()->setChecked(!shown);
            f.OkButton()->click();
        });
        VComputationOptionsFields fields;
        fields.TimeStep = "0.0001";
        fields.TimerPeriod = "30";
        fields.StepsPerTick = "20";
        fields.FastEngine = fast;
        ASSERT_TRUE(form.Run(fields));
        EXPECT_EQ(shown, fast);
        EXPECT_EQ(fields.FastEngine, !fast);
    }
}

TEST(ProjectOptions, NameAndDescriptionLinesGoBothWays) {
    TPrjOptionsForm form;
    EXPECT_EQ(form.windowTitle(), U("Настройки проекта"));
    uitest::DialogScript script;
    QString shownName;
    QString shownText;
    script.ThenOn<TPrjOptionsForm>([&](TPrjOptionsForm& f) {
        shownName = f.NameEdit()->text();
        shownText = f.DescriptionEdit()->toPlainText();
        f.NameEdit()->setText(U("Новое имя"));
        f.DescriptionEdit()->setPlainText(U("раз\nдва\n"));
        f.OkButton()->click();
    });
    std::string name = Cp("Дуга");
    NStringList lines = {Cp("строка 1"), Cp("строка 2")};
    ASSERT_TRUE(form.Run(name, lines));
    EXPECT_EQ(shownName, U("Дуга"));
    EXPECT_EQ(shownText, U("строка 1\nстрока 2"));
    EXPECT_EQ(name, Cp("Новое имя"));
    EXPECT_EQ(lines, (NStringList{Cp("раз"), Cp("два")}));

    script.ThenCancel();
    EXPECT_FALSE(form.Run(name, lines));
    EXPECT_EQ(name, Cp("Новое имя"));
}

TEST(ParameterValue, AcceptsNumbersAndKeepsTheDialogOpenForText) {
    TSetObjectParamForm form;
    EXPECT_EQ(form.windowTitle(), U("Установка значения параметра"));
    uitest::DialogScript script;
    script.ThenOn<TSetObjectParamForm>([](TSetObjectParamForm& f) {
        EXPECT_EQ(f.NameLabel()->text(), QStringLiteral("Frequency"));
        EXPECT_EQ(f.ValueEdit()->text(), QStringLiteral("20"));
        f.ValueEdit()->setText(QStringLiteral("abc"));
        f.OkButton()->click();
        EXPECT_TRUE(f.isVisible());  // refused: still open
        f.ValueEdit()->setText(QStringLiteral("25,5"));
        f.OkButton()->click();
    });
    double value = 0;
    ASSERT_TRUE(form.Execute(QStringLiteral("Frequency"), QStringLiteral("20"), value));
    EXPECT_EQ(value, 25.5);
    ASSERT_EQ(script.Boxes.size(), 1u);
    EXPECT_EQ(script.Boxes[0].Caption, U("Ошибка!"));
}

TEST(Progress, NothingChangesWhileHidden) {
    TShowProgressBarForm form;
    EXPECT_EQ(form.windowTitle(), U("Пожалуйста подождите завершения операции"));
    EXPECT_EQ(form.Line(1)->text(), U("Текущая операция:"));
    EXPECT_EQ(form.Line(2)->text(), U("Всего:"));

    form.SetLineText(1, Cp("Главное окно"));
    form.SetRange(2, 1, 5);
    form.SetCaption(Cp("Сохранение рабочей среды..."));
    EXPECT_EQ(form.Line(1)->text(), U("Текущая операция:"));
    EXPECT_EQ(form.Bar(2)->value(), 0);
    EXPECT_EQ(form.GetLineText(2), "");

    form.Show();
    form.SetCaption(Cp("Сохранение рабочей среды..."));
    form.SetLineText(1, Cp("Главное окно"));
    form.SetRange(2, 1, 5);
    form.Advance(2, 2);
    form.SetRange(1, 0, 3);
    form.Advance(1, 1);
    form.SetLineText(3, "x");
    form.Advance(3, 1);
    EXPECT_EQ(form.windowTitle(), U("Сохранение рабочей среды..."));
    EXPECT_EQ(form.GetLineText(1), Cp("Главное окно"));
    EXPECT_EQ(form.GetLineText(2), Cp("Всего:"));
    EXPECT_EQ(form.GetLineText(3), "");
    EXPECT_EQ(form.Bar(2)->maximum(), 5);
    EXPECT_EQ(form.Bar(2)->value(), 3);
    EXPECT_EQ(form.Bar(1)->value(), 1);

    // Showing again starts both bars from 0.
    form.Hide();
    form.Show();
    EXPECT_EQ(form.Bar(1)->value(), 0);
    EXPECT_EQ(form.Bar(2)->value(), 0);
    form.Hide();
}

} // namespace
} // namespace talvero::ui
